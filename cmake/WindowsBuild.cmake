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

# A fixed preferred base: otherwise the linker derives it from the file name, and two
# deliverables with the same constants would differ in every absolute address.
set(TUNER_DLL_LINK_OPTIONS
    -nostdlib
    -s
    -Wl,--entry,_DllEntry@12
    -Wl,--image-base,0x10000000
    -Wl,--dynamicbase
    -Wl,--nxcompat
    -Wl,--enable-reloc-section
    -Wl,--no-insert-timestamp
)

# The plug-in's code, compiled once and linked into every deliverable.
add_library(tuner_plugin OBJECT ${TUNER_PLUGIN_SOURCES} plugin/DllEntry.cpp)
target_include_directories(tuner_plugin PUBLIC plugin)
target_compile_options(tuner_plugin PRIVATE ${TUNER_DLL_COMPILE_OPTIONS})

# add_plugin_dll(NAME DEF_FILE OUTPUT_DIR SOURCES... [LINK_OPTIONS ...] [LIBRARIES ...])
# One DLL of the plug-in's code with its own sources and export list.
function(add_plugin_dll name def_file output_dir)
    cmake_parse_arguments(PARSE_ARGV 3 arg "" "" "SOURCES;LINK_OPTIONS;LIBRARIES")
    add_library(${name} MODULE ${arg_SOURCES} ${def_file} $<TARGET_OBJECTS:tuner_plugin>)
    target_include_directories(${name} PRIVATE plugin)
    target_compile_options(${name} PRIVATE ${TUNER_DLL_COMPILE_OPTIONS})
    target_link_options(${name} PRIVATE ${arg_LINK_OPTIONS})
    target_link_libraries(${name} PRIVATE ${arg_LIBRARIES} hid setupapi kernel32)
    set_target_properties(${name} PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${output_dir})
endfunction()

foreach(variant IN LISTS TUNER_VARIANTS)
    add_plugin_dll(${variant} variants/${variant}/${variant}.def ${CMAKE_BINARY_DIR}/plugins
        SOURCES variants/${variant}/Variant.cpp
        LINK_OPTIONS ${TUNER_DLL_LINK_OPTIONS}
    )
endforeach()

include(tests/pe-fixtures/Fixtures.cmake)
