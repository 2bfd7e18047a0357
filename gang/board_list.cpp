#include "gang/board_list.h"

#include "gang/board_device.h"
#include "gang/board_options.h"
#include "gang/device_lookup.h"
#include "gang/slot_file.h"

namespace fwsend::gang {

namespace {

std::string ShortName(const std::string& device) {
    const std::size_t slash = device.find_last_of("/\\");
    return slash == std::string::npos ? device : device.substr(slash + 1);
}

constexpr char kByPathFolder[] = "/dev/serial/by-path/";

// The options that name the entry's device for fwsend, or none: its by-path
// name first, which stays with the USB socket when the converter is plugged
// in again under another tty name.
std::vector<std::string> OptionsOf(const PortEntry& entry) {
    if (!entry.byPathName.empty()) {
        // Taken as the whole path or as the name within the folder.
        const std::string path =
            entry.byPathName.front() == '/' ? entry.byPathName : kByPathFolder + entry.byPathName;
        if (ReadBoardOptions({"-COM" + path}, nullptr)) return {"-COM" + path};
    }
    if (!entry.comOption.empty()) return {entry.comOption};
    if (entry.link && entry.link->rank == 1 && !entry.link->description.empty())
        return {"-T" + std::to_string(entry.link->type), "-D" + entry.link->description};
    return {};
}

}  // namespace

std::vector<Board> BoardsOfAllPorts(const std::vector<PortEntry>& ports, const std::string& driver,
                                    const std::string& usbIds) {
    std::vector<Board> boards;
    for (const PortEntry& entry : ports) {
        // Windows cannot tell a free port without opening it (its state is
        // Unknown): such a port is taken, and its fwsend refuses it if in use.
        if (entry.state != PortState::Free && entry.state != PortState::Unknown) continue;
        if (!driver.empty() && entry.driver != driver) continue;
        if (!usbIds.empty() && UsbIdsOf(entry) != usbIds) continue;
        std::vector<std::string> options = OptionsOf(entry);
        if (options.empty()) continue;
        if (const auto device = ReadBoardOptions(options, nullptr))
            boards.push_back({ShortName(entry.device), options, *device});
    }
    return boards;
}

std::optional<std::vector<Board>> ListBoards(const GangOptions& options, std::string* error) {
    if (!options.slotsFile.empty()) return ReadSlotFile(options.slotsFile, error);
    if (options.all) {
        std::string unlisted;
        const std::vector<PortEntry> ports = AttachedPorts(true, &unlisted);
        if (!unlisted.empty()) {
            if (error) *error = "--all: the serial devices cannot be listed: " + unlisted;
            return std::nullopt;
        }
        std::vector<Board> boards = BoardsOfAllPorts(ports, options.driver, options.usbIds);
        if (boards.empty() && error) *error = "--all: the port finder lists no free device of that kind";
        if (boards.empty()) return std::nullopt;
        return boards;
    }
    std::vector<Board> boards;
    for (const std::vector<std::string>& boardOptions : options.boardOptions) {
        std::string problem;
        const auto device = ReadBoardOptions(boardOptions, &problem);
        if (!device) {
            if (error) *error = problem;
            return std::nullopt;
        }
        boards.push_back({std::to_string(boards.size() + 1), boardOptions, *device});
    }
    return boards;
}

}  // namespace fwsend::gang
