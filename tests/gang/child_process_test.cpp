// The seam between the gang and one child, against the stub program beside
// this test (child_stub.cpp): the same cases on every platform.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gang/child_process.h"

namespace fwsend::gang {

namespace {

const std::string kStub = "./" CHILD_STUB_NAME;

struct Finished {
    std::string output;
    std::string errors;
    ChildEnd end;
};

std::string ReadToEnd(ChildProcess& child, bool errors) {
    std::string text;
    char buffer[4096];
    long got = 0;
    while ((got = errors ? child.ReadErrors(buffer, sizeof buffer)
                         : child.ReadOutput(buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(got));
    EXPECT_EQ(got, 0) << "a read failed";
    return text;
}

// Both streams at once, each on a thread of its own, as the gang reads them:
// a child blocked on a full pipe would otherwise never end.
Finished RunToEnd(ChildProcess& child) {
    Finished finished;
    std::thread errors([&] { finished.errors = ReadToEnd(child, true); });
    finished.output = ReadToEnd(child, false);
    errors.join();
    finished.end = child.Wait();
    return finished;
}

std::unique_ptr<ChildProcess> StartStub(const std::vector<std::string>& arguments) {
    std::string error;
    auto child = ChildProcess::Start(kStub, arguments, &error);
    EXPECT_TRUE(child) << error;
    return child;
}

// Reads standard output until it holds text.
std::string ReadUntil(ChildProcess& child, const std::string& text) {
    std::string output;
    char buffer[256];
    long got = 0;
    while (output.find(text) == std::string::npos && (got = child.ReadOutput(buffer, sizeof buffer)) > 0)
        output.append(buffer, static_cast<std::size_t>(got));
    return output;
}

TEST(ChildProcess, OutputAndErrorsArriveApartAndWhole) {
    // Far more than a pipe holds, so that neither stream gets through unless
    // both are read while the child writes.
    constexpr int kLines = 30000;
    auto child = StartStub({"out", "hello", "err", "oops", "flood", std::to_string(kLines)});
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
    EXPECT_EQ(finished.end.status, 0);
}

TEST(ChildProcess, ExitStatusAsAPosixParentSeesIt) {
    // fwsend's -1 is 255, as a POSIX shell shows it, on Windows too.
    for (const auto& [code, status] : {std::pair{"0", 0}, {"3", 3}, {"-1", 255}}) {
        auto child = StartStub({"exit", code});
        ASSERT_TRUE(child);
        const ChildEnd end = RunToEnd(*child).end;
        EXPECT_TRUE(end.exited) << code;
        EXPECT_EQ(end.status, status) << code;
    }
}

TEST(ChildProcess, ArgumentsArriveIntact) {
    const std::vector<std::string> arguments = {
        "-DDual RS232-HS B", "",       " ",          "say \"hi\"", "\"",
        "C:\\dir\\",         "a\\\\b", "\\\"",       "end\\\\",    "tab\there",
        "-Ffw*.txt",         "x?",     "two\nlines", "plain"};
    std::vector<std::string> stubArguments = {"args"};
    stubArguments.insert(stubArguments.end(), arguments.begin(), arguments.end());
    auto child = StartStub(stubArguments);
    ASSERT_TRUE(child);
    std::string expected;
    for (const std::string& argument : arguments) expected += "[" + argument + "]\n";
    EXPECT_EQ(RunToEnd(*child).output, expected);
}

TEST(ChildProcess, InterruptEndsTheWaitingChildThroughItsOwnEnd) {
    auto child = StartStub({"wait", "exit", "5"});
    ASSERT_TRUE(child);
    std::string output = ReadUntil(*child, "waiting\n");
    child->Interrupt();
    const Finished finished = RunToEnd(*child);
    EXPECT_EQ(output + finished.output, "waiting\ninterrupted\n");
    EXPECT_TRUE(finished.end.exited);
    EXPECT_EQ(finished.end.status, 5);
}

TEST(ChildProcess, KillEndsItAtOnce) {
    auto child = StartStub({"out", "started", "sleep", "60000"});
    ASSERT_TRUE(child);
    ReadUntil(*child, "started\n");
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

// Children started at the same moment from several threads: each one's
// pipes reach their end when it ends, even while children started beside
// it still run, so that none inherited another's pipe ends.
TEST(ChildProcess, ChildrenStartedTogetherEachReachTheirEnd) {
    constexpr int kThreads = 4, kPairs = 3;
    std::mutex mutex;
    std::vector<std::unique_ptr<ChildProcess>> waiting;
    std::promise<void> go;
    std::shared_future<void> started = go.get_future().share();
    std::vector<std::future<int>> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.push_back(std::async(std::launch::async, [&] {
            started.wait();
            int ended = 0;
            std::vector<std::unique_ptr<ChildProcess>> quick;
            for (int i = 0; i < kPairs; ++i) {
                auto holder = StartStub({"wait"});
                if (holder) {
                    const std::lock_guard<std::mutex> lock(mutex);
                    waiting.push_back(std::move(holder));
                }
                quick.push_back(StartStub({"out", "done"}));
            }
            for (auto& child : quick)
                if (child && RunToEnd(*child).output == "done\n") ++ended;
            return ended;
        }));
    }
    go.set_value();
    int ended = 0;
    for (auto& thread : threads) {
        // A pipe end held by a waiting child would keep a read blocked for
        // as long as that child lives: end them, then fail.
        if (thread.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
            ADD_FAILURE() << "a child's pipes stayed open after it ended";
            const std::lock_guard<std::mutex> lock(mutex);
            for (auto& child : waiting) child->Kill();
        }
        ended += thread.get();
    }
    EXPECT_EQ(ended, kThreads * kPairs);
    for (auto& child : waiting) {
        ReadUntil(*child, "waiting\n");
        child->Interrupt();
        EXPECT_EQ(RunToEnd(*child).output, "interrupted\n");
    }
}

}  // namespace

}  // namespace fwsend::gang
