// fwsend-gang: one upgrade image to many boards at once, each through a
// fwsend of its own, with a line per board and a report.

#include "gang/gang_run.h"
#include "platform/standard_streams.h"

int main(int argc, char** argv) {
    // A closed standard stream must not become a child's pipe or the report.
    fwsend::KeepStandardStreamsOpen();
    return fwsend::gang::RunGang(argc, argv);
}
