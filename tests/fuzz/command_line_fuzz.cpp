// libFuzzer target: the command-line parser on any arguments, the input cut
// into arguments at its NUL bytes. A finding aborts.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/run_options.h"

namespace fwsend {

namespace {

constexpr std::size_t kMaxArguments = 64;

void Require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "command_line_fuzz: %s\n", what);
    std::abort();
}

bool Terminated(const char (&buffer)[kMaxNameLength + 1]) {
    return std::memchr(buffer, '\0', sizeof buffer) != nullptr;
}

bool IsPortPath(const std::string& argument) { return argument.compare(0, 5, "-COM/") == 0; }

struct Parsed {
    ParseResult result = ParseResult::Ok;
    RunOptions options;
    const char* bad = nullptr;
};

Parsed Parse(const std::vector<std::string>& arguments) {
    std::vector<const char*> argv{"fwsend"};
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    Parsed parsed;
    parsed.result = ParseArguments(static_cast<int>(argv.size()), argv.data(), parsed.options, &parsed.bad);
    const RunOptions& o = parsed.options;
    Require(Terminated(o.sourceFile) && Terminated(o.usbDeviceName) && Terminated(o.comPortName),
            "a value runs past its buffer");
    if (parsed.result == ParseResult::ValueTooLong) {
        bool known = false;
        for (std::size_t i = 1; i < argv.size(); ++i) known = known || argv[i] == parsed.bad;
        Require(known && std::strlen(parsed.bad) > kMaxNameLength,
                "a refused argument that is no argument or fits");
    }
    return parsed;
}

}  // namespace

}  // namespace fwsend

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace fwsend;
    std::vector<std::string> arguments(1);
    for (std::size_t i = 0; i < size && arguments.size() <= kMaxArguments; ++i) {
        if (data[i] == '\0')
            arguments.emplace_back();
        else
            arguments.back() += static_cast<char>(data[i]);
    }
    const Parsed all = Parse(arguments);
    if (all.result != ParseResult::Ok) return 0;

    // A port named by its path sets the port and nothing else: without those
    // arguments everything else comes out the same.
    std::vector<std::string> others;
    for (const std::string& argument : arguments)
        if (!IsPortPath(argument)) others.push_back(argument);
    const Parsed rest = Parse(others);
    Require(rest.result == ParseResult::Ok, "arguments that fit stopped fitting");
    const RunOptions& a = all.options;
    const RunOptions& b = rest.options;
    Require(a.baud == b.baud && a.transportType == b.transportType && a.debug == b.debug &&
                std::strcmp(a.sourceFile, b.sourceFile) == 0 &&
                std::strcmp(a.usbDeviceName, b.usbDeviceName) == 0,
            "a -COM/ argument set more than the port");

    // The last argument that names a port decides it; a path is taken whole.
    for (auto it = arguments.rbegin(); it != arguments.rend(); ++it) {
        if (IsPortPath(*it)) {
            Require(it->substr(1) == a.comPortName, "a -COM/ path was not taken whole");
            break;
        }
        if (it->find("-COM") != std::string::npos && it->find("-D") == std::string::npos) break;
    }
    return 0;
}
