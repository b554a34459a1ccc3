# The status item and the views: the desktop's motion preference is read through GIO's GSettings.
pkg_check_modules(SONORVELLE_GIO REQUIRED IMPORTED_TARGET gio-2.0)
target_link_libraries(sonorvelle_core PRIVATE PkgConfig::SONORVELLE_GIO)

# One QML module per window: a static library with the window's C++ from src/UI/<Window>/, and
# the QML and SVG files of that folder, compiled by qmlcachegen and placed in the resources under
# Qt's default import path, so that a view finds its siblings by name and other windows import
# the module by URI. The types the views bind to are declared where they are defined
# (QML_ELEMENT, QML_SINGLETON). A target that exists already (the core) only becomes a module.
# Every module is linted by qmllint through the target all_qmllint.
function(sonorvelle_add_view_module target uri)
    cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "LINK")
    set(qml_files)
    set(resources)
    if(NOT TARGET ${target})
        string(REGEX REPLACE "^.*\\." "" folder "${uri}")
        set(root ${CMAKE_SOURCE_DIR}/src/UI/${folder})
        file(GLOB sources CONFIGURE_DEPENDS ${root}/*.cpp ${root}/*.h)
        add_library(${target} STATIC ${sources})
        sonorvelle_refresh_autogen(${target} ${sources})
        target_link_libraries(${target} PUBLIC sonorvelle_core ${arg_LINK})
        file(GLOB_RECURSE views CONFIGURE_DEPENDS RELATIVE ${root} ${root}/*.qml ${root}/*.svg)
        foreach(file ${views})
            set_source_files_properties(${root}/${file} PROPERTIES QT_RESOURCE_ALIAS ${file})
            if(file MATCHES "\\.qml$")
                list(APPEND qml_files ${root}/${file})
            else()
                list(APPEND resources ${root}/${file})
            endif()
        endforeach()
    endif()
    # The modules this one links to also describe the C++ types its views meet.
    set(dependencies QtQuick)
    foreach(linked ${arg_LINK} sonorvelle_core)
        if(TARGET ${linked} AND NOT linked STREQUAL target)
            get_target_property(linked_uri ${linked} QT_QML_MODULE_URI)
            if(linked_uri)
                list(APPEND dependencies ${linked_uri})
            endif()
        endif()
    endforeach()
    # The build's copy of every module lies under one folder, where the tools find the others.
    string(REPLACE "." "/" module_path "${uri}")
    qt_add_qml_module(${target}
        URI ${uri}
        VERSION 1.0
        RESOURCE_PREFIX /qt-project.org/imports
        OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/qml/${module_path}
        IMPORT_PATH ${CMAKE_BINARY_DIR}/qml
        DEPENDENCIES ${dependencies}
        QML_FILES ${qml_files}
        RESOURCES ${resources})
    # Bytecode only: the views behave exactly as the interpreter runs them.
    set_target_properties(${target} PROPERTIES QT_QMLCACHEGEN_ARGUMENTS --only-bytecode)
    # The generated registration names each declaring header by its file name alone; it alone
    # gets their folders on its include path.
    get_target_property(headers ${target} SOURCES)
    list(FILTER headers INCLUDE REGEX "\\.h$")
    set(declaring_folders)
    foreach(header ${headers})
        file(STRINGS ${header} declarations REGEX "^ *QML_(ELEMENT|NAMED_ELEMENT|SINGLETON|FOREIGN)")
        if(declarations)
            get_filename_component(folder ${header} DIRECTORY)
            list(APPEND declaring_folders ${folder})
        endif()
    endforeach()
    list(REMOVE_DUPLICATES declaring_folders)
    set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${target}_qmltyperegistrations.cpp
        TARGET_DIRECTORY ${target} PROPERTIES INCLUDE_DIRECTORIES "${declaring_folders}")
endfunction()

sonorvelle_add_view_module(sonorvelle_core Sonorvelle)
sonorvelle_add_view_module(sonorvelle_pills Sonorvelle.Pills)
sonorvelle_add_view_module(sonorvelle_settings Sonorvelle.Settings LINK sonorvelle_pills)
sonorvelle_add_view_module(sonorvelle_onboarding Sonorvelle.Onboarding LINK sonorvelle_pills)
sonorvelle_add_view_module(sonorvelle_voicebar Sonorvelle.VoiceBar LINK sonorvelle_pills)
sonorvelle_add_view_module(sonorvelle_answercard Sonorvelle.AnswerCard)

# The windows with their QML plugins, for the application, the tests and the benchmarks; the
# plugins are imported by UI/ViewModules.h.
add_library(sonorvelle_views INTERFACE)
foreach(module sonorvelle_core sonorvelle_pills sonorvelle_settings sonorvelle_onboarding
               sonorvelle_voicebar sonorvelle_answercard)
    target_link_libraries(sonorvelle_views INTERFACE ${module} ${module}plugin)
endforeach()

# The application shell and the status item create the windows, so they sit above them.
file(GLOB SONORVELLE_APP_SOURCES CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/src/AppDelegate.* ${CMAKE_SOURCE_DIR}/src/SystemServices.*
     ${CMAKE_SOURCE_DIR}/src/UI/StatusItem/*.cpp ${CMAKE_SOURCE_DIR}/src/UI/StatusItem/*.h)
add_library(sonorvelle_app STATIC ${SONORVELLE_APP_SOURCES})
sonorvelle_refresh_autogen(sonorvelle_app ${SONORVELLE_APP_SOURCES})
target_link_libraries(sonorvelle_app PUBLIC sonorvelle_views)
