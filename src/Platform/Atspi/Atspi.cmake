# The focused-field reader: the AT-SPI2 protocol's constants (libatspi2.0-dev; the protocol itself
# is spoken through QtDBus) and the active window's properties through xcb.
find_path(SONORVELLE_ATSPI_INCLUDE_DIR atspi/atspi-constants.h PATH_SUFFIXES at-spi-2.0 REQUIRED)
pkg_check_modules(SONORVELLE_FOCUS_XCB REQUIRED IMPORTED_TARGET xcb)
target_include_directories(sonorvelle_core SYSTEM PRIVATE ${SONORVELLE_ATSPI_INCLUDE_DIR})
target_link_libraries(sonorvelle_core PUBLIC PkgConfig::SONORVELLE_FOCUS_XCB)
