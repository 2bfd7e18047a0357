#pragma once
// Lines typed on standard input: with --repeat, Enter starts the next
// round. POSIX: read(2) on descriptor 0; Windows: ReadFile on the input
// handle.

namespace fwsend::gang {

enum class InputLine {
    Line,  // a line ended (Enter)
    End,   // standard input ended or failed: no line will come
};

// Blocks until the next line end or the end of the input; run on a thread of
// its own.
InputLine ReadInputLine();

}  // namespace fwsend::gang
