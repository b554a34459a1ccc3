# English pronunciations of words no recognition dictionary holds: espeak-ng's text-to-phoneme
# rules (Debian's libespeak-ng, which speech-dispatcher pulls in anyway).
pkg_check_modules(SONORVELLE_ESPEAK_NG REQUIRED espeak-ng)
target_include_directories(sonorvelle_core SYSTEM PRIVATE ${SONORVELLE_ESPEAK_NG_INCLUDE_DIRS})
target_link_libraries(sonorvelle_core PUBLIC ${SONORVELLE_ESPEAK_NG_LIBRARIES})
