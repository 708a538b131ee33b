# Cross-compiles for 32-bit Windows with Debian's mingw-w64. The -win32 thread-model
# compilers are used: the -posix ones make every program depend on a pthread DLL.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

if(CMAKE_HOST_WIN32)
    # MSYS2's MINGW32 environment: its compilers target 32-bit Windows under their plain names.
    set(CMAKE_C_COMPILER gcc)
    set(CMAKE_CXX_COMPILER g++)
    set(CMAKE_RC_COMPILER windres)
else()
    set(MINGW_TRIPLET i686-w64-mingw32)
    set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-win32)
    set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-win32)
    set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

    set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
    set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
    set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
    set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
endif()
