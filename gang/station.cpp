#include "gang/station.h"

#include <algorithm>
#include <thread>
#include <utility>

#include "gang/board_options.h"
#include "gang/device_lookup.h"
#include "gang/standard_input.h"
#include "platform/interrupt.h"

namespace fwsend::gang {

namespace {

using Clock = std::chrono::steady_clock;

// How often the loop looks at the interrupt flag when nothing else wakes
// it, and how often --repeat looks whether the slots' devices are there.
constexpr std::chrono::milliseconds kTurn{100};
constexpr std::chrono::milliseconds kDeviceLookInterval{500};
constexpr int kLooksBeforeStart = 2;

constexpr char kWaiting[] =
    "waiting: Enter starts the next round, a slot whose device goes away and comes back starts by itself, "
    "Ctrl-C ends";

}  // namespace

Station::Station(StationPlan plan, const ImageFacts& image, ReportFile* report, Display& display)
    : plan_(std::move(plan)),
      image_(image),
      report_(report),
      display_(display),
      slots_(plan_.boards.size()) {}

int Station::Run() {
    if (InterruptRequested()) return 1;
    std::vector<std::size_t> all(slots_.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    StartRound(all);
    if (plan_.repeat) StartInputReader();

    Clock::time_point nextLook = Clock::now() + kDeviceLookInterval;
    for (;;) {
        Clock::time_point wake = Clock::now() + kTurn;
        if (plan_.repeat && !interrupting_) wake = std::min(wake, nextLook);
        for (Event& event : events_->Take(wake)) Handle(event);

        const Clock::time_point now = Clock::now();
        if (InterruptRequested() && !interrupting_) {
            interrupting_ = true;
            for (Round& round : rounds_) round.summary.interrupted = true;
        }
        if (interrupting_) {
            for (Slot& slot : slots_) {
                if (!slot.run) continue;
                slot.run->Interrupt();
                slot.run->KillWhenOverdue(now);
            }
        } else if (plan_.repeat && now >= nextLook) {
            LookAtDevices();
            nextLook = now + kDeviceLookInterval;
        }
        display_.Refresh(Views(), Summary(), false);

        if (AnyRunning()) continue;
        if (interrupting_ || !plan_.repeat) break;
        if (inputEnded_ && !AnyAway()) break;
    }
    display_.Refresh(Views(), Summary(), true);
    return reportFailed_ ? 1 : status_;
}

void Station::StartRound(const std::vector<std::size_t>& slots) {
    // The first round takes the devices as found before it; a later one
    // looks again: a board plugged in since may be another device, with
    // another serial number.
    const std::vector<PortEntry> ports =
        roundsStarted_ == 0 ? std::vector<PortEntry>() : AttachedPorts(false);
    Round round;
    round.summary.round = ++roundsStarted_;
    round.summary.start = std::chrono::system_clock::now();
    round.summary.boards = static_cast<int>(slots.size());
    round.running = round.summary.boards;
    round.startClock = Clock::now();
    rounds_.push_back(round);
    display_.StationWaits("");

    for (const std::size_t i : slots) {
        const Board& board = plan_.boards[i];
        DeviceLocation location =
            round.summary.round == 1 ? plan_.locations[i] : LocateBoardDevice(board.device, ports);
        Slot& slot = slots_[i];
        // A device missing now is away already: its slot waits for it to come.
        slot.awaySinceStart = !location.present;
        if (!location.present) slot.presentLooks = 0;
        slot.run = std::make_unique<BoardRun>(round.summary.round, image_.frameSizes, std::move(location));
        display_.BoardStarted(i, View(i));
        if (!slot.run->Start(plan_.program, plan_.arguments[i], i, events_)) BoardEnded(i);
    }
}

void Station::Handle(Event& event) {
    switch (event.kind) {
    case Event::Kind::Output:
        slots_[event.slot].run->TakeOutput(event.bytes);
        display_.BoardMoved(event.slot, View(event.slot));
        break;
    case Event::Kind::Errors: slots_[event.slot].run->TakeErrors(event.bytes); break;
    case Event::Kind::Ended:
        slots_[event.slot].run->End(event.end);
        BoardEnded(event.slot);
        break;
    case Event::Kind::InputLine:
        display_.LineTyped();
        if (!interrupting_) StartWaitingSlots();
        break;
    case Event::Kind::InputEnd: inputEnded_ = true; break;
    }
}

void Station::BoardEnded(std::size_t index) {
    const BoardRun& run = *slots_[index].run;
    Record(BoardRecord(plan_.boards[index], run, image_));
    display_.BoardEnded(index, View(index));
    const auto round = std::find_if(rounds_.begin(), rounds_.end(),
                                    [&run](const Round& r) { return r.summary.round == run.Round(); });
    if (round == rounds_.end()) return;
    ++(run.Outcome().succeeded ? round->summary.done : round->summary.failed);
    if (--round->running > 0) return;
    const Round ended = *round;
    rounds_.erase(round);
    RoundEnded(ended);
}

void Station::RoundEnded(Round round) {
    round.summary.end = std::chrono::system_clock::now();
    round.summary.seconds = std::chrono::duration<double>(Clock::now() - round.startClock).count();
    Record(RoundRecord(round.summary, image_));
    display_.RoundEnded(round.summary);
    status_ = round.summary.failed == 0 && !round.summary.interrupted ? 0 : 1;
    if (plan_.repeat && !interrupting_ && rounds_.empty()) display_.StationWaits(kWaiting);
}

void Station::LookAtDevices() {
    const bool described = std::any_of(plan_.boards.begin(), plan_.boards.end(),
                                       [](const Board& board) { return !NamedByComPort(board.device); });
    const std::vector<PortEntry> ports = described ? AttachedPorts(false) : std::vector<PortEntry>();
    std::vector<std::size_t> returned;
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        Slot& slot = slots_[i];
        if (!DevicePresent(plan_.boards[i].device, ports)) {
            slot.awaySinceStart = true;
            slot.presentLooks = 0;
            continue;
        }
        ++slot.presentLooks;
        if (!Running(i) && slot.awaySinceStart && slot.presentLooks >= kLooksBeforeStart)
            returned.push_back(i);
    }
    if (!returned.empty()) StartRound(returned);
}

void Station::StartWaitingSlots() {
    std::vector<std::size_t> waiting;
    for (std::size_t i = 0; i < slots_.size(); ++i)
        if (!Running(i) && !slots_[i].awaySinceStart) waiting.push_back(i);
    if (!waiting.empty()) StartRound(waiting);
}

void Station::StartInputReader() {
    // Detached: a read of standard input cannot be called off, and the
    // queue it feeds is shared, so it may outlive the station.
    std::thread([events = events_] {
        for (;;) {
            const InputLine line = ReadInputLine();
            events->Push(
                {line == InputLine::Line ? Event::Kind::InputLine : Event::Kind::InputEnd, 0, {}, {}}, true);
            if (line == InputLine::End) return;
        }
    }).detach();
}

bool Station::Running(std::size_t index) const { return slots_[index].run && slots_[index].run->Running(); }

bool Station::AnyRunning() const {
    for (std::size_t i = 0; i < slots_.size(); ++i)
        if (Running(i)) return true;
    return false;
}

bool Station::AnyAway() const {
    return std::any_of(slots_.begin(), slots_.end(), [](const Slot& slot) { return slot.awaySinceStart; });
}

SlotView Station::View(std::size_t index) const {
    SlotView view;
    view.slot = plan_.boards[index].slot;
    view.device = OptionsText(plan_.boards[index].options);
    const BoardRun* run = slots_[index].run.get();
    if (!run) return view;
    view.state = !run->Ended()              ? SlotState::Running
                 : run->Outcome().succeeded ? SlotState::Done
                                            : SlotState::Failed;
    view.percent = run->Percent();
    view.count = run->Count();
    view.seconds = run->Seconds();
    view.message = run->Outcome().message;
    view.reason = run->Outcome().reason;
    return view;
}

std::vector<SlotView> Station::Views() const {
    std::vector<SlotView> views;
    for (std::size_t i = 0; i < slots_.size(); ++i) views.push_back(View(i));
    return views;
}

std::string Station::Summary() const {
    const std::string slots = SlotsSummary(Views());
    return plan_.repeat ? "round " + std::to_string(roundsStarted_) + ": " + slots : slots;
}

void Station::Record(const std::string& line) {
    if (!report_) return;
    std::string error;
    if (report_->AppendLine(line, &error)) return;
    reportFailed_ = true;
    display_.Notice("the report could not be written: " + error);
}

}  // namespace fwsend::gang
