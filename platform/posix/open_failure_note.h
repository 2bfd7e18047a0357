#pragma once
// Where the POSIX layers leave the reason for a failed open (see
// platform/open_failure.h). Each open starts by clearing it.

#include <string>

void clearOpenFailure();
void noteOpenFailure(std::string reason);
