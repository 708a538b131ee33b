# Native unit tests: the plug-in's own sources, compiled for this machine against the platform
# stand-in in standin/, linked into GoogleTest programs and run under the sanitizers.

set(TUNER_SANITIZERS "address,undefined" CACHE STRING
    "Sanitizers for the native build, as -fsanitize takes them (address,undefined or thread); empty for none")
set(GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources (Debian's googletest package)")

if(TUNER_SANITIZERS)
    add_compile_options(-fsanitize=${TUNER_SANITIZERS} -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=${TUNER_SANITIZERS})
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)

add_library(standin_platform STATIC standin/PlatformModel.cpp)
target_include_directories(standin_platform PUBLIC standin standin/include)
target_compile_options(standin_platform PRIVATE ${TUNER_WARNINGS})

add_library(tuner_plugin STATIC ${TUNER_PLUGIN_SOURCES})
target_include_directories(tuner_plugin PUBLIC plugin)
target_compile_options(tuner_plugin PRIVATE ${TUNER_WARNINGS})
target_link_libraries(tuner_plugin PUBLIC standin_platform)

# The channel change and the device search, on Dovrane's constants.
add_executable(plugin_tests
    tests/ChannelChangeTests.cpp
    tests/HidDeviceSearchTests.cpp
    tests/FaultInjectionTests.cpp
    tests/ChannelNumberProperties.cpp
    variants/Dovrane/Variant.cpp
)
target_compile_options(plugin_tests PRIVATE ${TUNER_WARNINGS})
target_link_libraries(plugin_tests PRIVATE tuner_plugin GTest::gtest_main)
gtest_discover_tests(plugin_tests PROPERTIES LABELS unit)

# Two deliverables as loadable modules in one process, each exporting only the two entry points
# and calling the platform stand-in of the program that loads it.
foreach(variant IN ITEMS Dovrane Dovrane2)
    add_library(plugin_${variant} MODULE ${TUNER_PLUGIN_SOURCES} variants/${variant}/Variant.cpp)
    target_include_directories(plugin_${variant} PRIVATE plugin standin/include)
    target_compile_options(plugin_${variant} PRIVATE ${TUNER_WARNINGS})
    target_link_options(plugin_${variant} PRIVATE -Wl,--version-script=${CMAKE_SOURCE_DIR}/tests/plugin-exports.map)
    set_target_properties(plugin_${variant} PROPERTIES PREFIX "" LINK_DEPENDS ${CMAKE_SOURCE_DIR}/tests/plugin-exports.map)
endforeach()
add_executable(concurrency_tests tests/ConcurrencyTests.cpp)
target_compile_options(concurrency_tests PRIVATE ${TUNER_WARNINGS})
target_include_directories(concurrency_tests PRIVATE plugin)
target_compile_definitions(concurrency_tests PRIVATE
    DOVRANE_MODULE="$<TARGET_FILE:plugin_Dovrane>" DOVRANE2_MODULE="$<TARGET_FILE:plugin_Dovrane2>")
# The stand-in is linked whole and exported, so that the loaded modules call it.
target_link_libraries(concurrency_tests PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,standin_platform>" GTest::gtest_main ${CMAKE_DL_LIBS})
set_target_properties(concurrency_tests PROPERTIES ENABLE_EXPORTS ON)
add_dependencies(concurrency_tests plugin_Dovrane plugin_Dovrane2)
gtest_discover_tests(concurrency_tests PROPERTIES LABELS concurrency)

# Each deliverable's properties record and report bytes, one program per deliverable.
foreach(variant IN LISTS TUNER_VARIANTS)
    add_executable(variant_tests_${variant} tests/VariantTests.cpp variants/${variant}/Variant.cpp)
    target_compile_definitions(variant_tests_${variant} PRIVATE TUNER_VARIANT_NAME="${variant}")
    target_compile_options(variant_tests_${variant} PRIVATE ${TUNER_WARNINGS})
    target_link_libraries(variant_tests_${variant} PRIVATE tuner_plugin GTest::gtest_main)
    gtest_discover_tests(variant_tests_${variant} TEST_PREFIX "${variant}." PROPERTIES LABELS unit)
endforeach()

# The PE check of the Windows build's DLLs. The Windows build is a separate build tree (another
# compiler); the presets point these variables at it.
set(TUNER_WINDOWS_BUILD "" CACHE PATH "Build tree of the windows preset, whose DLLs the PE check reads")
set(TUNER_WINDOWS_BUILD_AGAIN "" CACHE PATH "A second, independent build tree of the same DLLs")

add_executable(pe-check tools/pe-check/PeCheck.cpp tools/pe-check/PeImage.cpp)
target_compile_options(pe-check PRIVATE ${TUNER_WARNINGS})

if(TUNER_WINDOWS_BUILD)
    set(plugins ${TUNER_WINDOWS_BUILD}/plugins)
    set(fixtures ${TUNER_WINDOWS_BUILD}/pe-fixtures)
    set(expect_failure ${CMAKE_SOURCE_DIR}/tests/expect-failure.sh)

    list(TRANSFORM TUNER_VARIANTS APPEND .dll OUTPUT_VARIABLE dll_names)
    list(TRANSFORM dll_names PREPEND ${plugins}/ OUTPUT_VARIABLE dll_paths)
    add_test(NAME pe.PluginDlls COMMAND pe-check plugin ${dll_paths})
    add_test(NAME pe.TarrikDiffersFromDovrane2OnlyInName
             COMMAND pe-check only-names-differ ${plugins}/Tarrik.dll ${plugins}/Dovrane2.dll)
    if(TUNER_WINDOWS_BUILD_AGAIN)
        foreach(dll IN LISTS dll_names)
            add_test(NAME pe.Reproducible.${dll}
                     COMMAND pe-check identical ${plugins}/${dll} ${TUNER_WINDOWS_BUILD_AGAIN}/plugins/${dll})
        endforeach()
    endif()

    # The check must reject each of these faults, for the right reason.
    set(rejections
        "ExtraExport|exports are not exactly"
        "MissingExport|exports are not exactly"
        "RenamedExport|exports are not exactly"
        "SwappedOrdinals|exports are not exactly"
        "Dovrane-renamed|export directory names the library \"Dovrane.dll\""
        "ExtraImport|imports other than"
        "NoNxCompat|NX_COMPAT"
        "NoDynamicBase|DYNAMIC_BASE"
        "TimeStamped|time stamp"
    )
    foreach(rejection IN LISTS rejections)
        string(REPLACE "|" ";" parts "${rejection}")
        list(GET parts 0 fixture)
        list(GET parts 1 message)
        add_test(NAME pe.Rejects.${fixture}
                 COMMAND ${expect_failure} "${message}" $<TARGET_FILE:pe-check> plugin ${fixtures}/${fixture}.dll)
    endforeach()
    add_test(NAME pe.Rejects.DifferentConstants
             COMMAND ${expect_failure} "code, data, imports or relocations differ"
                     $<TARGET_FILE:pe-check> only-names-differ ${plugins}/Dovrane.dll ${plugins}/Dovrane2.dll)
    add_test(NAME pe.Rejects.DifferentBytes
             COMMAND ${expect_failure} "differ"
                     $<TARGET_FILE:pe-check> identical ${plugins}/Dovrane.dll ${plugins}/Dovrane2.dll)
    get_property(all_tests DIRECTORY PROPERTY TESTS)
    list(FILTER all_tests INCLUDE REGEX "^pe\\.")
    set_tests_properties(${all_tests} PROPERTIES LABELS pe)
endif()
