# Sources are globbed, so a header added later reaches the target when CMake re-runs; but the moc
# step of CMake 3.25 with Ninja only re-runs for headers it saw before. When the list of a
# target's files changes, drop the step's stamp so that moc scans them all again.
function(sonorvelle_refresh_autogen target)
    set(files ${ARGN})
    string(SHA256 hash "${files}")
    set(cache_name "SONORVELLE_AUTOGEN_HASH_${target}")
    if(NOT hash STREQUAL "${${cache_name}}")
        get_target_property(binary_dir ${target} BINARY_DIR)
        file(REMOVE ${binary_dir}/${target}_autogen/timestamp)
        set(${cache_name} ${hash} CACHE INTERNAL "")
    endif()
endfunction()
