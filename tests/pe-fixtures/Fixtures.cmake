# Deliberately faulty builds of the plug-in, each with one thing wrong, that the PE check
# must reject. Built only for the tests, into their own folder.

set(fixture_dir ${CMAKE_BINARY_DIR}/pe-fixtures)
set(fixture_src ${CMAKE_CURRENT_LIST_DIR})
set(good_def ${CMAKE_SOURCE_DIR}/variants/Dovrane/Dovrane.def)

function(add_faulty_dll name def_file)
    add_plugin_dll(${name} Dovrane ${def_file} ${fixture_dir} ${ARGN} LINK_OPTIONS ${fixture_link_options})
endfunction()

set(fixture_link_options ${TUNER_DLL_LINK_OPTIONS})
foreach(def IN ITEMS ExtraExport MissingExport RenamedExport SwappedOrdinals)
    add_faulty_dll(${def} ${fixture_src}/${def}.def)
endforeach()

# Dovrane.dll under another file name: its export directory and version resource still say
# Dovrane.dll.
add_custom_command(OUTPUT ${fixture_dir}/Dovrane-renamed.dll
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Dovrane> ${fixture_dir}/Dovrane-renamed.dll
    DEPENDS Dovrane
    VERBATIM)
add_custom_target(Dovrane-renamed ALL DEPENDS ${fixture_dir}/Dovrane-renamed.dll)

add_faulty_dll(ExtraImport ${fixture_src}/ExtraImport.def SOURCES ${fixture_src}/ExtraImport.cpp)
target_link_libraries(ExtraImport PRIVATE user32)

list(REMOVE_ITEM fixture_link_options -Wl,--nxcompat)
list(APPEND fixture_link_options -Wl,--disable-nxcompat)
add_faulty_dll(NoNxCompat ${good_def})

set(fixture_link_options ${TUNER_DLL_LINK_OPTIONS})
list(REMOVE_ITEM fixture_link_options -Wl,--dynamicbase)
list(APPEND fixture_link_options -Wl,--disable-dynamicbase)
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

# A plug-in without a load configuration: its imports are looked up wherever the loader looks.
set(fixture_link_options ${TUNER_DLL_LINK_OPTIONS})
add_faulty_dll(NoLoadConfig ${good_def} WITHOUT_LOAD_CONFIG)

# A plug-in that does not declare that it has no exception handlers.
list(REMOVE_ITEM fixture_link_options -Wl,--no-seh)
list(APPEND fixture_link_options -Wl,--disable-no-seh)
add_faulty_dll(NoSehFlag ${good_def})

# A plug-in that names no PDB.
set(fixture_link_options ${TUNER_DLL_LINK_OPTIONS})
list(FILTER fixture_link_options EXCLUDE REGEX "pdb")
add_faulty_dll(NoPdb ${good_def})

# Dovrane.dll beside a PDB from another link: a debugger would refuse it.
if(TUNER_SYMBOLS)
    add_custom_command(OUTPUT ${fixture_dir}/StalePdb/Dovrane.dll ${fixture_dir}/StalePdb/Dovrane.pdb
        COMMAND ${CMAKE_COMMAND} -E make_directory ${fixture_dir}/StalePdb
        COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Dovrane> ${fixture_dir}/StalePdb/Dovrane.dll
        COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE_DIR:Dovrane2>/Dovrane2.pdb ${fixture_dir}/StalePdb/Dovrane.pdb
        DEPENDS Dovrane Dovrane2
        VERBATIM)
    add_custom_target(StalePdb ALL DEPENDS ${fixture_dir}/StalePdb/Dovrane.dll)
endif()
