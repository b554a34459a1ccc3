# The global hotkeys' key listener: XInput 2 raw key events and the XKB keymap (xkbcommon-x11).
pkg_check_modules(SONORVELLE_HOTKEY REQUIRED IMPORTED_TARGET
                  xcb xcb-xinput xcb-xkb xkbcommon xkbcommon-x11)
target_link_libraries(sonorvelle_core PUBLIC PkgConfig::SONORVELLE_HOTKEY)
