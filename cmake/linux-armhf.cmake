# Cross-building for 32-bit ARM Linux (armhf, a Raspberry Pi's 32-bit
# system) with Debian's g++-arm-linux-gnueabihf. Programs run under
# qemu-user (qemu-user-static).
set(CMAKE_SYSTEM_PROCESSOR arm)
set(FWSEND_CROSS_TRIPLE arm-linux-gnueabihf)
set(FWSEND_CROSS_QEMU qemu-arm-static)
# GCC notes on every std::vector of 64-bit numbers that GCC 7.1 changed
# how such arguments are passed: all of it is built by one compiler.
set(CMAKE_CXX_FLAGS_INIT -Wno-psabi)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
