# The interface texts: one JSON file per interface language in this folder, turned into constant
# data by a small host tool. The tool fails the build when a language misses a key of the English
# file, has an extra one, orders them differently, leaves a text empty or changes a placeholder.

set(SONORVELLE_LANGUAGES en ja ko zh-Hans zh-Hant de fr es pt-BR ru it nl pl tr)
set(SONORVELLE_STRINGS_DIR ${CMAKE_CURRENT_LIST_DIR})
set(SONORVELLE_STRINGS_OUTPUT ${CMAKE_BINARY_DIR}/generated/LocalizationTablesData.cpp)

add_executable(sonorvelle_strings_gen ${CMAKE_SOURCE_DIR}/tools/strings-gen/main.cpp)
set_target_properties(sonorvelle_strings_gen PROPERTIES AUTOMOC OFF)
target_link_libraries(sonorvelle_strings_gen PRIVATE Qt6::Core nlohmann_json::nlohmann_json)

set(SONORVELLE_STRINGS_FILES)
foreach(language ${SONORVELLE_LANGUAGES})
    list(APPEND SONORVELLE_STRINGS_FILES ${SONORVELLE_STRINGS_DIR}/${language}.json)
endforeach()

add_custom_command(
    OUTPUT ${SONORVELLE_STRINGS_OUTPUT}
    COMMAND sonorvelle_strings_gen --folder ${SONORVELLE_STRINGS_DIR}
            --output ${SONORVELLE_STRINGS_OUTPUT} ${SONORVELLE_LANGUAGES}
    DEPENDS sonorvelle_strings_gen ${SONORVELLE_STRINGS_FILES}
    COMMENT "Checking and compiling the interface texts"
    VERBATIM)
set_source_files_properties(${SONORVELLE_STRINGS_OUTPUT} PROPERTIES GENERATED TRUE
                                                                    SKIP_AUTOMOC TRUE)
target_sources(sonorvelle_core PRIVATE ${SONORVELLE_STRINGS_OUTPUT})

# The unit tests run the tool on small faulty files; they find it by this definition. The test
# target is made later in the configure run, hence the deferred call.
function(sonorvelle_strings_wire_tests)
    if(TARGET sonorvelle_tests)
        target_compile_definitions(sonorvelle_tests PRIVATE
            SONORVELLE_STRINGS_GEN="$<TARGET_FILE:sonorvelle_strings_gen>")
        add_dependencies(sonorvelle_tests sonorvelle_strings_gen)
    endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL sonorvelle_strings_wire_tests)
