#pragma once
// A line split into words as a POSIX shell splits it, so that options
// pasted from fwsend-ports' table (-D"Dual RS232-HS B", -D'a "b"',
// -D$'Link\x1b') mean here what they meant to the shell: blanks separate
// words; "..." keeps blanks and takes \" \\ \$ \` as escapes; '...' keeps
// everything; $'...' takes \xHH, \\, \', \", \n, \r, \t, \e, \a; a backslash
// elsewhere keeps the next character; a word that starts with # begins a
// comment. No expansion of any kind.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fwsend::gang {

// The words, or nothing (with what is wrong in *error) when a quote is not
// closed or an escape is cut off.
std::optional<std::vector<std::string>> SplitShellWords(std::string_view line, std::string* error);

}  // namespace fwsend::gang
