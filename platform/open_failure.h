#pragma once
// Why the last open of a port or converter failed, in a user's words: the
// device and the system's reason, the process holding it, the rate the
// driver kept, the descriptions that were found. The serial API and the two
// vendor libraries answer an open with a handle or nothing; like the
// system's own last-error record, this keeps the reason for the one thread
// that asked. Empty when no reason is known.

#include <string>

namespace fwsend {

std::string DescribeOpenFailure();

#ifndef _WIN32
// Where the POSIX layers leave that reason. Each open starts by clearing it.
void ClearOpenFailure();
void NoteOpenFailure(std::string reason);
#endif

}  // namespace fwsend
