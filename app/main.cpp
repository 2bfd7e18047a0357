#include "app/run.h"
#include "platform/standard_streams.h"
#include "platform/timer_resolution.h"

int main(int argc, char** argv) {
    // Before anything is opened: a closed standard stream must not become the port.
    fwsend::KeepStandardStreamsOpen();
    // The run's short serial waits need timers finer than Windows' default
    // tick; every return from the run gives them back.
    const fwsend::FineTimerResolution fineTimers;
    return fwsend::Run(argc, argv);
}
