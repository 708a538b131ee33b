# Cross-compiles for 32-bit Windows with Debian's clang, against the mingw-w64 headers and
# libraries: a second compiler for the same DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

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

# The plug-ins need only the C++ headers of mingw-w64's GCC, not its run-time libraries; clang
# does not look for them where Debian puts them.
file(GLOB MINGW_GCC_DIRS LIST_DIRECTORIES true /usr/lib/gcc/${MINGW_TRIPLET}/*-win32)
list(GET MINGW_GCC_DIRS 0 MINGW_GCC_DIR)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES
    ${MINGW_GCC_DIR}/include/c++ ${MINGW_GCC_DIR}/include/c++/${MINGW_TRIPLET})

# Without the run-time libraries no test program links: check the compiler with a library.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
