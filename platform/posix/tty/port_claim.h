#pragma once
// How fwsend instances find each other before either opens a port, with no
// folder to write in: each holds an abstract Unix socket named after the
// device's number for as long as it holds the device. The kernel lets one
// process bind a name, and drops it when that process ends, so a claim is
// never stale. A second fwsend learns the holder's process id by
// connecting to it.

#include <sys/types.h>

#include "platform/posix/unique_fd.h"

namespace fwsend::posix {

class PortClaim {
public:
    enum class Outcome {
        Claimed,      // ours until this object goes
        HeldByOther,  // another process holds it: see Holder()
        Unavailable,  // no such sockets here: go on without
    };

    static PortClaim Take(dev_t device);

    Outcome Result() const { return outcome_; }
    // The holder's process id; 0 when it could not be learnt.
    long Holder() const { return holder_; }

private:
    Outcome outcome_ = Outcome::Unavailable;
    long holder_ = 0;
    UniqueFd socket_;  // bound and listening while Claimed
};

}  // namespace fwsend::posix
