#include "gang/child_runner.h"

#include <utility>

namespace fwsend::gang {

namespace {

using ReadFunction = long (ChildProcess::*)(char*, unsigned long);

void ReadStream(ChildProcess& child, ReadFunction read, Event::Kind kind, std::size_t slot,
                EventQueue& events) {
    char buffer[4096];
    for (long n; (n = (child.*read)(buffer, sizeof buffer)) > 0;)
        events.Push({kind, slot, std::string(buffer, static_cast<std::size_t>(n)), {}}, false);
}

}  // namespace

std::unique_ptr<ChildRunner> ChildRunner::Start(const std::string& program,
                                                const std::vector<std::string>& arguments, std::size_t slot,
                                                const std::shared_ptr<EventQueue>& events,
                                                std::string* error) {
    std::unique_ptr<ChildProcess> child = ChildProcess::Start(program, arguments, error);
    if (!child) return nullptr;
    return std::make_unique<ChildRunner>(std::move(child), slot, events);
}

ChildRunner::ChildRunner(std::unique_ptr<ChildProcess> child, std::size_t slot,
                         std::shared_ptr<EventQueue> events)
    : child_(std::move(child)),
      thread_([this, slot, events = std::move(events)] { ReadAll(slot, events); }) {}

void ChildRunner::ReadAll(std::size_t slot, const std::shared_ptr<EventQueue>& events) {
    std::thread errors(ReadStream, std::ref(*child_), &ChildProcess::ReadErrors, Event::Kind::Errors, slot,
                       std::ref(*events));
    ReadStream(*child_, &ChildProcess::ReadOutput, Event::Kind::Output, slot, *events);
    errors.join();
    Event end{Event::Kind::Ended, slot, {}, child_->Wait()};
    ended_ = true;
    events->Push(std::move(end), true);
}

ChildRunner::~ChildRunner() {
    // Only on the way out of a gang that could not wait for its children.
    if (!ended_) child_->Kill();
    thread_.join();
}

}  // namespace fwsend::gang
