// fwsend-target: a simulated boot loader on a pseudo-terminal, for tests,
// the demo and the benchmark. See --help.

#include <csignal>
#include <cstdio>
#include <string>

#include <fcntl.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "tools/frame_server.h"
#include "tools/pty_pair.h"
#include "tools/sim_options.h"

namespace fwsend {
namespace {

// The one piece of global state: the signal handler has nowhere else to write.
volatile std::sig_atomic_t gStopRequested = 0;

void RequestStop(int) { gStopRequested = 1; }

// Blocks SIGTERM and SIGINT; returns the mask under which they may arrive.
sigset_t InstallStopHandlers() {
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    sigset_t waitMask;
    pthread_sigmask(SIG_BLOCK, &stops, &waitMask);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGINT);
    return waitMask;
}

}  // namespace
}  // namespace fwsend

int main(int argc, char** argv) {
    using namespace fwsend;
    std::string error;
    const auto options = ParseSimOptions(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "fwsend-target: %s\n\n%s", error.c_str(), kSimUsage);
        return 2;
    }
    if (options->showHelp) {
        std::fputs(kSimUsage, stdout);
        return 0;
    }

    const sigset_t waitMask = InstallStopHandlers();
#ifdef __linux__
    // Wake from paced sleeps on time, not up to the default 50 us late.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif

    UniqueFd out;
    if (!options->outFile.empty()) {
        out = UniqueFd(::open(options->outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (!out.Valid()) {
            std::perror(("fwsend-target: " + options->outFile).c_str());
            return 1;
        }
    }

    PtyPair pty;
    if (!pty.HoldSlave()) {
        std::fprintf(stderr, "fwsend-target: %s\n", pty.Error().c_str());
        return 1;
    }
    std::printf("%s\n", pty.SlavePath().c_str());
    std::fflush(stdout);

    FrameServer server(*options, pty, std::move(out), gStopRequested, waitMask);
    const bool ok = server.Run();
    pty.Close();  // the hang-up, seen by the tool

    const ServeStats& stats = server.Stats();
    std::fprintf(stderr,
                 "fwsend-target: accepted %llu frames, rejected %llu sends, "
                 "unanswered %llu frames, received %llu bytes\n",
                 static_cast<unsigned long long>(stats.acceptedFrames),
                 static_cast<unsigned long long>(stats.rejectedSends),
                 static_cast<unsigned long long>(stats.unansweredFrames),
                 static_cast<unsigned long long>(stats.receivedBytes));
    return ok ? 0 : 1;
}
