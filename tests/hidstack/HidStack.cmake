# Tests on the platform's own HID stack, labelled "hidstack": a Wine prefix of this build's
# bitness, no DLL overrides, the virtual key transmitter installed in it, driven by its set-up
# tool. They share one prefix, so they run one at a time.
set(hidstack_dir ${CMAKE_CURRENT_LIST_DIR})
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(hidstack_arch win32)
else()
    set(hidstack_arch win64)
endif()
set(hidstack_prefix ${CMAKE_BINARY_DIR}/hidstack/${hidstack_arch})
set(hidstack_args ${hidstack_prefix} ${hidstack_arch} ${TUNER_TRANSMITTER_DIR})

add_test(NAME hidstack.${hidstack_arch}.StartPrefix COMMAND ${hidstack_dir}/prefix.sh start ${hidstack_args})
add_test(NAME hidstack.${hidstack_arch}.StopPrefix COMMAND ${hidstack_dir}/prefix.sh stop ${hidstack_args})
set_tests_properties(hidstack.${hidstack_arch}.StartPrefix PROPERTIES FIXTURES_SETUP hidstack-${hidstack_arch})
set_tests_properties(hidstack.${hidstack_arch}.StopPrefix PROPERTIES FIXTURES_CLEANUP hidstack-${hidstack_arch})
set(hidstack_tests hidstack.${hidstack_arch}.StartPrefix hidstack.${hidstack_arch}.StopPrefix)
foreach(case IN ITEMS identity reports report-length failing-writes unplug two-devices builtin-libraries)
    set(name hidstack.${hidstack_arch}.transmitter.${case})
    add_test(NAME ${name} COMMAND ${hidstack_dir}/transmitter.sh ${case} ${hidstack_args})
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED hidstack-${hidstack_arch})
    list(APPEND hidstack_tests ${name})
endforeach()
set_tests_properties(${hidstack_tests} PROPERTIES
    LABELS hidstack SKIP_RETURN_CODE 77 TIMEOUT 300 RESOURCE_LOCK hidstack-${hidstack_arch})
