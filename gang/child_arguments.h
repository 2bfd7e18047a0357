#pragma once
// The arguments of one board's fwsend: the board's options, then the image
// and the rate, so that a later -F wins over a description that holds "-F".

#include <optional>
#include <string>
#include <vector>

#include "gang/board.h"

namespace fwsend::gang {

// Checked with fwsend's own parser: nothing, with the reason, when fwsend
// would read them otherwise (an image path that holds "-D", "-T" or "-COM",
// which fwsend takes as options, or one longer than it takes).
std::optional<std::vector<std::string>> ChildArguments(const Board& board, const std::string& imagePath,
                                                       const std::string& baudOption, std::string* error);

}  // namespace fwsend::gang
