# The status item and the views: the desktop's motion preference is read through GIO's GSettings.
pkg_check_modules(SONORVELLE_GIO REQUIRED IMPORTED_TARGET gio-2.0)
target_link_libraries(sonorvelle_core PRIVATE PkgConfig::SONORVELLE_GIO)

# A window's views (QML and SVG) in one resource folder, where they find each other by file name;
# the C++ types they bind to are registered under "Sonorvelle.<Window>" at run time.
function(sonorvelle_add_views folder resource prefix)
    set(root ${CMAKE_SOURCE_DIR}/src/UI/${folder}/qml)
    file(GLOB_RECURSE views CONFIGURE_DEPENDS RELATIVE ${root} ${root}/*.qml ${root}/*.svg)
    set(files)
    foreach(file ${views})
        set_source_files_properties(${root}/${file} PROPERTIES QT_RESOURCE_ALIAS ${file})
        list(APPEND files ${root}/${file})
    endforeach()
    qt_add_resources(sonorvelle_core ${resource} PREFIX ${prefix} FILES ${files})
endfunction()

sonorvelle_add_views(Settings sonorvelle_settings_qml /sonorvelle/settings)
sonorvelle_add_views(Onboarding sonorvelle_onboarding_qml /sonorvelle/onboarding)
sonorvelle_add_views(VoiceBar sonorvelle_voicebar_qml /sonorvelle/voicebar)
