// Windows: standard output is a terminal when it is a console that takes
// virtual-terminal sequences, turned on here (Windows 10 and later; an
// older console gets the plain lines).
#include "gang/terminal.h"
#include "platform/windows/windows_api.h"

namespace fwsend::gang {

bool StandardOutputIsTerminal() {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(output, &mode)) return false;
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           SetConsoleMode(output, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != FALSE;
}

TerminalSize StandardOutputSize() {
    TerminalSize size;
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return size;
    // The window onto the buffer, which is what the user sees.
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    const int rows = info.srWindow.Bottom - info.srWindow.Top + 1;
    if (columns > 0) size.columns = columns;
    if (rows > 0) size.rows = rows;
    return size;
}

}  // namespace fwsend::gang
