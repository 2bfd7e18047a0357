#include "ports/port_report.h"

#include <algorithm>
#include <cstring>

namespace fwsend {

namespace {

// fwsend takes option values of at most this many characters.
constexpr std::size_t kLongestOptionValue = 99;

// Double quotes, unless the text holds a character a shell still expands
// between them; then single quotes.
std::string ShellQuoted(const std::string& text) {
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
    if (!entry.product.empty()) text += " \"" + entry.product + "\"";
    return text;
}

std::string LinkNote(const DescribedLink& link) {
    std::string const option = "-T" + std::to_string(link.type);
    if (link.description.empty()) return option + " cannot name it: no product string";
    if (link.description.size() > kLongestOptionValue)
        return option + " cannot name it: its description is longer than 99 characters";
    if (link.sameCount < 2) return {};
    std::string const place = Ordinal(link.rank) + " of " + std::to_string(link.sameCount) + " so named";
    if (link.type == 2)  // the CP2102 link takes the first match, free or not
        return option + (link.rank == 1 ? " takes this one, " : " never takes this one, ") + place;
    return option + " takes it when the earlier ones are busy, " + place;
}

std::string StateText(const PortEntry& entry) {
    switch (entry.state) {
    case PortState::Free: return "free";
    case PortState::InUse:
        if (!entry.holderPid) return "in use";
        return "in use by pid " + std::to_string(*entry.holderPid) +
               (entry.holderName.empty() ? "" : " (" + entry.holderName + ")");
    case PortState::NoPermission:
        if (entry.group.empty())
            return "no permission: only " + (entry.owner.empty() ? std::string("its owner") : entry.owner) +
                   " may open it";
        return "no permission: join group " + entry.group + " (sudo usermod -aG " + entry.group +
               " \"$USER\", then log in again)";
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

std::string Json(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
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

std::string Padded(const std::string& text, std::size_t width) {
    return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
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
        rows.push_back({entry.device, Options(entry), Details(entry), remarks});
        widths[0] = std::max(widths[0], rows.back().device.size());
        widths[1] = std::max(widths[1], rows.back().options.size());
        widths[2] = std::max(widths[2], rows.back().details.size());
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
