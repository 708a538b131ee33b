# Cross-compiles for 32-bit Windows with Debian's clang and lld, against the mingw-w64 headers
# and libraries, with CodeView debug information so that lld writes a PDB beside each binary:
# the toolchain of the release.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

if(CMAKE_HOST_WIN32)
    # MSYS2's CLANG32 environment: its clang targets 32-bit Windows and links with lld, with a
    # C++ run-time of its own.
    set(CMAKE_C_COMPILER clang)
    set(CMAKE_CXX_COMPILER clang++)
    set(CMAKE_RC_COMPILER windres)
    foreach(kind IN ITEMS EXE SHARED MODULE)
        set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld")
    endforeach()
    return()
endif()

set(MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER clang)
set(CMAKE_C_COMPILER_TARGET ${MINGW_TRIPLET})
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET ${MINGW_TRIPLET})
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# The C++ headers and run-time libraries are those of mingw-w64's GCC (its -win32 thread
# model); clang does not look for them where Debian puts them.
file(GLOB MINGW_GCC_DIRS LIST_DIRECTORIES true /usr/lib/gcc/${MINGW_TRIPLET}/*-win32)
list(GET MINGW_GCC_DIRS 0 MINGW_GCC_DIR)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES
    ${MINGW_GCC_DIR}/include/c++ ${MINGW_GCC_DIR}/include/c++/${MINGW_TRIPLET})
foreach(kind IN ITEMS EXE SHARED MODULE)
    set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld -L${MINGW_GCC_DIR}")
endforeach()
