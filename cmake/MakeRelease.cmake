# Stages the release files, signs the binaries when a certificate is configured, and packs them
# into a zip with their SHA-256 checksums, and the PDBs into a symbols zip beside it.
# cmake -DBINARY_DIR=... -DOUTPUT_DIR=... -DRELEASE_NAME=... -DFILES="a|b|..." -DSYMBOLS="a.pdb|..."
#       [-DOSSLSIGNCODE=...] -P MakeRelease.cmake
# FILES and SYMBOLS are paths relative to BINARY_DIR or absolute; each goes into its archive by
# its name. OUTPUT_DIR defaults to BINARY_DIR.
#
# Signing, with Authenticode, of every .dll and .exe: set TUNER_SIGN_PFX to a PKCS#12 file
# holding the code-signing certificate and its key, TUNER_SIGN_PASSWORD to its password, and
# optionally TUNER_SIGN_TIMESTAMP_URL to an RFC 3161 time-stamping server.

string(REPLACE "|" ";" FILES "${FILES}")
string(REPLACE "|" ";" SYMBOLS "${SYMBOLS}")
if(NOT OUTPUT_DIR)
    set(OUTPUT_DIR ${BINARY_DIR})
endif()
set(stage_root ${OUTPUT_DIR}/release)
file(REMOVE_RECURSE ${stage_root})

# stage(NAME FILES): copies the files into a folder NAME, ready to pack.
function(stage name files)
    file(MAKE_DIRECTORY ${stage_root}/${name})
    foreach(file IN LISTS files)
        get_filename_component(path ${file} ABSOLUTE BASE_DIR ${BINARY_DIR})
        file(COPY ${path} DESTINATION ${stage_root}/${name})
    endforeach()
endfunction()

# pack(NAME ZIP): packs the folder NAME with a fixed time stamp, so that the same files always
# make the same archive.
function(pack name zip)
    file(GLOB_RECURSE names RELATIVE ${stage_root} ${stage_root}/${name}/*)
    list(SORT names)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip "--mtime=2000-01-01 00:00:00Z" ${names}
        WORKING_DIRECTORY ${stage_root}
        COMMAND_ERROR_IS_FATAL ANY)
    message(STATUS "Release archive: ${zip}")
endfunction()

stage(${RELEASE_NAME} "${FILES}")
set(stage ${stage_root}/${RELEASE_NAME})

if(DEFINED ENV{TUNER_SIGN_PFX} AND NOT "$ENV{TUNER_SIGN_PFX}" STREQUAL "")
    if(NOT OSSLSIGNCODE)
        set(OSSLSIGNCODE osslsigncode)
    endif()
    set(timestamp)
    if(DEFINED ENV{TUNER_SIGN_TIMESTAMP_URL} AND NOT "$ENV{TUNER_SIGN_TIMESTAMP_URL}" STREQUAL "")
        set(timestamp -ts $ENV{TUNER_SIGN_TIMESTAMP_URL})
    endif()
    file(GLOB binaries ${stage}/*.dll ${stage}/*.exe)
    foreach(binary IN LISTS binaries)
        execute_process(
            COMMAND ${OSSLSIGNCODE} sign -pkcs12 $ENV{TUNER_SIGN_PFX} -pass $ENV{TUNER_SIGN_PASSWORD} -h sha256
                    -n "Kestrova tuner plug-ins" ${timestamp} -in ${binary} -out ${binary}.signed
            OUTPUT_QUIET
            RESULT_VARIABLE failed)
        if(failed)
            message(FATAL_ERROR "Signing ${binary} failed")
        endif()
        file(RENAME ${binary}.signed ${binary})
    endforeach()
    message(STATUS "Signed the binaries with $ENV{TUNER_SIGN_PFX}")
else()
    message(STATUS "Not signed: set TUNER_SIGN_PFX and TUNER_SIGN_PASSWORD to sign the binaries")
endif()

set(sums "")
file(GLOB staged ${stage}/*)
list(SORT staged)
foreach(path IN LISTS staged)
    get_filename_component(name ${path} NAME)
    file(SHA256 ${path} hash)
    string(APPEND sums "${hash}  ${name}\n")
endforeach()
file(WRITE ${stage}/SHA256SUMS "${sums}")
pack(${RELEASE_NAME} ${OUTPUT_DIR}/${RELEASE_NAME}.zip)

stage(${RELEASE_NAME}-symbols "${SYMBOLS}")
pack(${RELEASE_NAME}-symbols ${OUTPUT_DIR}/${RELEASE_NAME}-symbols.zip)
