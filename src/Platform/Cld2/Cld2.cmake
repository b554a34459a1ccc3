# Language identification of an answer for the voice that reads it aloud: CLD2 ships no pkg-config
# file, so the library is found by name.
find_library(SONORVELLE_CLD2_LIBRARY NAMES cld2 REQUIRED)
find_path(SONORVELLE_CLD2_INCLUDE cld2/public/compact_lang_det.h REQUIRED)
target_link_libraries(sonorvelle_core PUBLIC ${SONORVELLE_CLD2_LIBRARY})
target_include_directories(sonorvelle_core PRIVATE ${SONORVELLE_CLD2_INCLUDE})
