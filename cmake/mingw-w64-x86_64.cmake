# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-builds the Windows program with MinGW-w64 (x86_64, POSIX thread model) and runs its tests
# under Wine. Libraries built by scripts/build-windows-deps (libpng, GoogleTest) are found in
# SLIMKIT_DEPS_PREFIX, by default deps/prefix inside the build folder.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# Debian's unsuffixed compilers use the win32 thread model, which has no std::thread in GCC 12.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# A dynamically linked .exe without the MinGW runtime DLLs beside it exits 53 under Wine, silently.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

if(NOT SLIMKIT_DEPS_PREFIX)
  set(SLIMKIT_DEPS_PREFIX "${CMAKE_BINARY_DIR}/deps/prefix")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES SLIMKIT_DEPS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${SLIMKIT_DEPS_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The Windows-GNU platform file resets CMAKE_FIND_LIBRARY_SUFFIXES; this is how FindZLIB picks
# the static archive.
set(ZLIB_USE_STATIC_LIBS ON)

set(CMAKE_CROSSCOMPILING_EMULATOR wine)
