# Cross build for 32-bit Windows. This kernel cannot run 32-bit programs,
# so the build only has to compile and link; no emulator is set.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TV_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TV_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TV_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TV_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TV_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
