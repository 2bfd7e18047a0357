// SIGINT, SIGTERM and SIGHUP set a flag; SIGPIPE is ignored, so a write to a
// closed console pipe fails quietly instead of killing the upload. The
// handlers do not restart interrupted calls, so a wait in progress wakes up
// and sees the flag at once.
#include "platform/interrupt.h"

#include <csignal>

namespace fwsend {

namespace {

volatile std::sig_atomic_t interruptArrived = 0;

// C linkage, as the system calls it; static, so that it stays this unit's own.
extern "C" {
static void NoteInterrupt(int) { interruptArrived = 1; }
}

void CatchSignal(int number) {
    struct sigaction action {};
    action.sa_handler = NoteInterrupt;
    sigemptyset(&action.sa_mask);
    // Once caught, the signal's default action is back: a second Ctrl-C
    // still ends a run that is stuck where no wait can notice the first.
    action.sa_flags = SA_RESETHAND;
    ::sigaction(number, &action, nullptr);
}

}  // namespace

void CatchInterrupts() {
    CatchSignal(SIGINT);
    CatchSignal(SIGTERM);
    CatchSignal(SIGHUP);
    std::signal(SIGPIPE, SIG_IGN);
}

bool InterruptRequested() { return interruptArrived != 0; }

}  // namespace fwsend
