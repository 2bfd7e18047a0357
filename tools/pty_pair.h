#pragma once
// A pseudo-terminal pair: we hold the master; the slave, named by its path,
// is the serial port of whoever talks to us (the tool, or a test's port).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/posix/unique_fd.h"

namespace fwsend {

class PtyPair {
public:
    // Opens a master, blocking and close-on-exec; IsOpen() tells whether it
    // worked and Error() why not. The slave is left for others to open.
    PtyPair();

    bool IsOpen() const { return master_.Valid(); }
    const std::string& Error() const { return error_; }
    int Master() const { return master_.Get(); }
    // The slave we hold (HoldSlave), -1 when we hold none.
    int Slave() const { return slave_.Get(); }
    const std::string& SlavePath() const { return slavePath_; }

    // Opens the slave as well and keeps it open, so that the master never
    // sees a hang-up while the port's user closes and reopens the slave; both
    // sides raw, the master non-blocking. False with Error() set.
    bool HoldSlave();
    // Writes every byte to the master side (what the port will receive).
    bool Send(const std::vector<std::uint8_t>& bytes);
    // Reads from the master side (what the port sent) until count bytes
    // arrived or the timeout passed.
    std::vector<std::uint8_t> Receive(std::size_t count, std::chrono::milliseconds timeout);
    // Closes both sides: the port's user sees a hang-up.
    void Close();

private:
    bool Fail(const char* step);

    UniqueFd master_;
    UniqueFd slave_;
    std::string slavePath_;
    std::string error_;
};

}  // namespace fwsend
