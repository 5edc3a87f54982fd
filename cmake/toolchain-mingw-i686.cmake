# 32-bit Windows with the MinGW-w64 cross compiler, win32 thread model: the
# statically linked run-time then synchronises on Win32 primitives alone,
# where the posix model links in a thread library that imports functions
# Windows 2000 lacks. Its std::thread and std::mutex are unavailable; the
# code uses critical sections, events and its own spin lock instead.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VESK_MINGW_PREFIX i686-w64-mingw32)

set(CMAKE_C_COMPILER ${VESK_MINGW_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${VESK_MINGW_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER ${VESK_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VESK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
