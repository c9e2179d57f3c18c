# 32-bit Windows with the mingw-w64 win32 thread model: the posix model would
# import winpthread, which older Windows does not have.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(DLLMEND_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
