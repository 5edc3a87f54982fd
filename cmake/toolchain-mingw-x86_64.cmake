# 64-bit Windows with the MinGW-w64 cross compiler, the same win32 thread
# model as the 32-bit build for the same reason: the statically linked
# run-time then needs no thread library of its own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VESK_MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${VESK_MINGW_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${VESK_MINGW_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER ${VESK_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VESK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
