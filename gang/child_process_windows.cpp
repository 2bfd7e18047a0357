// A fwsend child on Windows, started by CreateProcess. It gets no console:
// the console's Ctrl-C, Ctrl-Break and close reach the gang alone, whatever
// kind of event it is, and the gang passes exactly one interrupt on through
// the event fwsend watches (platform/windows/interrupt_event.h). That also
// works where the gang itself has no console (a service, a detached start,
// wine without a terminal), where GenerateConsoleCtrlEvent cannot reach a
// child, and under wine, which does not deliver Ctrl-Break events at all.
//
// The child inherits its three standard handles and nothing else: they are
// named in a handle list, so that another child started at the same time
// from another thread never inherits this one's pipe ends, which would keep
// them open until it ended.
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gang/child_process.h"
#include "gang/windows_command_line.h"
#include "platform/open_failure.h"
#include "platform/windows/interrupt_event.h"
#include "platform/windows/unique_handle.h"
#include "platform/windows/windows_api.h"

namespace fwsend::gang {

namespace {

// The exit code of a child that Kill() ended, and the end the gang is told
// of, the same as on POSIX.
constexpr UINT kKilledExitCode = 128 + 9;
constexpr int kKillSignal = 9;
// fwsend's -1 as Windows keeps it, and as a POSIX parent sees it.
constexpr DWORD kMinusOne = 0xFFFFFFFFu;
constexpr int kMinusOneStatus = 255;
// Exit codes from here up are NTSTATUS errors: a crash, not an exit.
constexpr DWORD kFirstErrorStatus = 0xC0000000u;

long ReadPipe(HANDLE pipe, char* buffer, unsigned long size) {
    if (size == 0) return -1;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(pipe, buffer, size, &got, nullptr)) return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
        // A zero-length write reads as zero bytes; the end is a broken pipe.
        if (got > 0) return static_cast<long>(got);
    }
}

class WindowsChild : public ChildProcess {
public:
    WindowsChild(UniqueHandle process, UniqueHandle output, UniqueHandle errors, UniqueHandle interrupt)
        : process_(std::move(process)),
          output_(std::move(output)),
          errors_(std::move(errors)),
          interrupt_(std::move(interrupt)) {}

    // Never left running behind the gang.
    ~WindowsChild() override {
        if (waited_) return;
        TerminateProcess(process_.Get(), kKilledExitCode);
        WaitForSingleObject(process_.Get(), INFINITE);
    }

    long ReadOutput(char* buffer, unsigned long size) override {
        return ReadPipe(output_.Get(), buffer, size);
    }
    long ReadErrors(char* buffer, unsigned long size) override {
        return ReadPipe(errors_.Get(), buffer, size);
    }

    // The event stays set: however often this is called, fwsend sees one.
    void Interrupt() override { SetEvent(interrupt_.Get()); }

    void Kill() override {
        if (TerminateProcess(process_.Get(), kKilledExitCode)) killed_ = true;
    }

    ChildEnd Wait() override {
        WaitForSingleObject(process_.Get(), INFINITE);
        waited_ = true;
        DWORD code = 0;
        GetExitCodeProcess(process_.Get(), &code);
        ChildEnd end;
        if (killed_ && code == kKilledExitCode) {
            end.signal = kKillSignal;
        } else if (code == kMinusOne) {
            end.exited = true;
            end.status = kMinusOneStatus;
        } else {
            end.exited = code < kFirstErrorStatus;
            end.status = static_cast<int>(code);
        }
        return end;
    }

private:
    UniqueHandle process_;
    UniqueHandle output_;
    UniqueHandle errors_;
    UniqueHandle interrupt_;
    std::atomic<bool> killed_{false};
    bool waited_ = false;
};

// An anonymous pipe whose write end alone may be inherited.
bool MakeOutputPipe(UniqueHandle& readEnd, UniqueHandle& writeEnd) {
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, nullptr, 0)) return false;
    readEnd.Reset(read);
    writeEnd.Reset(write);
    return SetHandleInformation(write, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT) != FALSE;
}

UniqueHandle OpenInheritableNul() {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    return UniqueHandle(CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                    OPEN_EXISTING, 0, nullptr));
}

// The attribute list that limits inheritance to the child's three handles,
// which must outlive the CreateProcess call, as the list points at them.
class InheritedHandles {
public:
    InheritedHandles(HANDLE input, HANDLE output, HANDLE errors) : handles_{input, output, errors} {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        // In words, for the pointers the list holds.
        storage_.resize((size + sizeof(std::uintptr_t) - 1) / sizeof(std::uintptr_t));
        list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
        if (!InitializeProcThreadAttributeList(list_, 1, 0, &size)) {
            list_ = nullptr;
            return;
        }
        if (!UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_, sizeof handles_,
                                       nullptr, nullptr)) {
            DeleteProcThreadAttributeList(list_);
            list_ = nullptr;
        }
    }
    ~InheritedHandles() {
        if (list_) DeleteProcThreadAttributeList(list_);
    }
    InheritedHandles(const InheritedHandles&) = delete;
    InheritedHandles& operator=(const InheritedHandles&) = delete;

    LPPROC_THREAD_ATTRIBUTE_LIST List() const { return list_; }

private:
    HANDLE handles_[3];
    std::vector<std::uintptr_t> storage_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

// Null, with the reason in *error: what failed, and the system's reason for
// it (read first, before another call replaces it).
std::unique_ptr<ChildProcess> Refused(std::string* error, const std::string& program, const char* what) {
    const std::string reason = DescribeOpenFailure();
    if (error) *error = program + ": " + what + (reason.empty() ? "" : ": " + reason);
    return nullptr;
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::string& program,
                                                  const std::vector<std::string>& arguments,
                                                  std::string* error) {
    std::optional<std::string> commandLine = WindowsCommandLine(program, arguments);
    if (!commandLine) {
        SetLastError(0);
        return Refused(
            error, program,
            "cannot be given a command line: a quote in its path, or a NUL character in an argument");
    }
    UniqueHandle outputRead, outputWrite, errorsRead, errorsWrite;
    if (!MakeOutputPipe(outputRead, outputWrite) || !MakeOutputPipe(errorsRead, errorsWrite))
        return Refused(error, program, "no pipe");
    const UniqueHandle input = OpenInheritableNul();
    if (!input.Valid()) return Refused(error, program, "no null device");
    const InheritedHandles inherited(input.Get(), outputWrite.Get(), errorsWrite.Get());
    if (!inherited.List()) return Refused(error, program, "no handle list");

    STARTUPINFOEXA startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = input.Get();
    startup.StartupInfo.hStdOutput = outputWrite.Get();
    startup.StartupInfo.hStdError = errorsWrite.Get();
    startup.lpAttributeList = inherited.List();

    // Suspended until its interrupt event exists, so that fwsend finds it.
    const DWORD flags =
        EXTENDED_STARTUPINFO_PRESENT | DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP | CREATE_SUSPENDED;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(program.c_str(), &(*commandLine)[0], nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                        &startup.StartupInfo, &started))
        return Refused(error, program, "cannot start");
    UniqueHandle process(started.hProcess);
    const UniqueHandle thread(started.hThread);
    UniqueHandle interrupt(
        CreateEventA(nullptr, TRUE, FALSE, InterruptEventName(started.dwProcessId).c_str()));
    if (!interrupt.Valid() || ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) {
        auto refused = Refused(error, program, interrupt.Valid() ? "cannot resume" : "no interrupt event");
        TerminateProcess(process.Get(), kKilledExitCode);
        WaitForSingleObject(process.Get(), INFINITE);
        return refused;
    }
    return std::make_unique<WindowsChild>(std::move(process), std::move(outputRead), std::move(errorsRead),
                                          std::move(interrupt));
}

}  // namespace fwsend::gang
