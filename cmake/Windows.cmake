# The Windows build, cross-compiled with MinGW-w64 (cmake/mingw-w64-x86_64.cmake):
# the portable core, the fakes and the core's unit tests, which CTest runs
# through Wine. Nothing here reaches the Linux build.

include(cmake/RmLibrary.cmake)
add_subdirectory(core)
# Fakes of every core interface: header-only, the same files as on Linux.
rm_library(rm_platform_fake ${PROJECT_SOURCE_DIR}/platform/fake LIBS rm_core)
# The Windows implementations of the core's interfaces.
add_subdirectory(platform/windows)
# The Win32 window and the services that belong to it.
add_subdirectory(gui/win32)

# router-monitor-scan.exe: one sweep of the range scanner, printed (console).
add_executable(router-monitor-scan main/ScanWinMain.cpp)
target_link_libraries(router-monitor-scan PRIVATE rm_platform_windows rm_core)
rm_win32_resources(router-monitor-scan)

# The zip users unpack: one folder holding the two programs, the fifteen
# settings files the program ships with, and its two sounds, laid out as the
# program looks for them (everything beside router-monitor.exe).
include(cmake/WindowsPackage.cmake)
# The installer of the same files: per user, Start menu, uninstaller.
include(cmake/WindowsInstaller.cmake)

option(RM_BUILD_TESTS "build the tests" ON)
if(RM_BUILD_TESTS)
  # No GoogleTest is packaged for MinGW: it is built from Debian's sources with
  # the cross compiler, and only what the tests link is built.
  set(RM_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${RM_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  foreach(lib gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${lib})
      add_library(GTest::${lib} ALIAS ${lib})
    endif()
  endforeach()
  enable_testing()
  add_subdirectory(tests/core)
  add_subdirectory(tests/windows)
  add_subdirectory(tests/win32)
  if(EXISTS ${PROJECT_SOURCE_DIR}/tests/windows/e2e/CMakeLists.txt)
    add_subdirectory(tests/windows/e2e)
  endif()
endif()
