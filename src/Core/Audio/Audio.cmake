# Sample-rate conversion of captured audio into the recorded WAV's 16 kHz (libsamplerate).
pkg_check_modules(SONORVELLE_SAMPLERATE REQUIRED IMPORTED_TARGET samplerate)
target_link_libraries(sonorvelle_core PUBLIC PkgConfig::SONORVELLE_SAMPLERATE)
