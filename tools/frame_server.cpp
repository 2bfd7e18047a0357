#include "tools/frame_server.h"

#include <algorithm>
#include <cerrno>
#include <ctime>

#include <poll.h>
#include <sys/ioctl.h>

#include "upload/upload.h"

namespace fwsend {

namespace {

constexpr std::uint8_t kReject = 0x13;
constexpr std::uint8_t kBabbleByte = 0x55;
constexpr std::int64_t kNsPerMs = 1000000;
constexpr std::int64_t kNsPerSecond = 1000000000;

std::int64_t NowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * kNsPerSecond + now.tv_nsec;
}

timespec ToTimespec(std::int64_t ns) {
    timespec t{};
    t.tv_sec = static_cast<time_t>(ns / kNsPerSecond);
    t.tv_nsec = static_cast<long>(ns % kNsPerSecond);
    return t;
}

}  // namespace

FrameServer::FrameServer(const SimOptions& options, PtyPair& pty, UniqueFd out,
                         const volatile std::sig_atomic_t& stopRequested, const sigset_t& waitMask)
    : options_(options), pty_(pty), out_(std::move(out)), stopRequested_(stopRequested), waitMask_(waitMask) {
    frame_.reserve(65537);
}

bool FrameServer::Run() {
    std::uint8_t buffer[4096];
    while (!stopRequested_ && !finished_ && !failed_) {
        pollfd link{pty_.Master(), POLLIN, 0};
        if (options_.babble) link.events |= POLLOUT;
        // Signals are only let through here and in sleeps, so a stop request
        // between the loop test and the wait is not lost.
        // A precise target never sleeps on the line, so a frame is seen the
        // moment the pty delivers it.
        static const timespec kNoWait{};
        if (ppoll(&link, 1, options_.precise ? &kNoWait : nullptr, &waitMask_) < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (link.revents & POLLIN) {
            const ssize_t n = ::read(pty_.Master(), buffer, sizeof buffer);
            if (n > 0) {
                stats_.receivedBytes += static_cast<std::uint64_t>(n);
                Feed(buffer, static_cast<std::size_t>(n), NowNs());
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                // EIO: no slave open. Cannot happen while we hold one, but never spin.
                PauseBriefly();
            }
        } else if (link.revents & (POLLHUP | POLLERR)) {
            PauseBriefly();
        }
        if (options_.babble && (link.revents & POLLOUT)) Babble();
    }
    return !failed_;
}

void FrameServer::Feed(const std::uint8_t* bytes, std::size_t count, std::int64_t arrivalNs) {
    for (std::size_t i = 0; i < count && !finished_ && !failed_; ++i) {
        if (frame_.empty()) {
            OnFrameStart(arrivalNs);
            if (finished_) return;
        }
        frame_.push_back(bytes[i]);
        if (frame_.size() == 2) frameSize_ = (std::size_t{frame_[0]} << 8 | frame_[1]) + 2;
        if (frame_.size() == frameSize_) {
            OnFrameComplete();
            frame_.clear();
            frameSize_ = 0;
        }
    }
}

void FrameServer::OnFrameStart(std::int64_t arrivalNs) {
    frameStartNs_ = arrivalNs;
    if (options_.hangUpAfter && stats_.acceptedFrames >= *options_.hangUpAfter) finished_ = true;
}

bool FrameServer::RejectsThisSend() const {
    if (sendsOfFrame_ >= options_.rejectSends) return false;
    return !options_.rejectFrame || *options_.rejectFrame == stats_.acceptedFrames;
}

std::int64_t FrameServer::VerdictDeadline() const {
    std::int64_t deadline = NowNs() + options_.delayMs * kNsPerMs;
    if (options_.paceBaud != 0) {
        // The frame and its verdict byte on the wire, from the frame's first byte.
        const std::int64_t bits = static_cast<std::int64_t>(frame_.size() + 1) * options_.bitsPerByte;
        deadline = std::max(deadline, frameStartNs_ + bits * kNsPerSecond / options_.paceBaud);
    }
    return deadline;
}

void FrameServer::OnFrameComplete() {
    // A babbling target's noise is all the answer it gives: every byte of it
    // rejects, none accepts, even if the line happens to pause.
    if (options_.silent || options_.babble) {
        ++stats_.unansweredFrames;
        return;
    }
    const bool reject = RejectsThisSend();
    ++sendsOfFrame_;
    const std::int64_t deadline = VerdictDeadline();
    if (options_.precise)
        SpinUntil(deadline);
    else
        SleepUntil(deadline);
    if (stopRequested_) return;

    // Record before answering: whatever the tool saw accepted is in the file,
    // even if we are killed right after the verdict.
    if (!reject && !AppendToOut(frame_)) {
        failed_ = true;
        return;
    }
    std::vector<std::uint8_t> answer(1 + options_.staleBytes, kReject);
    answer[0] = reject ? kReject : fwsend::FRAME_ACK;
    if (!WriteToMaster(answer.data(), answer.size())) {
        failed_ = true;
        return;
    }
    if (reject) {
        ++stats_.rejectedSends;
        return;
    }
    ++stats_.acceptedFrames;
    sendsOfFrame_ = 0;
    // --hang-up-after waits for the next frame (OnFrameStart), so the tool has
    // surely read this verdict and is left waiting for the next one.
    if (options_.exitAfter && stats_.acceptedFrames == *options_.exitAfter) {
        LingerUntilVerdictRead();
        finished_ = true;
    }
}

void FrameServer::SleepUntil(std::int64_t deadlineNs) {
    if (deadlineNs <= NowNs()) return;  // unpaced: answer at once, no system calls
    sigset_t blocked;
    pthread_sigmask(SIG_SETMASK, &waitMask_, &blocked);
    const timespec deadline = ToTimespec(deadlineNs);
    while (!stopRequested_ && clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {}
    pthread_sigmask(SIG_SETMASK, &blocked, nullptr);
}

void FrameServer::SpinUntil(std::int64_t deadlineNs) {
    if (deadlineNs <= NowNs()) return;  // unpaced: answer at once, no system calls
    // Stop signals get through while spinning, as while sleeping, so that
    // a long --delay does not hold up SIGTERM.
    sigset_t blocked;
    pthread_sigmask(SIG_SETMASK, &waitMask_, &blocked);
    while (!stopRequested_ && NowNs() < deadlineNs) {}
    pthread_sigmask(SIG_SETMASK, &blocked, nullptr);
}

bool FrameServer::WriteToMaster(const std::uint8_t* bytes, std::size_t count) {
    while (count > 0 && !stopRequested_) {
        const ssize_t n = ::write(pty_.Master(), bytes, count);
        if (n > 0) {
            bytes += n;
            count -= static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            // The tool's input queue is full; wait until it reads.
            pollfd link{pty_.Master(), POLLOUT, 0};
            const timespec tick = ToTimespec(100 * kNsPerMs);
            ppoll(&link, 1, &tick, &waitMask_);
        } else if (n < 0 && errno == EIO) {
            PauseBriefly();
        } else if (!(n < 0 && errno == EINTR)) {
            return false;
        }
    }
    return true;
}

bool FrameServer::AppendToOut(const std::vector<std::uint8_t>& bytes) {
    if (!out_.Valid()) return true;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(out_.Get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void FrameServer::LingerUntilVerdictRead() {
    // Closing the pty discards what the tool has not read yet. The verdict
    // reaches the tool's input queue a moment after our write, so wait until
    // that queue has held no more than the stale bytes for 20 ms in a row,
    // at most a second.
    const std::int64_t giveUp = NowNs() + 1000 * kNsPerMs;
    std::int64_t settledSince = NowNs();
    while (!stopRequested_ && NowNs() < giveUp) {
        int queued = 0;
        if (ioctl(pty_.Slave(), FIONREAD, &queued) != 0) return;
        if (queued > static_cast<int>(options_.staleBytes)) settledSince = NowNs();
        if (NowNs() - settledSince >= 20 * kNsPerMs) return;
        SleepUntil(NowNs() + kNsPerMs);
    }
}

void FrameServer::Babble() {
    std::uint8_t noise[4096];
    std::fill(std::begin(noise), std::end(noise), kBabbleByte);
    // EAGAIN just means the queue is full: poll tells us when to go on.
    (void)::write(pty_.Master(), noise, sizeof noise);
}

void FrameServer::PauseBriefly() { SleepUntil(NowNs() + 20 * kNsPerMs); }

}  // namespace fwsend
