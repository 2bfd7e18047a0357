#include "gang/board_options.h"

#include "app/run_options.h"
#include "app/transport_choice.h"

namespace fwsend::gang {

namespace {

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

std::optional<std::vector<std::vector<std::string>>> SplitBoards(const std::vector<std::string>& words,
                                                                 std::string* error) {
    std::vector<std::vector<std::string>> boards;
    for (const std::string& word : words) {
        if (StartsWith(word, "-COM") || StartsWith(word, "-T")) {
            boards.push_back({word});
        } else if (StartsWith(word, "-D") && !boards.empty() && StartsWith(boards.back().front(), "-T") &&
                   boards.back().size() == 1) {
            boards.back().push_back(word);
        } else {
            if (error)
                *error = StartsWith(word, "-D") ? "'" + word + "' follows no -T1 or -T2 board"
                                                : "'" + word + "' is not an option that names a board";
            return std::nullopt;
        }
    }
    return boards;
}

std::optional<BoardDevice> ReadBoardOptions(const std::vector<std::string>& options, std::string* error) {
    std::vector<const char*> argv{"fwsend"};
    for (const std::string& option : options) argv.push_back(option.c_str());
    RunOptions parsed;
    const char* tooLong = nullptr;
    if (ParseArguments(static_cast<int>(argv.size()), argv.data(), parsed, &tooLong) != ParseResult::Ok) {
        if (error)
            *error = "'" + std::string(tooLong) + "' is longer than fwsend takes (" +
                     std::to_string(kMaxNameLength) + " characters)";
        return std::nullopt;
    }
    const TransportChoice* choice = FindTransportChoice(parsed.transportType);
    if (!choice) {
        if (error) *error = "'" + OptionsText(options) + "' names no link fwsend offers (-T0, -T1, -T2)";
        return std::nullopt;
    }
    if (DeviceNameFor(*choice, parsed)[0] == '\0') {
        if (error)
            *error = "'" + OptionsText(options) + "' names no device: fwsend needs " +
                     (choice->namedByComPort ? "-COM<port>" : "-D<description> after -T1 or -T2");
        return std::nullopt;
    }
    return BoardDevice{parsed.transportType, parsed.comPortName, parsed.usbDeviceName};
}

std::string OptionsText(const std::vector<std::string>& options) {
    std::string text;
    for (const std::string& option : options) {
        if (!text.empty()) text += ' ';
        const bool needsQuotes =
            StartsWith(option, "-D") && option.find_first_of(" \t'") != std::string::npos;
        text += needsQuotes ? "-D\"" + option.substr(2) + "\"" : option;
    }
    return text;
}

}  // namespace fwsend::gang
