#include "gang/event_queue.h"

#include <utility>

namespace fwsend::gang {

void EventQueue::Push(Event event, bool urgent) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(std::move(event));
        urgentQueued_ = urgentQueued_ || urgent;
    }
    if (urgent) urgent_.notify_one();
}

std::deque<Event> EventQueue::Take(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    urgent_.wait_until(lock, deadline, [this] { return urgentQueued_; });
    urgentQueued_ = false;
    return std::exchange(events_, {});
}

}  // namespace fwsend::gang
