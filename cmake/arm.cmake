# Cross-build for 32-bit ARM Linux with Debian's g++-arm-linux-gnueabi, whose
# baseline is ARMv5TE with software floating point, which the program never
# needs: its code runs on every 32-bit ARM from the ARM1176 of the Raspberry
# Pi Zero and 1 (ARMv6) on. Debian's armhf toolchain and C library are ARMv7,
# whose instructions an ARMv6 cannot run. The tests run the programs under
# qemu-arm-static as an ARM1176 (CMAKE_CROSSCOMPILING_EMULATOR, set by the
# preset), the test programs with Debian's own C library for armel, which
# tools/install-packages unpacks into tools/armel for qemu's -L.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(CMAKE_C_COMPILER arm-linux-gnueabi-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabi-g++)

set(CMAKE_FIND_ROOT_PATH /usr/arm-linux-gnueabi)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
