#pragma once
// Whether the gang's standard output is a terminal it may draw on, and how
// wide that is. POSIX: isatty and TIOCGWINSZ; Windows: the console, with
// its virtual-terminal sequences turned on.

namespace fwsend::gang {

// True when standard output is a terminal that takes the cursor movements
// of the in-place display.
bool StandardOutputIsTerminal();

struct TerminalSize {
    int columns = 80;
    int rows = 24;
};

// Its size; 80 by 24 when it does not say.
TerminalSize StandardOutputSize();

}  // namespace fwsend::gang
