#pragma once
// One fwsend child of the gang: started with its standard output and
// standard error on pipes of their own and its standard input on the null
// device, in a process group of its own, so that the terminal's Ctrl-C
// reaches the gang alone and the gang passes exactly one interrupt on.
// POSIX: fork/exec; Windows: CreateProcess. Reading, interrupting and
// waiting may happen on different threads.

#include <memory>
#include <string>
#include <vector>

namespace fwsend::gang {

// How a child ended.
struct ChildEnd {
    bool exited = false;  // ended by exit(): status holds its code
    int status = 0;       // the exit code as a parent sees it (0..255 on POSIX)
    int signal = 0;       // not exited: the signal that ended it (POSIX)
};

class ChildProcess {
public:
    // Starts program with arguments (argv[0] not included). Null on failure,
    // with the reason in *error.
    static std::unique_ptr<ChildProcess> Start(const std::string& program,
                                               const std::vector<std::string>& arguments, std::string* error);
    virtual ~ChildProcess() = default;

    // Blocking reads of the child's standard output / standard error: the
    // number of bytes read, 0 once the child closed it, -1 on failure.
    virtual long ReadOutput(char* buffer, unsigned long size) = 0;
    virtual long ReadErrors(char* buffer, unsigned long size) = 0;

    // The interrupt fwsend ends on with "Failed: Interrupted." (SIGINT; on
    // Windows CTRL_BREAK_EVENT to the child's group).
    virtual void Interrupt() = 0;
    // Ends it at once.
    virtual void Kill() = 0;
    // Waits for its end and reaps it; called once.
    virtual ChildEnd Wait() = 0;
};

}  // namespace fwsend::gang
