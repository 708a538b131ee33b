# Tests on the platform's own HID stack, labelled "hidstack": Wine prefixes with no DLL
# overrides, the virtual key transmitter installed in each by its set-up tool. The tests of one
# prefix share it, so they run one at a time.
set(hidstack_dir ${CMAKE_CURRENT_LIST_DIR})

# hidstack_prefix(NAME ARCH SETUP_DIR): a prefix of the kind ARCH (win32, win64 or wow64) in
# hidstack/NAME, with transmitter 1 installed from SETUP_DIR; sets hidstack_args for its tests.
function(hidstack_prefix name arch setup_dir)
    set(args ${CMAKE_BINARY_DIR}/hidstack/${name} ${arch} ${setup_dir})
    add_test(NAME hidstack.${name}.StartPrefix COMMAND ${hidstack_dir}/prefix.sh start ${args})
    add_test(NAME hidstack.${name}.StopPrefix COMMAND ${hidstack_dir}/prefix.sh stop ${args})
    set_tests_properties(hidstack.${name}.StartPrefix PROPERTIES FIXTURES_SETUP hidstack-${name})
    set_tests_properties(hidstack.${name}.StopPrefix PROPERTIES FIXTURES_CLEANUP hidstack-${name})
    set(hidstack_args ${args} PARENT_SCOPE)
endfunction()

# hidstack_tests(NAME): gives the tests of prefix NAME their label, fixture and lock.
function(hidstack_tests name)
    get_property(tests DIRECTORY PROPERTY TESTS)
    list(FILTER tests INCLUDE REGEX "^hidstack\\.${name}\\.")
    set_tests_properties(${tests} PROPERTIES
        LABELS hidstack SKIP_RETURN_CODE 77 TIMEOUT 300 RESOURCE_LOCK hidstack-${name})
    list(FILTER tests EXCLUDE REGEX "\\.(Start|Stop)Prefix$")
    set_tests_properties(${tests} PROPERTIES FIXTURES_REQUIRED hidstack-${name})
endfunction()

# The transmitter itself, driven by its set-up tool: a client of this build's bitness.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(own win32)
else()
    set(own win64)
endif()
hidstack_prefix(${own} ${own} ${TUNER_TRANSMITTER_DIR})
set(${own}_args ${hidstack_args})
foreach(case IN ITEMS identity reports report-length failing-writes unplug two-devices builtin-libraries)
    add_test(NAME hidstack.${own}.transmitter.${case} COMMAND ${hidstack_dir}/transmitter.sh ${case} ${hidstack_args})
endforeach()

# The plug-ins, loaded by the 32-bit stand-in host: in the 32-bit prefix, and in a 64-bit one
# (WoW64) whose driver and set-up tool come from the 64-bit transmitter build.
if(DEFINED TUNER_VARIANTS AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(TUNER_TRANSMITTER_X64_BUILD "" CACHE PATH "Build tree of the transmitter-x64 preset, for the WoW64 tests")
    set(plugin_prefixes win32)
    if(TUNER_TRANSMITTER_X64_BUILD)
        hidstack_prefix(wow64 wow64 ${TUNER_TRANSMITTER_X64_BUILD}/transmitter)
        set(wow64_args ${hidstack_args})
        list(APPEND plugin_prefixes wow64)
    endif()
    foreach(prefix IN LISTS plugin_prefixes)
        set(plugins ${hidstack_dir}/plugins.sh)
        foreach(variant IN LISTS TUNER_VARIANTS)
            foreach(case IN ITEMS channels no-transmitter replug two-transmitters failing-writes)
                add_test(NAME hidstack.${prefix}.${variant}.${case}
                         COMMAND ${plugins} ${case} ${${prefix}_args} ${CMAKE_BINARY_DIR} ${variant})
            endforeach()
        endforeach()
        add_test(NAME hidstack.${prefix}.Dovrane.soak COMMAND ${plugins} soak ${${prefix}_args} ${CMAKE_BINARY_DIR} Dovrane)
        add_test(NAME hidstack.${prefix}.SoakCatchesLeakyPlugin
                 COMMAND ${plugins} soak-leaky ${${prefix}_args} ${CMAKE_BINARY_DIR})
        add_test(NAME hidstack.${prefix}.DeviceListing COMMAND ${plugins} devices ${${prefix}_args} ${CMAKE_BINARY_DIR})
        add_test(NAME hidstack.${prefix}.Dovrane.bench COMMAND ${plugins} bench ${${prefix}_args} ${CMAKE_BINARY_DIR} Dovrane)
    endforeach()
    # The signed release's DLLs, as the signing test unpacks them: the signatures change nothing.
    if(TUNER_SYMBOLS)
        foreach(variant IN LISTS TUNER_VARIANTS)
            add_test(NAME hidstack.win32.Signed.${variant}.channels
                     COMMAND ${plugins} channels ${win32_args} ${CMAKE_BINARY_DIR} ${variant})
            set_tests_properties(hidstack.win32.Signed.${variant}.channels PROPERTIES
                ENVIRONMENT TUNER_PLUGIN_DIR=${CMAKE_BINARY_DIR}/signed/unpacked/${TUNER_RELEASE_NAME})
            list(APPEND signed_tests hidstack.win32.Signed.${variant}.channels)
        endforeach()
    endif()
    hidstack_tests(wow64)
endif()
hidstack_tests(${own})
if(TUNER_SYMBOLS AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    set_tests_properties(${signed_tests} PROPERTIES FIXTURES_REQUIRED "hidstack-win32;signed-release")
endif()
