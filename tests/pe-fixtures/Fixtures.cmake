# Deliberately faulty builds of the plug-in, each with one thing wrong, that the PE check
# must reject. Built only for the tests, into their own folder.

set(fixture_dir ${CMAKE_BINARY_DIR}/pe-fixtures)
set(fixture_src ${CMAKE_CURRENT_LIST_DIR})
set(good_def ${CMAKE_SOURCE_DIR}/variants/Dovrane/Dovrane.def)

function(add_faulty_dll name def_file)
    add_plugin_dll(${name} Dovrane ${def_file} ${fixture_dir}
        SOURCES ${ARGN}
        LINK_OPTIONS ${fixture_link_options}
    )
endfunction()

set(fixture_link_options ${TUNER_DLL_LINK_OPTIONS})
foreach(def IN ITEMS ExtraExport MissingExport RenamedExport SwappedOrdinals)
    add_faulty_dll(${def} ${fixture_src}/${def}.def)
endforeach()

# The DLL's export directory says Dovrane.dll, but the file is called otherwise.
add_faulty_dll(Dovrane-renamed ${good_def})

add_faulty_dll(ExtraImport ${fixture_src}/ExtraImport.def ${fixture_src}/ExtraImport.cpp)
target_link_libraries(ExtraImport PRIVATE user32)

list(REMOVE_ITEM fixture_link_options -Wl,--nxcompat)
list(APPEND fixture_link_options -Wl,--disable-nxcompat)
add_faulty_dll(NoNxCompat ${good_def})

set(fixture_link_options ${TUNER_DLL_LINK_OPTIONS})
list(REMOVE_ITEM fixture_link_options -Wl,--dynamicbase -Wl,--enable-reloc-section)
list(APPEND fixture_link_options -Wl,--disable-dynamicbase -Wl,--disable-reloc-section)
add_faulty_dll(NoDynamicBase ${good_def})

set(fixture_link_options ${TUNER_DLL_LINK_OPTIONS})
list(REMOVE_ITEM fixture_link_options -Wl,--no-insert-timestamp)
list(APPEND fixture_link_options -Wl,--insert-timestamp)
add_faulty_dll(TimeStamped ${good_def})

# A plug-in without a version resource.
add_freestanding_dll(NoVersion ${good_def} ${fixture_dir}
    SOURCES $<TARGET_OBJECTS:tuner_plugin>
    LINK_OPTIONS ${TUNER_DLL_LINK_OPTIONS})
tuner_use_variant(NoVersion Dovrane)
