# Cross-building for 32-bit x86 Linux (i386) with Debian's g++-i686-linux-gnu.
# An x86-64 kernel runs the programs itself, through its 32-bit system-call
# layer, with the C library of libc6-i386; the C++ runtime is linked in,
# since that package has none.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(FWSEND_CROSS_TRIPLE i686-linux-gnu)
set(FWSEND_CROSS_QEMU "")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libstdc++ -static-libgcc")
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
