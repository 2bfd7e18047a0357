# Cross-building for 64-bit ARM Linux (arm64) with Debian's
# g++-aarch64-linux-gnu. Programs run under qemu-user (qemu-user-static).
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(FWSEND_CROSS_TRIPLE aarch64-linux-gnu)
set(FWSEND_CROSS_QEMU qemu-aarch64-static)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
