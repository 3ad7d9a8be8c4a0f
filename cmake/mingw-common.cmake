# Shared by the two mingw-w64 toolchain files, which set TV_TRIPLE and
# CMAKE_SYSTEM_PROCESSOR first. The POSIX-thread flavour of the compilers
# is used: GoogleTest needs std::condition_variable, which the win32
# flavour lacks.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TV_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TV_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TV_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TV_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
