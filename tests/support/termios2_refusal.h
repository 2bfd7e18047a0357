#pragma once
// The kernel interface of qemu-user, WSL1 and some sandboxes, which have no
// termios2: a seccomp filter makes this process's TCGETS2 and TCSETS2
// calls (and their W and F forms) fail with ENOTTY, as they fail there.

namespace fwsend {

// For the rest of this process's life (run it in a child). False where no
// filter can be set: qemu-user, for one, refuses them.
bool RefuseTermios2();

}  // namespace fwsend
