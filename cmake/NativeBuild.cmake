# Native unit tests: the plug-in's own sources, compiled for this machine against the platform
# stand-in in standin/, linked into GoogleTest programs and run under the sanitizers.

# The compile commands feed the static analysis.
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)

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

# tuner_unit_tests(TARGET [TEST_PREFIX P]): under the sanitizers, each test case of the
# program is a test; without them, the whole program runs once under valgrind's memcheck.
function(tuner_unit_tests target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "TEST_PREFIX" "")
    if(TUNER_SANITIZERS)
        gtest_discover_tests(${target} TEST_PREFIX "${arg_TEST_PREFIX}" PROPERTIES LABELS unit)
    else()
        add_test(NAME valgrind.${target}
                 COMMAND ${VALGRIND} --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect
                         --track-fds=no -q $<TARGET_FILE:${target}>)
        set_tests_properties(valgrind.${target} PROPERTIES LABELS valgrind)
    endif()
endfunction()

if(NOT TUNER_SANITIZERS)
    find_program(VALGRIND valgrind REQUIRED)
endif()

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
)
tuner_use_variant(plugin_tests Dovrane)
target_compile_options(plugin_tests PRIVATE ${TUNER_WARNINGS})
target_link_libraries(plugin_tests PRIVATE tuner_plugin GTest::gtest_main)
tuner_unit_tests(plugin_tests)

# Two deliverables as loadable modules in one process, each exporting only the two entry points
# and calling the platform stand-in of the program that loads it.
foreach(variant IN ITEMS Dovrane Dovrane2)
    add_library(plugin_${variant} MODULE ${TUNER_PLUGIN_SOURCES})
    tuner_use_variant(plugin_${variant} ${variant})
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
tuner_unit_tests(concurrency_tests)

# Each deliverable's properties record and report bytes, one program per deliverable.
foreach(variant IN LISTS TUNER_VARIANTS)
    add_executable(variant_tests_${variant} tests/VariantTests.cpp)
    tuner_use_variant(variant_tests_${variant} ${variant})
    target_compile_definitions(variant_tests_${variant} PRIVATE TUNER_VARIANT_NAME="${variant}")
    target_compile_options(variant_tests_${variant} PRIVATE ${TUNER_WARNINGS})
    target_link_libraries(variant_tests_${variant} PRIVATE tuner_plugin GTest::gtest_main)
    tuner_unit_tests(variant_tests_${variant} TEST_PREFIX "${variant}.")
endforeach()

# The PE check of the Windows builds' DLLs, with Debian's python3-pefile. The Windows builds are
# separate build trees (another compiler); the presets point these variables at them.
set(TUNER_WINDOWS_BUILD "" CACHE PATH "Build tree of the windows preset (the release), whose DLLs the PE check reads")
set(TUNER_WINDOWS_BUILD_AGAIN "" CACHE PATH "A second, independent build tree of the release")
set(TUNER_WINDOWS_GCC_BUILD "" CACHE PATH "Build tree of the same DLLs built with the second compiler, GCC")

if(TUNER_WINDOWS_BUILD)
    find_program(TUNER_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
    find_program(LLVM_PDBUTIL NAMES llvm-pdbutil llvm-pdbutil-14 REQUIRED)
    set(pe_check ${TUNER_PYTHON} ${CMAKE_SOURCE_DIR}/tools/pe-check/pe-check.py)
    set(plugins ${TUNER_WINDOWS_BUILD}/plugins)
    set(fixtures ${TUNER_WINDOWS_BUILD}/pe-fixtures)
    set(expect_failure ${CMAKE_SOURCE_DIR}/tests/expect-failure.sh)

    list(TRANSFORM TUNER_VARIANTS APPEND .dll OUTPUT_VARIABLE dll_names)
    list(TRANSFORM dll_names PREPEND ${plugins}/ OUTPUT_VARIABLE dll_paths)
    add_test(NAME pe.PluginDlls COMMAND ${pe_check} plugin --release ${dll_paths})
    # Each DLL's version resource, as Windows shows it in the file's properties.
    set(version_Dovrane "Dovrane" "Kestrova tuner driver for a Sky+ digibox.")
    set(version_Dovrane2 "Dovrane (2nd Output)" "Kestrova tuner driver for a Sky+ digibox using output #2.")
    set(version_Tarrik2 "Tarrik (2nd Output)" "Kestrova tuner driver for a Sky digibox using output #2.")
    set(version_Tarrik ${version_Dovrane2})
    set(version_text ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
    foreach(variant IN LISTS TUNER_VARIANTS)
        list(GET version_${variant} 0 product)
        list(GET version_${variant} 1 description)
        add_test(NAME pe.Version.${variant}
                 COMMAND ${pe_check} version ${plugins}/${variant}.dll "ProductName=${product}"
                         "FileDescription=${description}" "OriginalFilename=${variant}.dll"
                         "InternalName=${variant}.dll" "FileVersion=${version_text}" "ProductVersion=${version_text}"
                         "(fixed file version)=${version_text}")
    endforeach()
    add_test(NAME pe.TarrikDiffersFromDovrane2OnlyInName
             COMMAND ${pe_check} only-names-differ ${plugins}/Tarrik.dll ${plugins}/Dovrane2.dll)
    # Every release binary and its PDB, the same bytes from a build in another folder.
    if(TUNER_WINDOWS_BUILD_AGAIN)
        foreach(file IN LISTS dll_names ITEMS host/tuner-host.exe)
            string(REGEX REPLACE "\\.(dll|exe)$" ".pdb" pdb ${file})
            if(NOT file MATCHES "/")
                set(file plugins/${file})
                set(pdb plugins/${pdb})
            endif()
            foreach(binary IN ITEMS ${file} ${pdb})
                get_filename_component(name ${binary} NAME)
                add_test(NAME pe.Reproducible.${name}
                         COMMAND ${pe_check} identical ${TUNER_WINDOWS_BUILD}/${binary} ${TUNER_WINDOWS_BUILD_AGAIN}/${binary})
            endforeach()
        endforeach()
    endif()

    if(TUNER_WINDOWS_GCC_BUILD)
        list(TRANSFORM dll_names PREPEND ${TUNER_WINDOWS_GCC_BUILD}/plugins/ OUTPUT_VARIABLE gcc_dll_paths)
        add_test(NAME pe.Gcc.PluginDlls COMMAND ${pe_check} plugin ${gcc_dll_paths})
        add_test(NAME pe.Gcc.TarrikDiffersFromDovrane2OnlyInName
                 COMMAND ${pe_check} only-names-differ ${TUNER_WINDOWS_GCC_BUILD}/plugins/Tarrik.dll
                         ${TUNER_WINDOWS_GCC_BUILD}/plugins/Dovrane2.dll)
    endif()

    # The check must reject each of these faults, for the right reason.
    set(rejections
        "ExtraExport|exports are not exactly"
        "MissingExport|exports are not exactly"
        "RenamedExport|exports are not exactly"
        "SwappedOrdinals|exports are not exactly"
        "Dovrane-renamed|export directory names the library \"Dovrane.dll\""
        "Dovrane-renamed|version resource's OriginalFilename is \"Dovrane.dll\""
        "NoVersion|resources other than one version resource"
        "ExtraImport|imports other than"
        "NoNxCompat|NX_COMPAT"
        "NoDynamicBase|DYNAMIC_BASE"
        "TimeStamped|time stamp"
        "NoPdb|no PDB reference"
        "NoLoadConfig|not taken from the system folder only (no load configuration"
        "NoSehFlag|NO_SEH"
    )
    foreach(rejection IN LISTS rejections)
        string(REPLACE "|" ";" parts "${rejection}")
        list(GET parts 0 fixture)
        list(GET parts 1 message)
        string(MAKE_C_IDENTIFIER "${message}" reason)
        add_test(NAME pe.Rejects.${fixture}.${reason}
                 COMMAND ${expect_failure} "${message}" ${pe_check} plugin --release ${fixtures}/${fixture}.dll)
    endforeach()
    # A PDB that is not the one the DLL was linked with.
    add_test(NAME pe.Rejects.StalePdb
             COMMAND ${expect_failure} "Dovrane.pdb does not match it" ${pe_check} plugin --release ${fixtures}/StalePdb/Dovrane.dll)
    add_test(NAME pe.Rejects.Unsigned
             COMMAND ${expect_failure} "no certificate table" ${pe_check} plugin --signed ${plugins}/Dovrane.dll)
    add_test(NAME pe.Rejects.DifferentConstants
             COMMAND ${expect_failure} "code, data, imports or relocations differ"
                     ${pe_check} only-names-differ ${plugins}/Dovrane.dll ${plugins}/Dovrane2.dll)
    add_test(NAME pe.Rejects.DifferentBytes
             COMMAND ${expect_failure} "differ" ${pe_check} identical ${plugins}/Dovrane.dll ${plugins}/Dovrane2.dll)
    get_property(all_tests DIRECTORY PROPERTY TESTS)
    list(FILTER all_tests INCLUDE REGEX "^pe\\.")
    set_tests_properties(${all_tests} PROPERTIES LABELS pe ENVIRONMENT LLVM_PDBUTIL=${LLVM_PDBUTIL})
endif()

# Without the sanitizers: static analysis of the plug-in, and the benchmark (not a test).
if(NOT TUNER_SANITIZERS)
    find_program(CLANG_TIDY clang-tidy REQUIRED)
    find_program(CPPCHECK cppcheck REQUIRED)
    list(TRANSFORM TUNER_PLUGIN_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/ OUTPUT_VARIABLE plugin_paths)
    add_test(NAME lint.clang-tidy COMMAND ${CLANG_TIDY} -p ${CMAKE_BINARY_DIR} --quiet ${plugin_paths})
    add_test(NAME lint.cppcheck
             COMMAND ${CPPCHECK} --enable=warning,style,performance,portability --error-exitcode=1 --inline-suppr
                     --std=c++17 --language=c++ -q -I ${CMAKE_SOURCE_DIR}/plugin -I ${CMAKE_SOURCE_DIR}/standin/include
                     ${CMAKE_SOURCE_DIR}/plugin)
    set_tests_properties(lint.clang-tidy lint.cppcheck PROPERTIES LABELS lint)

    find_package(benchmark REQUIRED)
    add_executable(channel_change_benchmark benchmarks/ChannelChangeBenchmark.cpp)
    tuner_use_variant(channel_change_benchmark Dovrane)
    target_compile_options(channel_change_benchmark PRIVATE ${TUNER_WARNINGS})
    target_link_libraries(channel_change_benchmark PRIVATE tuner_plugin benchmark::benchmark)
endif()
