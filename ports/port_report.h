#pragma once
// fwsend-ports' output: a table for people, one device a line (its stable
// names, where it has them, on an indented line below), or JSON for scripts.

#include "ports/port_entry.h"

#include <cstdio>
#include <string>
#include <vector>

namespace fwsend {

// The option that names a converter by description, quoted for a shell:
// -T1 -D"FT232R USB UART". Empty when -D cannot name it (no product string,
// or longer than an option value may be).
std::string DescribedOption(const DescribedLink& link);

void PrintPortTable(std::FILE* out, const std::vector<PortEntry>& entries);
void PrintPortJson(std::FILE* out, const std::vector<PortEntry>& entries);

}  // namespace fwsend
