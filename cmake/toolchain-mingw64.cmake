# Cross build for 64-bit Windows from Linux with Debian's MinGW-w64 GCC, the
# posix-thread flavour (std::thread and std::mutex need it):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake
# Programs built here run under Wine, which CTest uses as the emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZORVEX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZORVEX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZORVEX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZORVEX_MINGW_PREFIX}-windres)

# Headers and libraries of the target only; programs (tclsh, make) of the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${ZORVEX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The GCC runtime (libstdc++, libgcc, winpthread) linked in, so that a program
# runs from any folder without DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(ZORVEX_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(ZORVEX_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${ZORVEX_WINE64}")
endif()
