#pragma once
// A pseudo-terminal whose slave side stays open for the target's whole life,
// so the master never sees a hang-up while the tool closes and reopens the slave.

#include <string>

#include "unique_fd.h"

struct PtyPair {
    UniqueFd master;     // non-blocking, raw
    UniqueFd slave;      // held open, never read
    std::string slavePath;
};

// Opens a pty master, puts both sides in raw mode; false with errno-style text on failure.
bool OpenPtyPair(PtyPair& pty, std::string& error);
