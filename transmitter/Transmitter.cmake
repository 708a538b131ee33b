# The virtual key transmitter for the build's architecture: its driver, VirtualTransmitter.sys,
# its set-up tool, transmitter-setup.exe, and its INF, side by side in transmitter/.
enable_language(C)
set(TUNER_TRANSMITTER_DIR ${CMAKE_BINARY_DIR}/transmitter)

# A kernel-mode driver: no C run-time, no stack-protector run-time, the native subsystem.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(driver_entry _DriverEntry@8)
else()
    set(driver_entry DriverEntry)
endif()
add_library(VirtualTransmitter MODULE ${CMAKE_CURRENT_LIST_DIR}/VirtualTransmitter.c)
target_compile_options(VirtualTransmitter PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Werror
    -O2 -ffreestanding -fno-stack-protector -fno-asynchronous-unwind-tables ${TUNER_DEBUG_COMPILE_OPTIONS})
target_link_options(VirtualTransmitter PRIVATE
    ${TUNER_LINK_OPTIONS} -nostdlib -Wl,--subsystem,native -Wl,--entry,${driver_entry}
    -Wl,--dynamicbase -Wl,--nxcompat)
target_link_libraries(VirtualTransmitter PRIVATE ntoskrnl hidclass hal)
set_target_properties(VirtualTransmitter PROPERTIES
    PREFIX "" SUFFIX ".sys" LIBRARY_OUTPUT_DIRECTORY ${TUNER_TRANSMITTER_DIR})

add_executable(transmitter-setup ${CMAKE_CURRENT_LIST_DIR}/setup/TransmitterSetup.cpp)
target_compile_options(transmitter-setup PRIVATE ${TUNER_WARNINGS} -O2 ${TUNER_DEBUG_COMPILE_OPTIONS})
target_link_options(transmitter-setup PRIVATE ${TUNER_LINK_OPTIONS} -municode -static -static-libgcc -static-libstdc++)
target_link_libraries(transmitter-setup PRIVATE setupapi hid newdev)
set_target_properties(transmitter-setup PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TUNER_TRANSMITTER_DIR})

configure_file(${CMAKE_CURRENT_LIST_DIR}/VirtualTransmitter.inf ${TUNER_TRANSMITTER_DIR}/VirtualTransmitter.inf COPYONLY)
