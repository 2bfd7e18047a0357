#include "gang/windows_command_line.h"

namespace fwsend::gang {

namespace {

bool NeedsQuotes(const std::string& argument) {
    // Blanks split, quotes and backslashes before them are escapes, and the
    // wildcards would be expanded by a runtime that globs unquoted ones.
    return argument.empty() || argument.find_first_of(" \t\n\v\"*?") != std::string::npos;
}

// The runtime's rule: 2n backslashes before a quote give n and the quote
// delimits; 2n+1 give n and a literal quote; backslashes elsewhere are
// literal.
void AppendQuoted(const std::string& argument, std::string& line) {
    line += '"';
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        line.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        line += c;
    }
    // Doubled before the closing quote, which must stay a delimiter.
    line.append(2 * backslashes, '\\');
    line += '"';
}

}  // namespace

std::optional<std::string> WindowsCommandLine(const std::string& program,
                                              const std::vector<std::string>& arguments) {
    if (program.find_first_of(std::string("\"\0", 2)) != std::string::npos) return std::nullopt;
    std::string line = '"' + program + '"';
    for (const std::string& argument : arguments) {
        if (argument.find('\0') != std::string::npos) return std::nullopt;
        line += ' ';
        if (NeedsQuotes(argument))
            AppendQuoted(argument, line);
        else
            line += argument;
    }
    return line;
}

}  // namespace fwsend::gang
