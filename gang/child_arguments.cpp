#include "gang/child_arguments.h"

#include "app/run_options.h"

namespace fwsend::gang {

std::optional<std::vector<std::string>> ChildArguments(const Board& board, const std::string& imagePath,
                                                       const std::string& baudOption, std::string* error) {
    std::vector<std::string> arguments = board.options;
    arguments.push_back("-F" + imagePath);
    arguments.push_back(baudOption);

    std::vector<const char*> argv{"fwsend"};
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    RunOptions parsed;
    const bool fits =
        ParseArguments(static_cast<int>(argv.size()), argv.data(), parsed, nullptr) == ParseResult::Ok;
    const BoardDevice& device = board.device;
    if (!fits || parsed.sourceFile != imagePath || parsed.baud != BaudFromArgument(baudOption.c_str()) ||
        parsed.transportType != device.type || parsed.comPortName != device.comPortName ||
        parsed.usbDeviceName != device.usbDeviceName) {
        if (error)
            *error = fits ? "fwsend would take the upgrade file's path " + imagePath + " for other options"
                          : "the upgrade file's path " + imagePath + " is longer than fwsend takes (" +
                                std::to_string(kMaxNameLength) + " characters)";
        return std::nullopt;
    }
    return arguments;
}

}  // namespace fwsend::gang
