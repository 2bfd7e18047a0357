#pragma once
// One fwsend child and the thread that reads it: its standard output and
// standard error become events of the queue as they come, and its end one
// more once both are read to their end.

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "gang/child_process.h"
#include "gang/event_queue.h"

namespace fwsend::gang {

class ChildRunner {
public:
    // Null, with the reason in *error, when the child could not be started.
    static std::unique_ptr<ChildRunner> Start(const std::string& program,
                                              const std::vector<std::string>& arguments, std::size_t slot,
                                              const std::shared_ptr<EventQueue>& events, std::string* error);
    ChildRunner(std::unique_ptr<ChildProcess> child, std::size_t slot, std::shared_ptr<EventQueue> events);
    // Kills a child still running, and waits for the thread.
    ~ChildRunner();
    ChildRunner(const ChildRunner&) = delete;
    ChildRunner& operator=(const ChildRunner&) = delete;

    void Interrupt() { child_->Interrupt(); }
    void Kill() { child_->Kill(); }

private:
    void ReadAll(std::size_t slot, const std::shared_ptr<EventQueue>& events);

    std::unique_ptr<ChildProcess> child_;
    std::atomic<bool> ended_{false};
    std::thread thread_;  // last: it starts once the members it uses are made
};

}  // namespace fwsend::gang
