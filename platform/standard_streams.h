#pragma once
namespace fwsend {

// A program started with standard input, output or error closed (by a
// daemon, or `<&- >&-`) would hand those numbers to the next files it
// opens: the port would become standard output, and every message would
// go to the target. Called first thing, this opens the null device on
// whichever of the three is closed. Nothing to do on Windows.
void KeepStandardStreamsOpen();

}  // namespace fwsend
