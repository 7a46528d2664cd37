# Cross-build for 64-bit Windows with Debian's MinGW-w64 (the POSIX-thread
# variant, so that std::thread and std::mutex work), everything linked
# statically into each .exe so that it runs with nothing installed beside it.
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(RM_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${RM_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RM_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${RM_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${RM_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread inside the executable: no DLL to ship.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# CTest runs the cross-built tests through Wine, in a prefix private to this
# build folder (scripts/wine-run.sh makes it on first use).
get_filename_component(RM_TOOLCHAIN_SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR
  "${RM_TOOLCHAIN_SOURCE_DIR}/scripts/wine-run.sh;--prefix;${CMAKE_BINARY_DIR}/wineprefix")
