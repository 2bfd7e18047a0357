#include "platform/open_failure.h"

#include <utility>

namespace fwsend {

namespace {

// Per thread, as errno is: an open on one thread never explains another's.
std::string& LastOpenFailure() {
    thread_local std::string reason;
    return reason;
}

}  // namespace

void ClearOpenFailure() { LastOpenFailure().clear(); }

void NoteOpenFailure(std::string reason) { LastOpenFailure() = std::move(reason); }

std::string DescribeOpenFailure() { return LastOpenFailure(); }

}  // namespace fwsend
