#pragma once
// Serves frames on the pty master the way the target's boot loader does:
// reads a 2-byte big-endian payload length and the payload, answers one
// verdict byte (0x11 accepts), and records every accepted frame.

#include <csignal>
#include <cstdint>
#include <vector>

#include "tools/pty_pair.h"
#include "tools/sim_options.h"

namespace fwsend {

struct ServeStats {
    std::uint64_t acceptedFrames = 0;
    std::uint64_t rejectedSends = 0;
    std::uint64_t unansweredFrames = 0;
    std::uint64_t receivedBytes = 0;
};

class FrameServer {
public:
    // stopRequested is set by the signal handler; waitMask is the signal mask
    // under which the server may be interrupted (the signals are blocked otherwise).
    FrameServer(const SimOptions& options, PtyPair& pty, UniqueFd out,
                const volatile std::sig_atomic_t& stopRequested, const sigset_t& waitMask);

    // Serves until a stop signal, a hang-up or --exit-after; false on an I/O error.
    bool Run();
    const ServeStats& Stats() const { return stats_; }

private:
    void Feed(const std::uint8_t* bytes, std::size_t count, std::int64_t arrivalNs);
    void OnFrameStart(std::int64_t arrivalNs);
    void OnFrameComplete();
    bool RejectsThisSend() const;
    std::int64_t VerdictDeadline() const;
    void SleepUntil(std::int64_t deadlineNs);
    void SpinUntil(std::int64_t deadlineNs);
    bool WriteToMaster(const std::uint8_t* bytes, std::size_t count);
    bool AppendToOut(const std::vector<std::uint8_t>& bytes);
    void LingerUntilVerdictRead();
    void Babble();
    void PauseBriefly();

    const SimOptions& options_;
    PtyPair& pty_;
    UniqueFd out_;
    const volatile std::sig_atomic_t& stopRequested_;
    const sigset_t& waitMask_;

    std::vector<std::uint8_t> frame_;
    std::size_t frameSize_ = 0;  // 0 until both length bytes are in
    std::int64_t frameStartNs_ = 0;
    std::uint32_t sendsOfFrame_ = 0;  // sends of the current frame so far
    bool finished_ = false;
    bool failed_ = false;
    ServeStats stats_;
};

}  // namespace fwsend
