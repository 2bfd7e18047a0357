#include <cerrno>

#include <unistd.h>

#include "gang/standard_input.h"

namespace fwsend::gang {

InputLine ReadInputLine() {
    for (;;) {
        char c = 0;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return InputLine::End;
        if (c == '\n') return InputLine::Line;
    }
}

}  // namespace fwsend::gang
