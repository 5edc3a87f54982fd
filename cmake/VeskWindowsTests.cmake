# The GoogleTest suites that need nothing of pal, built for Windows from
# Debian's GoogleTest sources, for scripts/test-windows-x64 to run under Wine
# (target windows_tests, not built by default).
set(vesk_gtest_source /usr/src/googletest)
if(NOT WIN32 OR NOT EXISTS ${vesk_gtest_source}/CMakeLists.txt)
  return()
endif()
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${vesk_gtest_source} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Its Notification on Win32 events (the win32 thread model has no std::mutex);
# its own warnings are its authors' business.
foreach(target gtest gtest_main)
  target_include_directories(${target} BEFORE PUBLIC ${CMAKE_CURRENT_LIST_DIR}/gtest-win32)
  target_compile_options(${target} PRIVATE -Wno-error)
endforeach()

add_executable(windows_tests EXCLUDE_FROM_ALL
  ${PROJECT_SOURCE_DIR}/tests/support/ByteArrayTest.cpp
  ${PROJECT_SOURCE_DIR}/tests/channel/CryptoApiTest.cpp)
target_link_libraries(windows_tests PRIVATE vesk_core gtest_main)
