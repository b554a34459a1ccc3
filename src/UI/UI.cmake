# The status item and the views: the desktop's motion preference is read through GIO's GSettings.
pkg_check_modules(SONORVELLE_GIO REQUIRED IMPORTED_TARGET gio-2.0)
target_link_libraries(sonorvelle_core PRIVATE PkgConfig::SONORVELLE_GIO)

# The settings window's views. They live in one resource folder and find each other by file name;
# the C++ types they bind to are registered under "Sonorvelle.Settings" at run time. Another
# window's views join the same way with their own folder and resource name.
file(GLOB SONORVELLE_SETTINGS_QML CONFIGURE_DEPENDS RELATIVE ${CMAKE_SOURCE_DIR}/src/UI/Settings/qml
     ${CMAKE_SOURCE_DIR}/src/UI/Settings/qml/*.qml ${CMAKE_SOURCE_DIR}/src/UI/Settings/qml/*.svg)
set(SONORVELLE_SETTINGS_QML_FILES)
foreach(file ${SONORVELLE_SETTINGS_QML})
    set_source_files_properties(${CMAKE_SOURCE_DIR}/src/UI/Settings/qml/${file}
                                PROPERTIES QT_RESOURCE_ALIAS ${file})
    list(APPEND SONORVELLE_SETTINGS_QML_FILES ${CMAKE_SOURCE_DIR}/src/UI/Settings/qml/${file})
endforeach()
qt_add_resources(sonorvelle_core sonorvelle_settings_qml PREFIX /sonorvelle/settings
                 FILES ${SONORVELLE_SETTINGS_QML_FILES})

# The onboarding window's views and symbols, the same way under their own resource name.
file(GLOB_RECURSE SONORVELLE_ONBOARDING_QML CONFIGURE_DEPENDS
     RELATIVE ${CMAKE_SOURCE_DIR}/src/UI/Onboarding/qml
     ${CMAKE_SOURCE_DIR}/src/UI/Onboarding/qml/*.qml ${CMAKE_SOURCE_DIR}/src/UI/Onboarding/qml/*.svg)
set(SONORVELLE_ONBOARDING_QML_FILES)
foreach(file ${SONORVELLE_ONBOARDING_QML})
    set_source_files_properties(${CMAKE_SOURCE_DIR}/src/UI/Onboarding/qml/${file}
                                PROPERTIES QT_RESOURCE_ALIAS ${file})
    list(APPEND SONORVELLE_ONBOARDING_QML_FILES ${CMAKE_SOURCE_DIR}/src/UI/Onboarding/qml/${file})
endforeach()
qt_add_resources(sonorvelle_core sonorvelle_onboarding_qml PREFIX /sonorvelle/onboarding
                 FILES ${SONORVELLE_ONBOARDING_QML_FILES})

# The voice bar's views and their symbols, found under qrc:/sonorvelle/voicebar; their C++ types
# are registered under "Sonorvelle.VoiceBar" at run time.
file(GLOB SONORVELLE_VOICEBAR_QML CONFIGURE_DEPENDS RELATIVE ${CMAKE_SOURCE_DIR}/src/UI/VoiceBar/qml
     ${CMAKE_SOURCE_DIR}/src/UI/VoiceBar/qml/*.qml ${CMAKE_SOURCE_DIR}/src/UI/VoiceBar/qml/*.svg)
set(SONORVELLE_VOICEBAR_QML_FILES)
foreach(file ${SONORVELLE_VOICEBAR_QML})
    set_source_files_properties(${CMAKE_SOURCE_DIR}/src/UI/VoiceBar/qml/${file}
                                PROPERTIES QT_RESOURCE_ALIAS ${file})
    list(APPEND SONORVELLE_VOICEBAR_QML_FILES ${CMAKE_SOURCE_DIR}/src/UI/VoiceBar/qml/${file})
endforeach()
qt_add_resources(sonorvelle_core sonorvelle_voicebar_qml PREFIX /sonorvelle/voicebar
                 FILES ${SONORVELLE_VOICEBAR_QML_FILES})
