#include "platform/open_failure.h"

#include <utility>

namespace fwsend {

namespace {

// Per thread, as errno is: an open on one thread never explains another's.
std::string& lastOpenFailure()
{
    thread_local std::string reason;
    return reason;
}

} // namespace

void clearOpenFailure()
{
    lastOpenFailure().clear();
}

void noteOpenFailure(std::string reason)
{
    lastOpenFailure() = std::move(reason);
}

std::string DescribeOpenFailure()
{
    return lastOpenFailure();
}

}  // namespace fwsend
