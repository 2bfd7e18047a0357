#pragma once
// The gang's boards, from wherever the command line names them: its own
// arguments, a slot file, or every free device the port finder lists.

#include <optional>
#include <string>
#include <vector>

#include "gang/board.h"
#include "gang/gang_options.h"
#include "ports/port_entry.h"

namespace fwsend::gang {

// Boards named on the command line are slots 1, 2, ...; those of --all are
// named by their device (ttyUSB0). Nothing, with the reason, when a board's
// options would be refused by fwsend or no board is left.
std::optional<std::vector<Board>> ListBoards(const GangOptions& options, std::string* error);

// The boards of --all among ports (their states found): every free one of
// the driver and USB ids asked for (empty: any), named by its -COM option,
// else by its description when fwsend opens it by that.
std::vector<Board> BoardsOfAllPorts(const std::vector<PortEntry>& ports, const std::string& driver,
                                    const std::string& usbIds);

}  // namespace fwsend::gang
