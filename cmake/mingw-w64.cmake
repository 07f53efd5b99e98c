# Cross-compiling for Windows with Debian's MinGW-w64. Included by
# mingw-w64-x86_64.cmake and mingw-w64-i686.cmake, which set E2D_MINGW_TRIPLE.
# The posix-thread compilers: the win32-thread ones have no std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)  # Windows 7 SP1 and later

set(CMAKE_C_COMPILER ${E2D_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${E2D_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${E2D_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${E2D_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Statically linked: the exe needs only Windows' own DLLs, so it runs from a
# USB stick on a machine where nothing is installed.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
# Windows 7 is the oldest system served: its API level, wide-character API.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE)

# Tests run under Wine: tests/windows/wine_run.sh sets the prefix up.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/windows/wine_run.sh)
