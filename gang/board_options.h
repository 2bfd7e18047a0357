#pragma once
// A board's options, read with fwsend's own parser so that they mean to the
// gang exactly what they mean to fwsend.

#include <optional>
#include <string>
#include <vector>

#include "gang/board.h"

namespace fwsend::gang {

// Splits option words into boards: a board starts at each -COM... or -T...
// word, and a -D... word belongs to the -T board before it. Nothing, with
// the reason, for a word that belongs to no board.
std::optional<std::vector<std::vector<std::string>>> SplitBoards(const std::vector<std::string>& words,
                                                                 std::string* error);

// What fwsend makes of the options; nothing, with the reason, when fwsend
// would refuse them with its usage text (-T1 without -D) or a value is
// longer than it takes.
std::optional<BoardDevice> ReadBoardOptions(const std::vector<std::string>& options, std::string* error);

// The options as a user would type them: -T1 -D"Dual RS232-HS B".
std::string OptionsText(const std::vector<std::string>& options);

}  // namespace fwsend::gang
