#include "gang/board_run.h"

#include <utility>

#include "gang/child_end.h"

namespace fwsend::gang {

namespace {

constexpr char kSuccessLine[] = "Target updated successfully.";

void AddReason(std::string& reason, const std::string& more) {
    reason += (reason.empty() ? "" : "; ") + more;
}

}  // namespace

BoardRun::BoardRun(int round, const std::vector<std::int32_t>& frameSizes, DeviceLocation location)
    : round_(round),
      frameCount_(static_cast<int>(frameSizes.size())),
      location_(std::move(location)),
      tally_(frameSizes) {}

bool BoardRun::Start(const std::string& program, const std::vector<std::string>& arguments, std::size_t slot,
                     const std::shared_ptr<EventQueue>& events) {
    startTime_ = std::chrono::system_clock::now();
    startClock_ = Clock::now();
    std::string error;
    runner_ = ChildRunner::Start(program, arguments, slot, events, &error);
    if (runner_) return true;
    ended_ = true;
    endTime_ = startTime_;
    endClock_ = startClock_;
    outcome_.reason = "fwsend could not be started: " + error;
    return false;
}

void BoardRun::TakeOutput(std::string_view bytes) {
    std::vector<ChildOutput::Redraw> redraws;
    output_.TakeOutput(bytes, redraws);
    for (const ChildOutput::Redraw& redraw : redraws) {
        tally_.Redraw(redraw.percent);
        percent_ = redraw.percent;
    }
}

void BoardRun::TakeErrors(std::string_view bytes) { output_.TakeErrors(bytes); }

void BoardRun::End(const ChildEnd& end) {
    std::vector<ChildOutput::Redraw> redraws;
    output_.Finish(redraws);
    for (const ChildOutput::Redraw& redraw : redraws) {
        tally_.Redraw(redraw.percent);
        percent_ = redraw.percent;
    }
    ended_ = true;
    endTime_ = std::chrono::system_clock::now();
    endClock_ = Clock::now();

    outcome_.message = output_.Message();
    outcome_.reason = output_.Reason();
    if (end.exited) {
        outcome_.exitStatus = end.status;
    } else {
        outcome_.signal = end.signal;
        if (killed_)
            AddReason(outcome_.reason, "did not end within " + std::to_string(kInterruptGrace.count()) +
                                           " s of its interrupt, killed");
        AddReason(outcome_.reason, DescribeSignalEnd(end));
    }
    // Success is fwsend's status 0 with its own word for it and the progress
    // line drawn to its end: anything less is no updated board.
    outcome_.succeeded =
        end.exited && end.status == 0 && output_.Completed() && outcome_.message == kSuccessLine;
    if (outcome_.succeeded) percent_ = 100;
    if (end.exited && end.status == 0 && !outcome_.succeeded)
        AddReason(outcome_.reason, "fwsend ended with status 0 but did not report the target updated");
}

void BoardRun::Interrupt() {
    if (!Running() || interruptedAt_) return;
    interruptedAt_ = Clock::now();
    runner_->Interrupt();
}

void BoardRun::KillWhenOverdue(Clock::time_point now) {
    if (!Running() || !interruptedAt_ || killed_ || now - *interruptedAt_ < kInterruptGrace) return;
    killed_ = true;
    runner_->Kill();
}

SendCount BoardRun::Count() const {
    std::optional<int> framesSent;
    if (outcome_.succeeded) framesSent = frameCount_;
    if (const auto frame = output_.FailedFrame()) framesSent = *frame + 1;
    return tally_.Count(framesSent);
}

double BoardRun::Seconds() const {
    const Clock::time_point end = ended_ ? endClock_ : Clock::now();
    return std::chrono::duration<double>(end - startClock_).count();
}

}  // namespace fwsend::gang
