# End-to-end tests of the built DLLs under Wine, labelled "wine": the stand-in host loads each
# deliverable and the simulated key transmitter records what it is sent.

set(wine_dir ${CMAKE_CURRENT_LIST_DIR})
set(wine_fixture_dir ${CMAKE_BINARY_DIR}/host-fixtures)

# Faulty plug-ins that the host must catch.
foreach(fixture IN ITEMS LeakyWrite LeakyQuery CalleeCleans)
    add_freestanding_dll(${fixture} ${wine_dir}/fixtures/${fixture}.def ${wine_fixture_dir}
        SOURCES ${wine_dir}/fixtures/${fixture}.cpp ${CMAKE_SOURCE_DIR}/plugin/HidDeviceSearch.cpp
                ${CMAKE_SOURCE_DIR}/plugin/DllEntry.cpp
        LINK_OPTIONS ${TUNER_DLL_LINK_OPTIONS})
    target_include_directories(${fixture} PRIVATE ${CMAKE_SOURCE_DIR}/plugin)
endforeach()

set(e2e ${wine_dir}/e2e.sh ${CMAKE_BINARY_DIR})

add_test(NAME wine.StartPrefix COMMAND ${wine_dir}/prefix.sh start ${CMAKE_BINARY_DIR})
add_test(NAME wine.StopPrefix COMMAND ${wine_dir}/prefix.sh stop ${CMAKE_BINARY_DIR})
set_tests_properties(wine.StartPrefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 600)
set_tests_properties(wine.StopPrefix PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 120)

foreach(variant IN LISTS TUNER_VARIANTS)
    # The cases only a stand-in can show; the others run on Wine's own HID stack (hidstack).
    foreach(case IN ITEMS props mismatch-first faults no-set)
        add_test(NAME wine.${variant}.${case} COMMAND ${e2e} ${case} ${variant})
    endforeach()
endforeach()
add_test(NAME wine.TarrikAndDovrane2RecordsMatch COMMAND ${e2e} props-match)
add_test(NAME wine.SimulatorLoadsAsNative COMMAND ${e2e} loads-native Dovrane)
add_test(NAME wine.DeviceListing COMMAND ${e2e} devices)
add_test(NAME wine.DeviceListingWithoutTransmitter COMMAND ${e2e} devices-none)

# The host must catch a plug-in that misbehaves, and say why.
add_test(NAME wine.HostCatches.LeakedWriteHandle COMMAND ${e2e} rejects host-fixtures/LeakyWrite.dll 3 "is still open")
add_test(NAME wine.HostCatches.LeakedQueryHandle
         COMMAND ${e2e} rejects host-fixtures/LeakyQuery.dll 3 "passed to hid.dll is still open")
add_test(NAME wine.HostCatches.CalleeCleans COMMAND ${e2e} rejects host-fixtures/CalleeCleans.dll 3 "removes its own argument")
add_test(NAME wine.HostCatches.SwappedOrdinals
         COMMAND ${e2e} rejects pe-fixtures/SwappedOrdinals.dll 1 "does not export SetTunerFrequency at ordinal 1")
add_test(NAME wine.HostCatches.MissingExport
         COMMAND ${e2e} rejects pe-fixtures/MissingExport.dll 1 "does not export TunerGetProperties")

get_property(wine_tests DIRECTORY PROPERTY TESTS)
list(FILTER wine_tests INCLUDE REGEX "^wine\\.")
set_tests_properties(${wine_tests} PROPERTIES LABELS wine SKIP_RETURN_CODE 77)
list(FILTER wine_tests EXCLUDE REGEX "^wine\\.(Start|Stop)Prefix$")
set_tests_properties(${wine_tests} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300)
