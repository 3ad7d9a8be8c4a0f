# Cross build for 32-bit Windows. This kernel cannot run 32-bit programs,
# so the build only has to compile and link; no emulator is set.
set(TV_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
