#pragma once
// Which fwsend the gang runs: the one beside fwsend-gang, so that the two
// of one installation go together, else fwsend on PATH.

#include <optional>
#include <string>

namespace fwsend::gang {

// Its path, or nothing when neither exists.
std::optional<std::string> FindFwsend();

}  // namespace fwsend::gang
