#pragma once
// What the gang's threads tell its main loop: a reader thread per child
// pipe, a waiter per child, and the reader of standard input each push
// events, and the main loop alone acts on them. Portable threads only.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>

#include "gang/child_process.h"

namespace fwsend::gang {

struct Event {
    enum class Kind {
        Output,     // bytes of a child's standard output
        Errors,     // bytes of a child's standard error
        Ended,      // a child ended, both its pipes read to their end
        InputLine,  // Enter on standard input
        InputEnd,   // standard input ended
    };
    Kind kind = Kind::Output;
    std::size_t slot = 0;
    std::string bytes;
    ChildEnd end;
};

class EventQueue {
public:
    // urgent: wake the main loop now; otherwise it takes the event on its
    // next turn (within a tenth of a second), so that a child's every
    // progress redraw does not cost a wake-up of its own.
    void Push(Event event, bool urgent);
    // Waits until an urgent event or the deadline, then hands out every
    // event queued.
    std::deque<Event> Take(std::chrono::steady_clock::time_point deadline);

private:
    std::mutex mutex_;
    std::condition_variable urgent_;
    std::deque<Event> events_;
    bool urgentQueued_ = false;
};

}  // namespace fwsend::gang
