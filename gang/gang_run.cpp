#include "gang/gang_run.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <system_error>

#include "gang/board_device.h"
#include "gang/board_list.h"
#include "gang/child_arguments.h"
#include "gang/device_lookup.h"
#include "gang/display.h"
#include "gang/fwsend_location.h"
#include "gang/gang_options.h"
#include "gang/image_facts.h"
#include "gang/report_file.h"
#include "gang/station.h"
#include "platform/interrupt.h"

namespace fwsend::gang {

namespace {

constexpr int kUsageError = 2;
constexpr int kFailure = 1;

int Refuse(const std::string& problem) {
    std::fprintf(stderr, "fwsend-gang: %s\n", problem.c_str());
    return kUsageError;
}

// Where each board's device is, and a refusal when two name one device.
std::optional<std::vector<DeviceLocation>> LocateBoards(const std::vector<Board>& boards,
                                                        std::string* error) {
    const std::vector<PortEntry> ports = AttachedPorts(false);
    std::vector<DeviceLocation> locations;
    std::map<std::string, std::string> slotOfDevice;
    for (const Board& board : boards) {
        locations.push_back(LocateBoardDevice(board.device, ports));
        const std::string& identity = locations.back().identity;
        const auto [other, fresh] = slotOfDevice.emplace(identity, board.slot);
        if (!fresh) {
            *error = "slots " + other->second + " and " + board.slot + " name one device, " + identity;
            return std::nullopt;
        }
    }
    return locations;
}

// fwsend's arguments for every board, given the first of the image's paths
// that every fwsend reads as meant: the checked copy, else the file itself.
std::optional<std::vector<std::vector<std::string>>> ArgumentsOfAll(const std::vector<Board>& boards,
                                                                    const CheckedImage& image,
                                                                    const std::string& baudOption,
                                                                    std::string* error) {
    std::vector<std::string> paths;
    if (!image.copy.Path().empty()) paths.push_back(image.copy.Path());
    std::error_code failure;
    const std::filesystem::path absolute = std::filesystem::absolute(image.facts.file, failure);
    if (!failure) paths.push_back(absolute.string());
    paths.push_back(image.facts.file);
    for (const std::string& path : paths) {
        std::vector<std::vector<std::string>> all;
        for (const Board& board : boards) {
            auto arguments = ChildArguments(board, path, baudOption, error);
            if (!arguments) break;
            all.push_back(std::move(*arguments));
        }
        if (all.size() == boards.size()) return all;
    }
    return std::nullopt;
}

}  // namespace

int RunGang(int argc, const char* const* argv) {
    std::string problem;
    const auto options = ParseGangOptions(argc, argv, &problem);
    if (!options) {
        std::fprintf(stderr, "fwsend-gang: %s\n\n%s", problem.c_str(), kGangUsage);
        return kUsageError;
    }
    if (options->help) {
        std::printf("%s", kGangUsage);
        return 0;
    }
    const auto program = FindFwsend();
    if (!program) return Refuse("no fwsend to run: none beside fwsend-gang, none on PATH");
    auto boards = ListBoards(*options, &problem);
    if (!boards) return Refuse(problem);
    auto locations = LocateBoards(*boards, &problem);
    if (!locations) return Refuse(problem);

    std::unique_ptr<ReportFile> report;
    if (!options->reportFile.empty()) {
        report = ReportFile::Open(options->reportFile, &problem);
        if (!report) return Refuse("the report " + options->reportFile + " cannot be opened: " + problem);
    }

    // The file is checked once, before any board: a bad file touches none.
    auto image = CheckImage(options->imageFile);
    if (!image) return kFailure;
    auto arguments = ArgumentsOfAll(*boards, *image, options->baudOption, &problem);
    if (!arguments) return Refuse(problem);

    CatchInterrupts();
    StationPlan plan{*program, std::move(*boards), std::move(*arguments), std::move(*locations),
                     options->repeat};
    const std::unique_ptr<Display> display = MakeDisplay(plan.boards.size());
    Station station(std::move(plan), image->facts, report.get(), *display);
    return station.Run();
}

}  // namespace fwsend::gang
