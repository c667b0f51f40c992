# Cross build for 64-bit Windows with Debian's mingw-w64 compilers, run under Wine.
# The posix thread model is named explicitly: GCC 12's win32 model has no std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BREVON_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${BREVON_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BREVON_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${BREVON_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${BREVON_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${BREVON_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")

# Libraries and headers of the target only; programs (the host's cmake, wine) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${BREVON_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes (libgcc, libstdc++, winpthread) go into each program and DLL, so what
# the build makes runs without the compiler's DLLs beside it. The DLLs' interfaces are plain C,
# so each having its own copy of the runtime is safe.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# The programs run under Wine (Debian's wine64 loader; cmake/WindowsCross.cmake uses it).
find_program(BREVON_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
