# The status item and the views: the desktop's motion preference is read through GIO's GSettings.
pkg_check_modules(SONORVELLE_GIO REQUIRED IMPORTED_TARGET gio-2.0)
target_link_libraries(sonorvelle_core PRIVATE PkgConfig::SONORVELLE_GIO)
