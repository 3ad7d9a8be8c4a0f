# Cross build for 64-bit Windows with the POSIX-thread flavour of mingw-w64
# (GoogleTest needs std::condition_variable, which the win32 flavour lacks).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TV_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TV_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TV_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TV_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TV_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# ctest runs the Windows test programs through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
