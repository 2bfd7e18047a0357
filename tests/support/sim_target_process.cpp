#include "tests/support/sim_target_process.h"

#include <fstream>
#include <iterator>

namespace fwsend {

bool SimTarget::Start(const std::vector<std::string>& options) {
    std::vector<std::string> argv{FWSEND_TARGET_PATH, "--out", ReceivedFile()};
    argv.insert(argv.end(), options.begin(), options.end());
    process_ = ChildProcess::Spawn(argv, scratch_.File("stderr.txt"));
    return process_.Running() && process_.ReadLine(slavePath_, 5000) && !slavePath_.empty();
}

int SimTarget::Stop() { return process_.Stop(); }

std::vector<std::uint8_t> SimTarget::ReceivedBytes() const {
    std::ifstream in(ReceivedFile(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string SimTarget::StatsLine() const {
    std::ifstream in(scratch_.File("stderr.txt"));
    std::string line;
    std::getline(in, line);
    return line;
}

}  // namespace fwsend
