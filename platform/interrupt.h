#pragma once
namespace fwsend {

// Ctrl-C, a termination request or a closed terminal during a run: instead of
// dying mid-line, the run notices, stops waiting on the link, and ends
// through its normal failure path, so that the port is closed and released.
// Losing the console (a closed pipe on standard output) never stops a run.
//
// A signal (or, on Windows, a console control event) can only reach a
// single-threaded program through process-wide state; this flag is the one
// such piece of state, set by the handler and read everywhere else.

// Installs the handlers; called once, at the start of a run. A second
// interrupt of the same kind ends the process at once, as it would have
// without this.
void CatchInterrupts();

// True once an interrupt has arrived.
bool InterruptRequested();

}  // namespace fwsend
