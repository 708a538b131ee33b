# Cross-compiles for 64-bit Windows with Debian's mingw-w64 GCC (its -win32 thread model): the
# virtual key transmitter's driver and set-up tool for 64-bit Windows, where the 32-bit plug-ins
# run under WoW64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-win32)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-win32)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
