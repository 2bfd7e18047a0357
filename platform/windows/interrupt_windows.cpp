// Ctrl-C, Ctrl-Break and a closed console window set a flag that the upload
// looks at between its steps. The handler runs on a thread of its own.
#include "platform/interrupt.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>

namespace {

std::atomic<bool> interruptArrived{false};

// Longest a blocking serial call can hold the run up (the verdict wait).
constexpr DWORD kLongestBlockingCallMs = 8000;

BOOL WINAPI NoteInterrupt(DWORD event)
{
    bool const again = interruptArrived.exchange(true);
    if (again && (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT))
        return FALSE;  // a second Ctrl-C ends the process, as it would have
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // The process ends when this handler returns: give the run the time
        // to close the port first. Its own exit ends this thread earlier.
        Sleep(kLongestBlockingCallMs);
    }
    return TRUE;
}

} // namespace

void CatchInterrupts()
{
    SetConsoleCtrlHandler(NoteInterrupt, TRUE);
}

bool InterruptRequested()
{
    return interruptArrived.load();
}
