#include <sys/ioctl.h>
#include <unistd.h>

#include "gang/terminal.h"

namespace fwsend::gang {

bool StandardOutputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

TerminalSize StandardOutputSize() {
    TerminalSize size;
    winsize window{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &window) != 0) return size;
    if (window.ws_col > 0) size.columns = window.ws_col;
    if (window.ws_row > 0) size.rows = window.ws_row;
    return size;
}

}  // namespace fwsend::gang
