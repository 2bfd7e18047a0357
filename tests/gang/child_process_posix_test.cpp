// A gang child on POSIX: in a process group of its own (so the terminal's
// Ctrl-C reaches the gang alone), standard input on the null device, no
// descriptor of the gang but its two pipes, a failed exec a start failure,
// and a signal end told as such.

#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "gang/child_end.h"
#include "gang/child_process.h"
#include "platform/posix/unique_fd.h"

namespace fwsend::gang {
namespace {

std::string ReadAll(ChildProcess& child) {
    std::string text;
    char buffer[256];
    for (long n; (n = child.ReadOutput(buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    return text;
}

TEST(PosixChild, RunsInItsOwnGroupWithNothingOfTheGangButItsPipes) {
    // A descriptor of ours without close-on-exec must not reach the child.
    const UniqueFd inherited(::open("/dev/null", O_RDONLY));
    ASSERT_GE(inherited.Get(), 3);
    std::string error;
    const auto child = ChildProcess::Start("/bin/sh",
                                           {"-c",
                                            "cut -d' ' -f5 /proc/$$/stat; read line; echo \"read $?\"; ls "
                                            "/proc/self/fd | tr '\\n' ' '; echo oops >&2"},
                                           &error);
    ASSERT_TRUE(child) << error;
    std::string errors;
    char buffer[64];
    for (long n; (n = child->ReadErrors(buffer, sizeof buffer)) > 0;)
        errors.append(buffer, static_cast<std::size_t>(n));
    const std::string output = ReadAll(*child);
    const ChildEnd end = child->Wait();
    EXPECT_TRUE(end.exited);
    EXPECT_EQ(end.status, 0);
    EXPECT_EQ(errors, "oops\n");

    const long group = std::stol(output);
    EXPECT_NE(group, static_cast<long>(::getpgrp()));
    EXPECT_NE(output.find("read 1"), std::string::npos) << "standard input was not at its end: " << output;
    // ls itself holds 0, 1, 2 and the folder it lists (3).
    const std::string descriptors = "\n0 1 2 3 ";
    EXPECT_EQ(output.substr(output.size() - descriptors.size()), descriptors) << output;
}

TEST(PosixChild, AProgramThatCannotRunIsAStartFailure) {
    std::string error;
    EXPECT_FALSE(ChildProcess::Start("/nonexistent/fwsend", {}, &error));
    EXPECT_EQ(error, "/nonexistent/fwsend: No such file or directory");
    EXPECT_FALSE(ChildProcess::Start("/dev/null", {}, &error));
    EXPECT_EQ(error, "/dev/null: Permission denied");
}

TEST(PosixChild, OneInterruptReachesItAndASignalEndIsToldAsSuch) {
    std::string error;
    // The gang ignores SIGPIPE; its child must not inherit that.
    std::signal(SIGPIPE, SIG_IGN);
    const auto child = ChildProcess::Start("/bin/sh",
                                           {"-c",
                                            "trap 'echo interrupted; exit 3' INT; grep Sig "
                                            "/proc/self/status; echo ready; while :; do sleep 0.05; done"},
                                           &error);
    std::signal(SIGPIPE, SIG_DFL);
    ASSERT_TRUE(child) << error;
    std::string output;
    char buffer[256];
    while (output.find("ready\n") == std::string::npos) {
        const long n = child->ReadOutput(buffer, sizeof buffer);
        ASSERT_GT(n, 0) << output;
        output.append(buffer, static_cast<std::size_t>(n));
    }
    // SigIgn is a mask in hexadecimal; SIGPIPE is its 13th bit (0x1000).
    const std::size_t ignored = output.find("SigIgn:");
    ASSERT_NE(ignored, std::string::npos) << output;
    EXPECT_EQ(std::stoull(output.substr(ignored + 7), nullptr, 16) & 0x1000, 0u) << output;
    child->Interrupt();
    output += ReadAll(*child);
    const ChildEnd interrupted = child->Wait();
    EXPECT_TRUE(interrupted.exited);
    EXPECT_EQ(interrupted.status, 3);
    EXPECT_NE(output.find("interrupted\n"), std::string::npos);
    EXPECT_EQ(DescribeSignalEnd(interrupted), "");

    const auto killed = ChildProcess::Start("/bin/sleep", {"60"}, &error);
    ASSERT_TRUE(killed) << error;
    killed->Kill();
    const ChildEnd end = killed->Wait();
    EXPECT_FALSE(end.exited);
    EXPECT_EQ(end.signal, SIGKILL);
    EXPECT_EQ(DescribeSignalEnd(end), "killed by signal 9 (SIGKILL)");
    killed->Kill();  // after its end: must reach no other process
}

}  // namespace
}  // namespace fwsend::gang
