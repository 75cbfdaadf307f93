# Cross-build for 64-bit ARM Linux with Debian's g++-aarch64-linux-gnu. The
# tests run the programs under qemu-aarch64-static (CMAKE_CROSSCOMPILING_EMULATOR,
# set by the preset) with Debian's own C library for arm64 (libc6:arm64, the
# one the .deb depends on): the cross toolchain's copy of Debian 12.0 hangs in
# fork under qemu.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
