#pragma once
// A Windows program gets one command line, which its C runtime splits back
// into argv. This writes the line that the Microsoft (and MinGW) runtime
// splits into exactly the given program and arguments.

#include <optional>
#include <string>
#include <vector>

namespace fwsend::gang {

// Nothing when no line can carry them: a program path holding a quote (its
// name is split without escapes), or any text holding a NUL character.
std::optional<std::string> WindowsCommandLine(const std::string& program,
                                              const std::vector<std::string>& arguments);

}  // namespace fwsend::gang
