// Windows: ReadFile on the standard input handle. A console hands over a
// typed line when Enter ends it, as "\r\n".
#include "gang/standard_input.h"
#include "platform/windows/windows_api.h"

namespace fwsend::gang {

InputLine ReadInputLine() {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) return InputLine::End;
    for (;;) {
        char c = 0;
        DWORD got = 0;
        if (!ReadFile(input, &c, 1, &got, nullptr)) {
            // Ctrl-C in the console ends the read in progress, not the input;
            // the interrupt itself takes its own way.
            if (GetLastError() == ERROR_OPERATION_ABORTED) continue;
            return InputLine::End;
        }
        if (got == 0) return InputLine::End;
        if (c == '\n') return InputLine::Line;
    }
}

}  // namespace fwsend::gang
