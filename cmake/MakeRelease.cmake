# Stages the release files and packs them into a zip with their SHA-256 checksums.
# cmake -DBINARY_DIR=... -DSOURCE_DIR=... -DRELEASE_NAME=... -DFILES="a;b;..." -P MakeRelease.cmake
# FILES are paths relative to BINARY_DIR or absolute; each goes into the archive by its name.

set(stage_root ${BINARY_DIR}/release)
set(stage ${stage_root}/${RELEASE_NAME})
file(REMOVE_RECURSE ${stage_root})
file(MAKE_DIRECTORY ${stage})

set(names "")
set(sums "")
foreach(file IN LISTS FILES)
    get_filename_component(path ${file} ABSOLUTE BASE_DIR ${BINARY_DIR})
    get_filename_component(name ${file} NAME)
    file(COPY ${path} DESTINATION ${stage})
    file(SHA256 ${path} hash)
    string(APPEND sums "${hash}  ${name}\n")
    list(APPEND names ${RELEASE_NAME}/${name})
endforeach()
file(WRITE ${stage}/SHA256SUMS "${sums}")
list(APPEND names ${RELEASE_NAME}/SHA256SUMS)

# A fixed time stamp, so that the same files always make the same archive.
execute_process(
    COMMAND ${CMAKE_COMMAND} -E tar cf ${BINARY_DIR}/${RELEASE_NAME}.zip --format=zip "--mtime=2000-01-01 00:00:00Z" ${names}
    WORKING_DIRECTORY ${stage_root}
    COMMAND_ERROR_IS_FATAL ANY)
message(STATUS "Release archive: ${BINARY_DIR}/${RELEASE_NAME}.zip")
