# X11 facilities of the platform layers: the CLIPBOARD selection (XFixes), synthetic keys (XTest)
# and the keyboard layout (xkbcommon).
pkg_check_modules(SONORVELLE_X11 REQUIRED IMPORTED_TARGET
                  xcb xcb-xfixes xcb-xtest xcb-xkb xkbcommon xkbcommon-x11)
target_link_libraries(sonorvelle_core PUBLIC PkgConfig::SONORVELLE_X11)
