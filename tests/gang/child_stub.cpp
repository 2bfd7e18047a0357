// The child of the ChildProcess tests: runs the actions its arguments name,
// in order:
//   out TEXT, err TEXT   TEXT and a line end to standard output / error
//   flood N              N numbered lines to each, taking turns
//   args ARG...          each further argument as "[ARG]" on a line; ends
//   wait                 "waiting", then until an interrupt arrives, caught
//                        as fwsend catches it (at most 120 s): "interrupted"
//   sleep MS             does nothing that long
//   exit N               ends with status N
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/interrupt.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

void Say(std::FILE* stream, const char* text) {
    std::fprintf(stream, "%s\n", text);
    std::fflush(stream);
}

void WaitForInterrupt() {
    fwsend::CatchInterrupts();
    Say(stdout, "waiting");
    for (int i = 0; i < 12000 && !fwsend::InterruptRequested(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    Say(stdout, fwsend::InterruptRequested() ? "interrupted" : "no interrupt");
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // The bytes as written, not the C runtime's CR LF line ends.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    for (int i = 1; i < argc; ++i) {
        const std::string action = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : "0";
        if (action == "args") {
            while (++i < argc) std::printf("[%s]\n", argv[i]);
            return 0;
        }
        if (action == "wait") {
            WaitForInterrupt();
            continue;
        }
        ++i;
        if (action == "out") Say(stdout, value);
        if (action == "err") Say(stderr, value);
        if (action == "exit") return std::atoi(value);
        if (action == "sleep") std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(value)));
        for (int line = 0; action == "flood" && line < std::atoi(value); ++line) {
            std::printf("o%07d\n", line);
            std::fprintf(stderr, "e%07d\n", line);
        }
    }
    return 0;
}
