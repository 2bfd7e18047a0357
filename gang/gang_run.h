#pragma once
// fwsend-gang's whole run, from the command line to the exit status:
// everything that can be refused is refused before any board is touched.

namespace fwsend::gang {

// 0: every board of the last round updated; 1: a board failed, the upgrade
// file was refused, or the run was interrupted; 2: a usage error.
int RunGang(int argc, const char* const* argv);

}  // namespace fwsend::gang
