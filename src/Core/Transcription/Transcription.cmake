# Speech recognition: pocketsphinx (with sphinxbase) for the on-device recogniser and libsamplerate
# for converting captured audio into the recogniser's format.
#
# Debian's sphinxbase.pc names an include folder that does not exist, which an imported target
# refuses; the plain variables are used instead, keeping only the folders that exist.
pkg_check_modules(SONORVELLE_SPEECH REQUIRED pocketsphinx sphinxbase samplerate)
pkg_get_variable(SONORVELLE_POCKETSPHINX_MODELDIR pocketsphinx modeldir)
pkg_get_variable(SONORVELLE_POCKETSPHINX_DATADIR pocketsphinx datadir)

set(SONORVELLE_SPEECH_EXISTING_INCLUDE_DIRS)
foreach(dir ${SONORVELLE_SPEECH_INCLUDE_DIRS})
    if(IS_DIRECTORY ${dir})
        list(APPEND SONORVELLE_SPEECH_EXISTING_INCLUDE_DIRS ${dir})
    endif()
endforeach()

target_include_directories(sonorvelle_core SYSTEM PRIVATE ${SONORVELLE_SPEECH_EXISTING_INCLUDE_DIRS})
target_link_directories(sonorvelle_core PUBLIC ${SONORVELLE_SPEECH_LIBRARY_DIRS})
target_link_libraries(sonorvelle_core PUBLIC ${SONORVELLE_SPEECH_LIBRARIES})
# Models installed with the library; further models are looked for in the XDG data folders.
target_compile_definitions(sonorvelle_core PRIVATE
    SONORVELLE_POCKETSPHINX_MODELDIR="${SONORVELLE_POCKETSPHINX_MODELDIR}")

# The recorded speech the tests and benchmarks recognise (Debian package pocketsphinx-testdata).
function(sonorvelle_speech_wire_tests)
    foreach(target sonorvelle_tests sonorvelle_bench)
        if(TARGET ${target})
            target_compile_definitions(${target} PRIVATE
                SONORVELLE_POCKETSPHINX_TESTDATA="${SONORVELLE_POCKETSPHINX_DATADIR}/test/data")
        endif()
    endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL sonorvelle_speech_wire_tests)
