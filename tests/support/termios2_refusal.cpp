#include "tests/support/termios2_refusal.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace fwsend {

namespace {

// The low half of ioctl's request argument.
constexpr std::uint32_t kRequestOffset =
    offsetof(seccomp_data, args) + sizeof(std::uint64_t) + (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? 4 : 0);

}  // namespace

bool RefuseTermios2() {
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_ioctl, 0, 5),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, kRequestOffset),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, TCGETS2, 4, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, TCSETS2, 3, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, TCSETSW2, 2, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, TCSETSF2, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOTTY),
    };
    const sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program, 0, 0) == 0;
}

}  // namespace fwsend
