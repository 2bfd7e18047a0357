#include "tests/gang/gang_test_support.h"

#include <cerrno>
#include <fstream>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fwsend {

RunResult RunGang(const std::vector<std::string>& arguments, int timeoutMs) {
    std::vector<std::string> argv{FWSEND_GANG_PATH};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunProgram(argv, timeoutMs);
}

std::vector<std::string> LogLines(const std::string& log, const std::string& prefix) {
    static const std::regex kStamped(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ (.*))");
    std::vector<std::string> lines;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        std::smatch match;
        if (!std::regex_match(line, match, kStamped)) {
            ADD_FAILURE() << "a line without its time: " << line;
            continue;
        }
        if (match[1].str().compare(0, prefix.size(), prefix) == 0) lines.push_back(match[1].str());
    }
    return lines;
}

std::vector<nlohmann::json> ReportRecords(const std::string& path) {
    std::vector<nlohmann::json> records;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        const nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
        EXPECT_FALSE(record.is_discarded()) << "not JSON: " << line;
        if (!record.is_discarded()) records.push_back(record);
    }
    return records;
}

nlohmann::json BoardRecordOf(const std::vector<nlohmann::json>& records, const std::string& slot, int round) {
    for (const nlohmann::json& record : records)
        if (record.value("record", "") == "board" && record.value("slot", "") == slot &&
            record.value("round", 0) == round)
            return record;
    ADD_FAILURE() << "no record of slot " << slot << " in round " << round;
    return nlohmann::json::object();
}

std::string Sha256Of(const std::string& path) {
    const RunResult run = RunProgram({"/usr/bin/sha256sum", path});
    return run.output.substr(0, run.output.find(' '));
}

TypedInput::TypedInput(const ScratchDir& scratch) : path_(scratch.File("input")) {
    EXPECT_EQ(::mkfifo(path_.c_str(), 0600), 0);
}

ChildProcess TypedInput::StartGang(const std::vector<std::string>& arguments, const std::string& stderrFile) {
    std::vector<std::string> argv{"/bin/sh", "-c", "exec \"$@\" <\"$0\"", path_, FWSEND_GANG_PATH};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return ChildProcess::Spawn(argv, stderrFile);
}

bool TypedInput::Connect(int timeoutMs) {
    // Without a reader a FIFO opens for writing only in vain (ENXIO).
    for (int waited = 0; waited < timeoutMs; waited += 10) {
        fd_ = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ >= 0) return true;
        ::usleep(10000);
    }
    return false;
}

bool TypedInput::Type(const std::string& text) {
    return fd_ >= 0 && ::write(fd_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

void TypedInput::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

}  // namespace fwsend
