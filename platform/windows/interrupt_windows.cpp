// Ctrl-C, Ctrl-Break and a closed console window set a flag that the upload
// looks at between its steps, and cancel the serial call the run is waiting
// in, so that a verdict wait of up to 8 s ends at once and the run goes
// through its failure end. The handler runs on a thread the system starts
// for each event.
//
// The cancel reaches a call that waits in the system (the COM port's reads
// and writes). A vendor DLL may wait in a way of its own; its call then runs
// to its timeout. An event that lands between two serial calls finds nothing
// to cancel: the next call may wait its full timeout before the run sees the
// flag.
//
// A parent that starts fwsend without a console (fwsend-gang does, so that
// the console's Ctrl-C reaches it alone) interrupts it through an event
// instead (platform/windows/interrupt_event.h), taken as a Ctrl-Break.

#include "platform/interrupt.h"

#include "platform/windows/interrupt_event.h"
#include "platform/windows/unique_handle.h"
#include "platform/windows/windows_api.h"

#include <atomic>

namespace fwsend {

namespace {

// Set by the handler, read by the run; the run's thread, noted so that the
// handler can cancel its waits.
std::atomic<bool> interruptArrived{false};
std::atomic<DWORD> runThreadId{0};

// Longest a blocking serial call can hold the run up (the verdict wait).
constexpr DWORD kLongestBlockingCallMs = 8000;

void CancelRunThreadWait() {
    const UniqueHandle run(OpenThread(THREAD_TERMINATE, FALSE, runThreadId.load()));
    if (run.Valid()) CancelSynchronousIo(run.Get());
}

BOOL WINAPI NoteInterrupt(DWORD event) {
    const bool again = interruptArrived.exchange(true);
    // A second Ctrl-C ends the process at once, with the status Windows'
    // own handler gives it. Ended here, not by that handler: wine's ends
    // the process with status 0, a success to whoever started it.
    if (again && (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT))
        TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    CancelRunThreadWait();
    // The process ends when this handler returns from these: give the run
    // the time to close the port first. Its own exit ends this thread sooner.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        Sleep(kLongestBlockingCallMs);
    return TRUE;
}

// As a first Ctrl-Break; never a second one, which would end the process.
VOID CALLBACK NoteParentInterrupt(PVOID, BOOLEAN) {
    if (!interruptArrived.exchange(true)) CancelRunThreadWait();
}

// The parent's interrupt event, watched by the system's thread pool for as
// long as the process runs; none when no parent made one.
class ParentInterruptWatch {
public:
    ParentInterruptWatch()
        : event_(OpenEventA(SYNCHRONIZE, FALSE, InterruptEventName(GetCurrentProcessId()).c_str())) {
        if (event_.Valid())
            RegisterWaitForSingleObject(&wait_, event_.Get(), NoteParentInterrupt, nullptr, INFINITE,
                                        WT_EXECUTEONLYONCE);
    }
    // Waits for a callback under way before the event goes.
    ~ParentInterruptWatch() {
        if (wait_) UnregisterWaitEx(wait_, INVALID_HANDLE_VALUE);
    }
    ParentInterruptWatch(const ParentInterruptWatch&) = delete;
    ParentInterruptWatch& operator=(const ParentInterruptWatch&) = delete;

private:
    UniqueHandle event_;
    HANDLE wait_ = nullptr;
};

}  // namespace

void CatchInterrupts() {
    runThreadId.store(GetCurrentThreadId());
    SetConsoleCtrlHandler(NoteInterrupt, TRUE);
    // Beside the flag, the one other piece of state the interrupt needs:
    // held until the process ends.
    static ParentInterruptWatch parentInterrupt;
}

bool InterruptRequested() { return interruptArrived.load(); }

}  // namespace fwsend
