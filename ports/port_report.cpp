#include "ports/port_report.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/printable_text.h"

namespace fwsend {

namespace {

// fwsend takes option values of at most this many characters.
constexpr std::size_t kLongestOptionValue = 99;

// A text with bytes a terminal acts on, quoted so that bash, zsh and ksh
// pass exactly those bytes and the line shows them as \xNN.
std::string DollarQuoted(const std::string& text) {
    std::string quoted = "$'";
    std::size_t runStart = 0;
    // Backslashes and quotes are ASCII, so cutting runs at them never cuts
    // a UTF-8 sequence.
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != '\\' && text[i] != '\'') continue;
        quoted += PrintableText(std::string_view(text).substr(runStart, i - runStart));
        if (i < text.size()) quoted += text[i] == '\\' ? "\\\\" : "\\'";
        runStart = i + 1;
    }
    return quoted + "'";
}

// Double quotes, unless the text holds a character a shell still expands
// between them; then single quotes.
std::string ShellQuoted(const std::string& text) {
    if (HoldsUnprintable(text)) return DollarQuoted(text);
    if (text.find_first_of("\"$`\\!") == std::string::npos) return '"' + text + '"';
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string Ordinal(unsigned n) {
    const char* suffix = (n % 100 >= 11 && n % 100 <= 13) ? "th"
                         : n % 10 == 1                    ? "st"
                         : n % 10 == 2                    ? "nd"
                         : n % 10 == 3                    ? "rd"
                                                          : "th";
    return std::to_string(n) + suffix;
}

std::string Options(const PortEntry& entry) {
    std::string text = entry.comOption;
    if (entry.link) {
        std::string const described = DescribedOption(*entry.link);
        if (!described.empty()) text += (text.empty() ? "" : "  or  ") + described;
    }
    return text;
}

std::string Details(const PortEntry& entry) {
    std::string text = entry.driver.empty() ? std::string("?") : entry.driver;
    if (!entry.uart.empty()) text += " UART " + entry.uart;
    if (!entry.vendorId.empty()) text += " " + entry.vendorId + ":" + entry.productId;
    if (!entry.product.empty()) text += " \"" + PrintableText(entry.product) + "\"";
    return text;
}

// fwsend takes "-F" out of any argument that holds it: a description that
// holds it must come before the file's option, which then wins.
std::string FileOptionNote(const DescribedLink& link) {
    if (link.description.find("-F") == std::string::npos) return {};
    return "give -F<file> after -D: the description holds \"-F\"";
}

std::string LinkNote(const DescribedLink& link) {
    std::string const option = "-T" + std::to_string(link.type);
    if (link.description.empty()) return option + " cannot name it: no product string";
    if (link.description.size() > kLongestOptionValue)
        return option + " cannot name it: its description is longer than 99 characters";
    if (link.sameCount < 2) return FileOptionNote(link);
    std::string const place = Ordinal(link.rank) + " of " + std::to_string(link.sameCount) + " so named";
    std::string note =
        link.type == 2  // the CP2102 link takes the first match, free or not
            ? option + (link.rank == 1 ? " takes this one, " : " never takes this one, ") + place
            : option + " takes it when the earlier ones are busy, " + place;
    const std::string fileNote = FileOptionNote(link);
    return fileNote.empty() ? note : note + "; " + fileNote;
}

std::string StateText(const PortEntry& entry) {
    switch (entry.state) {
    case PortState::Free: return "free";
    case PortState::InUse:
        if (!entry.holderPid) return "in use";
        return "in use by pid " + std::to_string(*entry.holderPid) +
               (entry.holderName.empty() ? "" : " (" + PrintableText(entry.holderName) + ")");
    case PortState::NoPermission:
        if (entry.group.empty())
            return "no permission: only " +
                   (entry.owner.empty() ? std::string("its owner") : PrintableText(entry.owner)) +
                   " may open it";
        return "no permission: join group " + PrintableText(entry.group) + " (sudo usermod -aG " +
               PrintableText(entry.group) + " \"$USER\", then log in again)";
    case PortState::Unknown: break;
    }
    return {};
}

const char* StateKey(PortState state) {
    switch (state) {
    case PortState::Free: return "free";
    case PortState::InUse: return "in-use";
    case PortState::NoPermission: return "no-permission";
    case PortState::Unknown: break;
    }
    return "unknown";
}

// Always valid UTF-8: a byte that is not part of a sequence (a process name
// cut inside a character) becomes U+FFFD.
std::string Json(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : ValidUtf8(text)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// Columns are counted in characters: a UTF-8 sequence takes one.
std::size_t Width(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(
        text.begin(), text.end(), [](char c) { return (static_cast<std::uint8_t>(c) & 0xC0) != 0x80; }));
}

std::string Padded(const std::string& text, std::size_t width) {
    return text + std::string(width > Width(text) ? width - Width(text) : 0, ' ');
}

std::string JsonOrNull(const std::string& text) { return text.empty() ? "null" : Json(text); }

}  // namespace

std::string DescribedOption(const DescribedLink& link) {
    if (link.description.empty() || link.description.size() > kLongestOptionValue) return {};
    return "-T" + std::to_string(link.type) + " -D" + ShellQuoted(link.description);
}

void PrintPortTable(std::FILE* out, const std::vector<PortEntry>& entries) {
    if (entries.empty()) {
        std::fprintf(out, "No serial devices found.\n");
        return;
    }
    struct Row {
        std::string device, options, details, remarks;
    };
    std::vector<Row> rows;
    const Row header{"DEVICE", "OPTIONS", "DRIVER AND DEVICE", "STATE"};
    std::size_t widths[3] = {header.device.size(), header.options.size(), header.details.size()};
    for (const auto& entry : entries) {
        std::string remarks = StateText(entry);
        if (entry.link) {
            std::string const note = LinkNote(*entry.link);
            if (!note.empty()) remarks += (remarks.empty() ? "" : "; ") + note;
        }
        rows.push_back({PrintableText(entry.device), Options(entry), Details(entry), remarks});
        widths[0] = std::max(widths[0], Width(rows.back().device));
        widths[1] = std::max(widths[1], Width(rows.back().options));
        widths[2] = std::max(widths[2], Width(rows.back().details));
    }
    rows.insert(rows.begin(), header);
    for (const auto& row : rows) {
        std::string line = Padded(row.device, widths[0]) + "  " + Padded(row.options, widths[1]) + "  " +
                           Padded(row.details, widths[2]) + "  " + row.remarks;
        line.erase(line.find_last_not_of(' ') + 1);
        std::fprintf(out, "%s\n", line.c_str());
    }
}

void PrintPortJson(std::FILE* out, const std::vector<PortEntry>& entries) {
    std::fprintf(out, "[");
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& entry = entries[i];
        std::fprintf(out,
                     "%s\n  {\"device\": %s, \"option\": %s, \"driver\": %s, \"uart\": %s, "
                     "\"vendorId\": %s, \"productId\": %s, \"product\": %s, ",
                     i == 0 ? "" : ",", Json(entry.device).c_str(), JsonOrNull(entry.comOption).c_str(),
                     JsonOrNull(entry.driver).c_str(), JsonOrNull(entry.uart).c_str(),
                     JsonOrNull(entry.vendorId).c_str(), JsonOrNull(entry.productId).c_str(),
                     JsonOrNull(entry.product).c_str());
        if (entry.link)
            std::fprintf(out,
                         "\"link\": {\"type\": %d, \"description\": %s, \"option\": %s, \"rank\": %u, "
                         "\"sameDescription\": %u}, ",
                         entry.link->type, Json(entry.link->description).c_str(),
                         JsonOrNull(DescribedOption(*entry.link)).c_str(), entry.link->rank,
                         entry.link->sameCount);
        else
            std::fprintf(out, "\"link\": null, ");
        std::fprintf(out, "\"state\": \"%s\", \"holderPid\": ", StateKey(entry.state));
        if (entry.holderPid)
            std::fprintf(out, "%ld", *entry.holderPid);
        else
            std::fprintf(out, "null");
        std::fprintf(out, ", \"holderName\": %s, \"group\": %s, \"owner\": %s}",
                     JsonOrNull(entry.holderName).c_str(), JsonOrNull(entry.group).c_str(),
                     JsonOrNull(entry.owner).c_str());
    }
    std::fprintf(out, "%s]\n", entries.empty() ? "" : "\n");
}

}  // namespace fwsend
