#include "gang/gang_options.h"

#include <cctype>
#include <cstring>

#include "app/run_options.h"
#include "gang/board_options.h"

namespace fwsend::gang {

const char kGangUsage[] =
    "usage: fwsend-gang -F<file> -<baudrate> [--report FILE] [--repeat]\n"
    "                   (--slots FILE | --all [--driver NAME] [--usb VID:PID] | BOARD...)\n"
    "\n"
    "Uploads one upgrade file to many boards at once, each through a fwsend of\n"
    "its own, with a line per board.\n"
    "\n"
    "  -F<file>         the upgrade file, checked once before any board starts\n"
    "  -<baudrate>      the baud rate, as fwsend takes it: -115200\n"
    "  BOARD            the options that name one board's device, as fwsend takes\n"
    "                   them and fwsend-ports prints them: -COMttyUSB0,\n"
    "                   -COM/dev/serial/by-path/..., -T1 -D\"Dual RS232-HS B\"\n"
    "  --slots FILE     the boards of FILE, one a line: a slot name, then the\n"
    "                   options that name its device\n"
    "  --all            every free device that fwsend-ports lists, or only those\n"
    "  --driver NAME      of this driver (ftdi_sio, cp210x, cdc_acm, ...)\n"
    "  --usb VID:PID      of these USB ids (0403:6001)\n"
    "  --report FILE    append a JSON line per board and per round to FILE\n"
    "  --repeat         keep the station going: a slot starts again when its\n"
    "                   device goes away and comes back, the others when Enter\n"
    "                   is pressed; Ctrl-C ends it\n"
    "  --help           show this text\n"
    "\n"
    "Exit status: 0 when every board of the last round was updated, 1 when one\n"
    "failed or the upgrade file was refused, 2 for a usage error.\n";

namespace {

bool StartsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// "0403:6001", either case, as lower case; empty when it is not one.
std::string UsbIds(const std::string& text) {
    if (text.size() != 9 || text[4] != ':') return {};
    std::string ids;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (i != 4 && !std::isxdigit(c)) return {};
        ids += static_cast<char>(std::tolower(c));
    }
    return ids;
}

class Parser {
public:
    Parser(int argc, const char* const* argv) : argc_(argc), argv_(argv) {}

    std::optional<GangOptions> Run(std::string* error) {
        std::vector<std::string> boardWords;
        for (at_ = 1; at_ < argc_; ++at_) {
            const char* argument = argv_[at_];
            if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
                options_.help = true;
                return options_;
            }
            if (ValueOf(argument, "--report", options_.reportFile) ||
                ValueOf(argument, "--slots", options_.slotsFile) ||
                ValueOf(argument, "--driver", options_.driver) || ValueOf(argument, "--usb", usb_)) {
                if (!problem_.empty()) return Fail(error);
            } else if (std::strcmp(argument, "--repeat") == 0) {
                options_.repeat = true;
            } else if (std::strcmp(argument, "--all") == 0) {
                options_.all = true;
            } else if (StartsWith(argument, "-F")) {
                options_.imageFile = argument + 2;
            } else if (BaudFromArgument(argument) != 0) {
                options_.baudOption = argument;
            } else if (StartsWith(argument, "-COM") || StartsWith(argument, "-T") ||
                       StartsWith(argument, "-D")) {
                boardWords.emplace_back(argument);
            } else {
                problem_ = std::string("unknown option '") + argument + "'";
                return Fail(error);
            }
        }
        const auto boards = SplitBoards(boardWords, &problem_);
        if (!boards) return Fail(error);
        options_.boardOptions = *boards;
        if (!Check()) return Fail(error);
        return options_;
    }

private:
    // --name VALUE or --name=VALUE; an empty or missing value is a problem.
    bool ValueOf(const char* argument, const char* name, std::string& value) {
        const std::size_t length = std::strlen(name);
        if (std::strncmp(argument, name, length) != 0) return false;
        if (argument[length] == '=') {
            value = argument + length + 1;
        } else if (argument[length] != '\0') {
            return false;
        } else if (at_ + 1 < argc_) {
            value = argv_[++at_];
        } else {
            value.clear();
        }
        if (value.empty()) problem_ = std::string(name) + " needs a value";
        return true;
    }

    bool Check() {
        const int sources = (options_.slotsFile.empty() ? 0 : 1) + (options_.all ? 1 : 0) +
                            (options_.boardOptions.empty() ? 0 : 1);
        if (options_.imageFile.empty()) {
            problem_ = "no upgrade file (-F<file>)";
        } else if (options_.baudOption.empty()) {
            problem_ = "no baud rate (-115200, ...)";
        } else if (sources == 0) {
            problem_ = "no board: name them, or give --slots FILE or --all";
        } else if (sources > 1) {
            problem_ = "boards named more than one way: give one of --slots, --all, or boards";
        } else if (!options_.all && (!options_.driver.empty() || !usb_.empty())) {
            problem_ = "--driver and --usb narrow --all, which is not given";
        } else if (!usb_.empty() && (options_.usbIds = UsbIds(usb_)).empty()) {
            problem_ =
                "--usb takes vendor:product as four hexadecimal digits each (0403:6001), not '" + usb_ + "'";
        }
        return problem_.empty();
    }

    std::optional<GangOptions> Fail(std::string* error) {
        if (error) *error = problem_;
        return std::nullopt;
    }

    const int argc_;
    const char* const* argv_;
    int at_ = 1;
    GangOptions options_;
    std::string usb_;
    std::string problem_;
};

}  // namespace

std::optional<GangOptions> ParseGangOptions(int argc, const char* const* argv, std::string* error) {
    return Parser(argc, argv).Run(error);
}

}  // namespace fwsend::gang
