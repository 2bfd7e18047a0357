# What the Linux cross builds share (linux-armhf.cmake, linux-aarch64.cmake,
# linux-i686.cmake set FWSEND_CROSS_TRIPLE, the GNU triple of Debian's cross
# compiler, and FWSEND_CROSS_QEMU, the qemu-user emulator that runs the
# programs, empty where this machine runs them itself).
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${FWSEND_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${FWSEND_CROSS_TRIPLE}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${FWSEND_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C library and the loader of the cross compiler, for qemu-user to find:
# QEMU_LD_PREFIX is passed on in the environment, so that the programs a
# test starts (fwsend, the simulated target), which binfmt_misc hands to
# qemu-user, find them too.
if(FWSEND_CROSS_QEMU)
  find_program(FWSEND_QEMU_PROGRAM ${FWSEND_CROSS_QEMU})
  if(FWSEND_QEMU_PROGRAM)
    set(CMAKE_CROSSCOMPILING_EMULATOR env QEMU_LD_PREFIX=/usr/${FWSEND_CROSS_TRIPLE} ${FWSEND_QEMU_PROGRAM})
  endif()
endif()
