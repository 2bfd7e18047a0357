#include "ports/port_report.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include <nlohmann/json.hpp>

#include "app/run_options.h"
#include "platform/printable_text.h"

namespace fwsend {

namespace {

using Json = nlohmann::ordered_json;

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
    if (link.description.size() > kMaxNameLength)
        return option + " cannot name it: its description is longer than " + std::to_string(kMaxNameLength) +
               " characters";
    if (link.sameCount < 2) return FileOptionNote(link);
    std::string const place = Ordinal(link.rank) + " of " + std::to_string(link.sameCount) + " so named";
    std::string note =
        link.firstOnly ? option + (link.rank == 1 ? " takes this one, " : " never takes this one, ") + place
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

// A text as a shell word: bare when it holds nothing a shell acts on (the
// by-path names udev makes), else quoted.
std::string ShellWord(const std::string& text) {
    constexpr char kPlain[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789/._:+,=@-";
    return text.find_first_not_of(kPlain) == std::string::npos ? text : ShellQuoted(text);
}

// The by-path link as the -COM option that names it, or the path alone
// where it is longer than an option value may be ("COM" counts).
std::string ByPathText(const std::string& path) {
    if (path.size() + 3 > kMaxNameLength)
        return PrintableText(path) + " (too long for -COM: " + std::to_string(path.size() + 3) +
               " characters)";
    return "-COM" + ShellWord(path);
}

// The names that keep to a device from one plug-in to the next, for a line
// of their own below it.
std::string StableNames(const PortEntry& entry) {
    std::string text;
    if (!entry.byPathName.empty()) text = ByPathText(entry.byPathName);
    if (!entry.serialNumber.empty())
        text += (text.empty() ? "serial number " : "  serial number ") + PrintableText(entry.serialNumber);
    return text;
}

// Columns are counted in characters: a UTF-8 sequence takes one.
std::size_t Width(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(
        text.begin(), text.end(), [](char c) { return (static_cast<std::uint8_t>(c) & 0xC0) != 0x80; }));
}

std::string Padded(const std::string& text, std::size_t width) {
    return text + std::string(width > Width(text) ? width - Width(text) : 0, ' ');
}

Json TextOrNull(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

Json EntryJson(const PortEntry& entry) {
    Json link = nullptr;
    if (entry.link)
        link = Json{{"type", entry.link->type},
                    {"description", entry.link->description},
                    {"option", TextOrNull(DescribedOption(*entry.link))},
                    {"rank", entry.link->rank},
                    {"sameDescription", entry.link->sameCount},
                    {"firstOnly", entry.link->firstOnly}};
    return Json{{"device", entry.device},
                {"option", TextOrNull(entry.comOption)},
                {"driver", TextOrNull(entry.driver)},
                {"uart", TextOrNull(entry.uart)},
                {"vendorId", TextOrNull(entry.vendorId)},
                {"productId", TextOrNull(entry.productId)},
                {"product", TextOrNull(entry.product)},
                {"serialNumber", TextOrNull(entry.serialNumber)},
                {"byPath", TextOrNull(entry.byPathName)},
                {"link", link},
                {"state", StateKey(entry.state)},
                {"holderPid", entry.holderPid ? Json(*entry.holderPid) : Json(nullptr)},
                {"holderName", TextOrNull(entry.holderName)},
                {"group", TextOrNull(entry.group)},
                {"owner", TextOrNull(entry.owner)}};
}

}  // namespace

std::string DescribedOption(const DescribedLink& link) {
    if (link.description.empty() || link.description.size() > kMaxNameLength) return {};
    return "-T" + std::to_string(link.type) + " -D" + ShellQuoted(link.description);
}

void PrintPortTable(std::FILE* out, const std::vector<PortEntry>& entries) {
    if (entries.empty()) {
        std::fprintf(out, "No serial devices found.\n");
        return;
    }
    struct Row {
        std::string device, options, details, remarks, stableNames;
    };
    std::vector<Row> rows;
    const Row header{"DEVICE", "OPTIONS", "DRIVER AND DEVICE", "STATE", ""};
    std::size_t widths[3] = {header.device.size(), header.options.size(), header.details.size()};
    for (const auto& entry : entries) {
        std::string remarks = StateText(entry);
        if (entry.link) {
            std::string const note = LinkNote(*entry.link);
            if (!note.empty()) remarks += (remarks.empty() ? "" : "; ") + note;
        }
        rows.push_back(
            {PrintableText(entry.device), Options(entry), Details(entry), remarks, StableNames(entry)});
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
        // Long, so below the device's line, under its options.
        if (!row.stableNames.empty())
            std::fprintf(out, "%s%s\n", std::string(widths[0] + 2, ' ').c_str(), row.stableNames.c_str());
    }
}

// One device a line. Text the devices and processes chose is always valid
// UTF-8: a byte that is not part of a sequence (a process name cut inside a
// character) becomes U+FFFD.
void PrintPortJson(std::FILE* out, const std::vector<PortEntry>& entries) {
    std::string text = "[";
    for (std::size_t i = 0; i < entries.size(); ++i)
        text += (i == 0 ? "\n  " : ",\n  ") +
                EntryJson(entries[i]).dump(-1, ' ', false, Json::error_handler_t::replace);
    text += entries.empty() ? "]\n" : "\n]\n";
    std::fputs(text.c_str(), out);
}

}  // namespace fwsend
