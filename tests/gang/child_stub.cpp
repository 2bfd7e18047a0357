// The child of the ChildProcess tests: runs the actions its arguments name,
// in order: "out TEXT" and "err TEXT" (a line to standard output / error),
// "flood N" (N numbered lines to each, in turns), "args ARG..." (each
// further argument as "[ARG]"), "wait" (until an interrupt, caught as
// fwsend catches it, at most 120 s), "sleep MS", "exit N".
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

int main(int argc, char** argv) {
#ifdef _WIN32
    // The bytes as written, not the C runtime's CR LF line ends.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    for (int i = 1; i < argc; ++i) {
        const std::string action = argv[i];
        if (action == "args") {
            while (++i < argc) std::printf("[%s]\n", argv[i]);
        } else if (action == "wait") {
            fwsend::CatchInterrupts();
            std::printf("waiting\n");
            std::fflush(stdout);
            for (int wait = 0; wait < 12000 && !fwsend::InterruptRequested(); ++wait)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            std::printf(fwsend::InterruptRequested() ? "interrupted\n" : "no interrupt\n");
        } else if (++i < argc) {
            const char* value = argv[i];
            if (action == "out") std::printf("%s\n", value);
            if (action == "err") std::fprintf(stderr, "%s\n", value);
            if (action == "exit") return std::atoi(value);
            if (action == "sleep") std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(value)));
            for (int line = 0; action == "flood" && line < std::atoi(value); ++line) {
                std::printf("o%07d\n", line);
                std::fprintf(stderr, "e%07d\n", line);
            }
        }
        std::fflush(stdout);
    }
    return 0;
}
