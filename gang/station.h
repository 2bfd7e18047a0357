#pragma once
// The gang's main loop: starts a fwsend per board, follows each, records
// each board as it ends and each round as its last board ends, passes an
// interrupt on to every child and waits for them all.
//
// A round is the boards started together: all of them at first; with
// --repeat, afterwards, on Enter every slot that is not running and whose
// device stayed, and, by itself, each slot whose device went away and has
// come back (seen on two looks in a row, half a second apart, so that the
// system has made its links and set its rights). Rounds are numbered from
// 1 in the order they start.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "gang/board.h"
#include "gang/board_run.h"
#include "gang/display.h"
#include "gang/event_queue.h"
#include "gang/image_facts.h"
#include "gang/report.h"
#include "gang/report_file.h"

namespace fwsend::gang {

struct StationPlan {
    std::string program;  // the fwsend to run
    std::vector<Board> boards;
    std::vector<std::vector<std::string>> arguments;  // fwsend's, per board
    std::vector<DeviceLocation> locations;            // per board, as found before the start
    bool repeat = false;
};

class Station {
public:
    Station(StationPlan plan, const ImageFacts& image, ReportFile* report, Display& display);

    // The exit status: 0 when every board of the last round to end was
    // updated, else 1 (also when a round was interrupted, or the report
    // could not be written).
    int Run();

private:
    struct Round {
        RoundSummary summary;
        std::chrono::steady_clock::time_point startClock;
        int running = 0;
    };
    struct Slot {
        std::unique_ptr<BoardRun> run;  // the last board, or the one running
        bool awaySinceStart = false;    // its device was seen gone since that board started
        int presentLooks = 0;           // looks in a row that found its device
    };

    void StartRound(const std::vector<std::size_t>& slots);
    void Handle(Event& event);
    void BoardEnded(std::size_t index);
    void RoundEnded(Round round);
    void LookAtDevices();
    void StartWaitingSlots();
    void StartInputReader();
    bool Running(std::size_t index) const;
    bool AnyRunning() const;
    bool AnyAway() const;
    SlotView View(std::size_t index) const;
    std::vector<SlotView> Views() const;
    std::string Summary() const;
    void Record(const std::string& line);

    StationPlan plan_;
    const ImageFacts& image_;
    ReportFile* report_;
    Display& display_;
    std::shared_ptr<EventQueue> events_ = std::make_shared<EventQueue>();
    std::vector<Slot> slots_;
    std::vector<Round> rounds_;  // those still running
    int roundsStarted_ = 0;
    int status_ = 1;
    bool interrupting_ = false;
    bool inputEnded_ = false;
    bool reportFailed_ = false;
};

}  // namespace fwsend::gang
