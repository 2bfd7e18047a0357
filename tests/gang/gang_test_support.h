#pragma once
// Runs of the built fwsend-gang for the end-to-end tests: its log lines by
// slot, its report read back with a JSON parser, and a standard input that
// the test types into.

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"

namespace fwsend {

// fwsend-gang with these arguments, to its end.
RunResult RunGang(const std::vector<std::string>& arguments, int timeoutMs = 60000);

// The lines of a log whose text after the timestamp starts with prefix,
// without the timestamp; every line of the log must begin with one.
std::vector<std::string> LogLines(const std::string& log, const std::string& prefix);

// Every record of a report, parsed; a line that is not JSON fails the test.
std::vector<nlohmann::json> ReportRecords(const std::string& path);
// The board record of slot in round.
nlohmann::json BoardRecordOf(const std::vector<nlohmann::json>& records, const std::string& slot,
                             int round = 1);

// sha256sum's digest of a file.
std::string Sha256Of(const std::string& path);

// A FIFO that a child takes as standard input, and our end of it, which
// types lines into it; closing it ends the child's input.
class TypedInput {
public:
    explicit TypedInput(const ScratchDir& scratch);
    ~TypedInput() { Close(); }
    TypedInput(const TypedInput&) = delete;
    TypedInput& operator=(const TypedInput&) = delete;

    // fwsend-gang with these arguments, reading the FIFO.
    ChildProcess StartGang(const std::vector<std::string>& arguments, const std::string& stderrFile);
    // Opens our end once the child has opened its own; false at the timeout.
    bool Connect(int timeoutMs = 10000);
    bool Type(const std::string& text);
    void Close();

private:
    std::string path_;
    int fd_ = -1;
};

}  // namespace fwsend
