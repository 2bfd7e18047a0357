// The seam between the gang and one child, against the stub program beside
// this test (child_stub.cpp): the same cases on every platform.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "gang/child_process.h"

namespace fwsend::gang {

namespace {

struct Finished {
    std::string output;
    std::string errors;
    ChildEnd end;
};

std::unique_ptr<ChildProcess> StartStub(const std::vector<std::string>& arguments) {
    std::string error;
    auto child = ChildProcess::Start("./" CHILD_STUB_NAME, arguments, &error);
    EXPECT_TRUE(child) << error;
    return child;
}

// Reads one stream until it holds `until`, or to its end when that is empty.
std::string Read(ChildProcess& child, bool errors, const std::string& until = "") {
    std::string text;
    char buffer[4096];
    long got = 0;
    while ((until.empty() || text.find(until) == std::string::npos) &&
           (got = errors ? child.ReadErrors(buffer, sizeof buffer)
                         : child.ReadOutput(buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(got));
    EXPECT_GE(got, 0) << "a read failed";
    return text;
}

// Both streams at once, as the gang reads them: a child blocked on a full
// pipe would otherwise never end.
Finished RunToEnd(ChildProcess& child) {
    Finished finished;
    std::thread errors([&] { finished.errors = Read(child, true); });
    finished.output = Read(child, false);
    errors.join();
    finished.end = child.Wait();
    return finished;
}

TEST(ChildProcess, OutputAndErrorsArriveApartAndWholeWithTheExitStatus) {
    // Far more than a pipe holds: neither stream gets through unless both
    // are read while the child writes.
    constexpr int kLines = 30000;
    auto child = StartStub({"out", "hello", "err", "oops", "flood", std::to_string(kLines), "exit", "3"});
    ASSERT_TRUE(child);
    std::string output = "hello\n", errors = "oops\n";
    char line[16];
    for (int i = 0; i < kLines; ++i) {
        std::snprintf(line, sizeof line, "o%07d\n", i);
        output += line;
        line[0] = 'e';
        errors += line;
    }
    const Finished finished = RunToEnd(*child);
    EXPECT_TRUE(finished.output == output) << "output differs, " << finished.output.size() << " bytes";
    EXPECT_TRUE(finished.errors == errors) << "errors differ, " << finished.errors.size() << " bytes";
    EXPECT_TRUE(finished.end.exited);
    EXPECT_EQ(finished.end.status, 3);
}

TEST(ChildProcess, ArgumentsArriveIntact) {
    const std::vector<std::string> arguments = {
        "-DDual RS232-HS B", "",       " ",          "say \"hi\"", "\"",
        "C:\\dir\\",         "a\\\\b", "\\\"",       "end\\\\",    "tab\there",
        "-Ffw*.txt",         "x?",     "two\nlines", "plain"};
    std::vector<std::string> stubArguments = {"args"};
    std::string expected;
    for (const std::string& argument : arguments) {
        stubArguments.push_back(argument);
        expected += "[" + argument + "]\n";
    }
    auto child = StartStub(stubArguments);
    ASSERT_TRUE(child);
    EXPECT_EQ(RunToEnd(*child).output, expected);
}

// fwsend's -1 ends as 255, as a POSIX shell shows it, on Windows too.
TEST(ChildProcess, InterruptEndsTheWaitingChildThroughItsOwnEnd) {
    auto child = StartStub({"wait", "exit", "-1"});
    ASSERT_TRUE(child);
    const std::string waiting = Read(*child, false, "waiting\n");
    child->Interrupt();
    const Finished finished = RunToEnd(*child);
    EXPECT_EQ(waiting + finished.output, "waiting\ninterrupted\n");
    EXPECT_TRUE(finished.end.exited);
    EXPECT_EQ(finished.end.status, 255);
}

TEST(ChildProcess, KillEndsItAtOnce) {
    auto child = StartStub({"out", "started", "sleep", "60000"});
    ASSERT_TRUE(child);
    Read(*child, false, "started\n");
    const auto start = std::chrono::steady_clock::now();
    child->Kill();
    const ChildEnd end = RunToEnd(*child).end;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_FALSE(end.exited);
    EXPECT_EQ(end.signal, 9);
}

TEST(ChildProcess, MissingProgramIsAStartFailureWithAReason) {
    std::string error;
    EXPECT_FALSE(ChildProcess::Start("./no_such_program", {}, &error));
    EXPECT_NE(error.find("no_such_program"), std::string::npos) << error;
    EXPECT_GT(error.size(), std::string("./no_such_program: ").size()) << error;
}

// Children started at the same moment from several threads: each quick
// one's pipes reach their end when it ends, while the long ones started
// beside it still run, so that none inherited another's pipe ends.
TEST(ChildProcess, ChildrenStartedTogetherEachReachTheirEnd) {
    constexpr int kThreads = 4, kPairs = 3;
    std::vector<std::unique_ptr<ChildProcess>> sleepers(kThreads * kPairs);
    std::vector<int> ended(kThreads);
    std::vector<std::thread> threads;
    const auto start = std::chrono::steady_clock::now();
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::vector<std::unique_ptr<ChildProcess>> quick;
            for (int i = 0; i < kPairs; ++i) {
                sleepers[t * kPairs + i] = StartStub({"sleep", "40000"});
                quick.push_back(StartStub({"out", "done"}));
            }
            for (auto& child : quick) {
                const Finished finished = RunToEnd(*child);
                ended[t] += finished.output == "done\n" && finished.end.exited && finished.end.status == 0;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30))
        << "a child's pipes stayed open until a sleeper ended";
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(ended[t], kPairs);
    for (auto& child : sleepers)
        if (child) child->Kill();
}

}  // namespace

}  // namespace fwsend::gang
