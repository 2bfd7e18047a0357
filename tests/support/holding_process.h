#pragma once
// A `sleep` that holds a file open, as a terminal program (screen, cat, a
// getty) holds a port without any lock. Killed and reaped when destroyed.

#include <string>

#include <sys/types.h>

namespace fwsend {

class HoldingProcess {
public:
    // The file is open on descriptors 0 to descriptors - 1 once this
    // returns; Pid() is -1 when that did not happen within seconds.
    explicit HoldingProcess(const std::string& path, int descriptors = 1);
    ~HoldingProcess();
    HoldingProcess(const HoldingProcess&) = delete;
    HoldingProcess& operator=(const HoldingProcess&) = delete;

    long Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

}  // namespace fwsend
