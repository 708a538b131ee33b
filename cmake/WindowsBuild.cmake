enable_language(RC)
# windres records no dependencies of its own; its preprocessor writes them, so that a change to
# a file the resource includes (a deliverable's Variant.h) rebuilds the resource.
set(CMAKE_DEPFILE_FLAGS_RC
    "--preprocessor-arg=-MD --preprocessor-arg=-MT --preprocessor-arg=<OBJECT> --preprocessor-arg=-MF --preprocessor-arg=<DEP_FILE>")

# The product: four self-contained 32-bit plug-in DLLs. They link against the platform's HID,
# device-setup and kernel libraries and nothing else: no C or C++ run-time, no libgcc.

set(TUNER_DLL_COMPILE_OPTIONS
    ${TUNER_WARNINGS}
    -O2
    -fno-exceptions
    -fno-rtti
    -fno-asynchronous-unwind-tables
    -fno-stack-protector
    -fno-ident
)

# The release is built by clang and linked by lld (the clang toolchain file): lld writes the
# load configuration (GNU ld ignores it) and a PDB beside each binary, which Windows debuggers
# read (they do not read DWARF). The PDB and the binary name no folder of the build machine:
# source paths are relative to the source tree, the binary names its PDB by file name alone,
# and the PDB's signature is derived from its content, so two builds of one checkout in
# different build folders are identical. GCC, the second compiler, links with GNU ld and makes
# no PDB.
set(TUNER_LINK_OPTIONS -Wl,--no-insert-timestamp)
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    set(TUNER_SYMBOLS ON)
    set(TUNER_DEBUG_COMPILE_OPTIONS
        -g -gcodeview
        -ffile-prefix-map=${CMAKE_SOURCE_DIR}=.
        -fdebug-compilation-dir=.
        -fcoverage-compilation-dir=.
    )
    list(APPEND TUNER_LINK_OPTIONS
        -Wl,--pdb=
        -Wl,--Xlink=-pdbaltpath:%_PDB%
        -Wl,--Xlink=-pdbsourcepath:.
    )
else()
    set(TUNER_SYMBOLS OFF)
    set(TUNER_DEBUG_COMPILE_OPTIONS)
    list(APPEND TUNER_LINK_OPTIONS -s)
endif()
list(APPEND TUNER_DLL_COMPILE_OPTIONS ${TUNER_DEBUG_COMPILE_OPTIONS})

# A fixed preferred base: otherwise the linker derives it from the file name, and two
# deliverables with the same constants would differ in every absolute address.
# --no-seh declares that the image has no structured exception handlers (it has none), as a
# loader that checks for safe exception handlers expects of a 32-bit image. The subsystem is the
# one Windows gives its own DLLs.
set(TUNER_DLL_LINK_OPTIONS
    ${TUNER_LINK_OPTIONS}
    -nostdlib
    -Wl,--entry,_DllEntry@12
    -Wl,--image-base,0x10000000
    -Wl,--dynamicbase
    -Wl,--nxcompat
    -Wl,--no-seh
    -Wl,--subsystem,windows
)

# The plug-in's code and its load configuration, compiled once and linked into every deliverable.
add_library(tuner_plugin OBJECT ${TUNER_PLUGIN_SOURCES} plugin/DllEntry.cpp)
target_include_directories(tuner_plugin PUBLIC plugin)
target_compile_options(tuner_plugin PRIVATE ${TUNER_DLL_COMPILE_OPTIONS})
add_library(tuner_load_config OBJECT plugin/LoadConfig.cpp)
target_compile_options(tuner_load_config PRIVATE ${TUNER_DLL_COMPILE_OPTIONS})

# add_freestanding_dll(NAME DEF_FILE OUTPUT_DIR [SOURCES ...] [LINK_OPTIONS ...])
# A DLL built as the plug-ins are, without the run-time libraries, from the given sources.
function(add_freestanding_dll name def_file output_dir)
    cmake_parse_arguments(PARSE_ARGV 3 arg "" "" "SOURCES;LINK_OPTIONS")
    add_library(${name} MODULE ${arg_SOURCES} ${def_file})
    target_include_directories(${name} PRIVATE plugin)
    target_compile_options(${name} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:${TUNER_DLL_COMPILE_OPTIONS}>")
    target_link_options(${name} PRIVATE ${arg_LINK_OPTIONS})
    target_link_libraries(${name} PRIVATE hid setupapi kernel32)
    set_target_properties(${name} PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${output_dir})
endfunction()

# add_plugin_dll(NAME VARIANT DEF_FILE OUTPUT_DIR [WITHOUT_LOAD_CONFIG] [SOURCES ...] [LINK_OPTIONS ...])
# One DLL of the plug-in's code with one deliverable's constants, version resource and exports.
function(add_plugin_dll name variant def_file output_dir)
    cmake_parse_arguments(PARSE_ARGV 4 arg "WITHOUT_LOAD_CONFIG" "" "SOURCES;LINK_OPTIONS")
    set(objects $<TARGET_OBJECTS:tuner_plugin>)
    if(NOT arg_WITHOUT_LOAD_CONFIG)
        list(APPEND objects $<TARGET_OBJECTS:tuner_load_config>)
    endif()
    add_freestanding_dll(${name} ${def_file} ${output_dir}
        SOURCES ${arg_SOURCES} plugin/VersionInfo.rc ${objects}
        LINK_OPTIONS ${arg_LINK_OPTIONS})
    tuner_use_variant(${name} ${variant})
    target_compile_definitions(${name} PRIVATE
        TUNER_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
        TUNER_VERSION_MINOR=${PROJECT_VERSION_MINOR}
        TUNER_VERSION_PATCH=${PROJECT_VERSION_PATCH})
endfunction()

foreach(variant IN LISTS TUNER_VARIANTS)
    add_plugin_dll(${variant} ${variant} variants/${variant}/${variant}.def ${CMAKE_BINARY_DIR}/plugins
        LINK_OPTIONS ${TUNER_DLL_LINK_OPTIONS}
    )
endforeach()

# The stand-in host and the simulated key transmitter, side by side in one folder: the host
# picks up the simulator's hid.dll and setupapi.dll when told to prefer native libraries.
set(TUNER_HOST_DIR ${CMAKE_BINARY_DIR}/host)
set(TUNER_TOOL_COMPILE_OPTIONS ${TUNER_WARNINGS} -O2 ${TUNER_DEBUG_COMPILE_OPTIONS})
set(TUNER_TOOL_LINK_OPTIONS ${TUNER_LINK_OPTIONS} -static -static-libgcc -static-libstdc++)

add_executable(tuner-host tools/tuner-host/TunerHost.cpp)
target_compile_options(tuner-host PRIVATE ${TUNER_TOOL_COMPILE_OPTIONS})
target_link_options(tuner-host PRIVATE ${TUNER_TOOL_LINK_OPTIONS})
target_link_libraries(tuner-host PRIVATE setupapi hid)
set_target_properties(tuner-host PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TUNER_HOST_DIR})

foreach(library IN ITEMS setupapi hid)
    if(library STREQUAL "setupapi")
        set(source simulator/SimulatedSetupApi.cpp)
    else()
        set(source simulator/SimulatedHid.cpp)
    endif()
    add_library(simulated_${library} MODULE ${source} simulator/Scenario.cpp simulator/${library}.def)
    target_compile_options(simulated_${library} PRIVATE ${TUNER_TOOL_COMPILE_OPTIONS})
    target_link_options(simulated_${library} PRIVATE ${TUNER_TOOL_LINK_OPTIONS} -Wl,--kill-at)
    set_target_properties(simulated_${library} PROPERTIES
        PREFIX "" OUTPUT_NAME ${library} LIBRARY_OUTPUT_DIRECTORY ${TUNER_HOST_DIR})
endforeach()

# The release archive: the four plug-ins, the stand-in host, the README and their checksums;
# and beside it the symbols archive with their PDBs. Made from the release's toolchain only.
if(TUNER_SYMBOLS)
    set(TUNER_RELEASE_NAME kestrova-tuners-${PROJECT_VERSION}-win32)
    set(release_files)
    set(release_symbols)
    foreach(variant IN LISTS TUNER_VARIANTS)
        list(APPEND release_files plugins/${variant}.dll)
        list(APPEND release_symbols plugins/${variant}.pdb)
    endforeach()
    list(APPEND release_files host/tuner-host.exe ${CMAKE_SOURCE_DIR}/README.md)
    list(APPEND release_symbols host/tuner-host.pdb)
    find_program(OSSLSIGNCODE osslsigncode)
    # The lists travel as one argument each, separated by "|".
    list(JOIN release_files "|" files)
    list(JOIN release_symbols "|" symbols)
    set(make_release ${CMAKE_COMMAND} -DBINARY_DIR=${CMAKE_BINARY_DIR} -DRELEASE_NAME=${TUNER_RELEASE_NAME}
        -DFILES=${files} -DSYMBOLS=${symbols} -DOSSLSIGNCODE=${OSSLSIGNCODE})
    add_custom_target(release
        COMMAND ${make_release} -P ${CMAKE_SOURCE_DIR}/cmake/MakeRelease.cmake
        DEPENDS ${TUNER_VARIANTS} tuner-host ${CMAKE_SOURCE_DIR}/README.md
        BYPRODUCTS ${CMAKE_BINARY_DIR}/${TUNER_RELEASE_NAME}.zip ${CMAKE_BINARY_DIR}/${TUNER_RELEASE_NAME}-symbols.zip
        COMMENT "Packing ${TUNER_RELEASE_NAME}.zip and its symbols"
        VERBATIM)

    add_test(NAME release.Archive
             COMMAND ${CMAKE_SOURCE_DIR}/tests/check-release.sh ${CMAKE_BINARY_DIR}/${TUNER_RELEASE_NAME}.zip
                     ${CMAKE_BINARY_DIR} ${TUNER_RELEASE_NAME})
    # A release signed with a throw-away certificate authority's code-signing certificate.
    add_test(NAME release.Signed
             COMMAND ${CMAKE_SOURCE_DIR}/tests/sign-release.sh ${CMAKE_BINARY_DIR} ${TUNER_RELEASE_NAME}
                     ${make_release} -DOUTPUT_DIR=${CMAKE_BINARY_DIR}/signed -P ${CMAKE_SOURCE_DIR}/cmake/MakeRelease.cmake)
    set_tests_properties(release.Archive release.Signed PROPERTIES LABELS release)
    set_tests_properties(release.Signed PROPERTIES FIXTURES_SETUP signed-release)
endif()

# Changing a deliverable's constants rebuilds its version resource.
if(CMAKE_GENERATOR STREQUAL "Ninja")
    add_test(NAME build.ResourceFollowsVariant
             COMMAND ${CMAKE_SOURCE_DIR}/tests/resource-depends.sh ${CMAKE_BINARY_DIR} ${CMAKE_MAKE_PROGRAM}
                     ${TUNER_VARIANTS})
    set_tests_properties(build.ResourceFollowsVariant PROPERTIES LABELS build)
endif()

include(tests/pe-fixtures/Fixtures.cmake)
# The virtual key transmitter for 32-bit Windows.
include(transmitter/Transmitter.cmake)
# The end-to-end tests run the DLLs under Wine, on a Linux build machine.
if(NOT CMAKE_HOST_WIN32)
    include(tests/wine/Wine.cmake)
    include(tests/hidstack/HidStack.cmake)
endif()
