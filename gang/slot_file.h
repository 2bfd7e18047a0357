#pragma once
// A fixture's slots, one a line: a slot name, then the options that name
// that slot's device for fwsend, split as a shell splits them so that a line
// can be pasted from fwsend-ports' table:
//
//   # the left row
//   slot1  -COM/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0
//   slot2  -T1 -D"Dual RS232-HS B"
//
// Blank lines and lines that start with # are skipped.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gang/board.h"

namespace fwsend::gang {

// The boards of the text, in its order; nothing, with "<name>:<line>: what
// is wrong" in *error, for a line that is not one slot of one board.
std::optional<std::vector<Board>> ParseSlotText(std::string_view text, const std::string& name,
                                                std::string* error);

// The same for a file; also nothing when it cannot be read.
std::optional<std::vector<Board>> ReadSlotFile(const std::string& path, std::string* error);

}  // namespace fwsend::gang
