// The simulated target on its own, driven straight through its pty: the
// other end-to-end tests trust what it answers and what it records.

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "tests/support/sim_target_process.h"
#include "tests/support/upgrade_file.h"

namespace fwsend {

namespace {

constexpr int kTimedOut = -1;
constexpr int kHungUp = -2;

// The tool's side of the link, kept as plain as possible.
class SlaveLink {
public:
    explicit SlaveLink(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY)) {
        termios settings{};
        if (fd_.Valid() && tcgetattr(fd_.Get(), &settings) == 0) {
            cfmakeraw(&settings);
            tcsetattr(fd_.Get(), TCSANOW, &settings);
        }
    }
    bool Valid() const { return fd_.Valid(); }
    bool Send(const Bytes& bytes) {
        return ::write(fd_.Get(), bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    int ReadByte(int timeoutMs) {
        pollfd in{fd_.Get(), POLLIN, 0};
        if (poll(&in, 1, timeoutMs) <= 0) return kTimedOut;
        std::uint8_t byte = 0;
        return ::read(fd_.Get(), &byte, 1) == 1 ? byte : kHungUp;
    }

private:
    UniqueFd fd_;
};

Bytes Frame(std::size_t payloadLength) { return MakeImage({payloadLength}); }

class SimTargetTest : public ::testing::Test {
protected:
    // A fatal failure here returns from Launch only: callers wrap it in
    // ASSERT_NO_FATAL_FAILURE, so that no test goes on without a link.
    void Launch(const std::vector<std::string>& options) {
        ASSERT_TRUE(target_.Start(options));
        link_ = std::make_unique<SlaveLink>(target_.SlavePath());
        ASSERT_TRUE(link_->Valid());
    }
    void TearDown() override { target_.Stop(); }

    SimTarget target_;
    std::unique_ptr<SlaveLink> link_;
};

TEST_F(SimTargetTest, AcceptsFramesAndRecordsThemAsReceived) {
    ASSERT_NO_FATAL_FAILURE(Launch({}));
    const Bytes image = MakeImage({0, 1, 300});
    std::size_t pos = 0;
    for (int size : FrameSizes(image)) {
        ASSERT_TRUE(link_->Send(Bytes(image.begin() + pos, image.begin() + pos + size)));
        EXPECT_EQ(link_->ReadByte(2000), 0x11);
        pos += static_cast<std::size_t>(size);
    }
    EXPECT_EQ(target_.Stop(), 0);
    EXPECT_EQ(target_.ReceivedBytes(), image);
    EXPECT_EQ(target_.StatsLine(),
              "fwsend-target: accepted 3 frames, rejected 0 sends, unanswered 0 frames, received 307 bytes");
}

TEST_F(SimTargetTest, RejectsOnlyTheChosenFrameTheGivenNumberOfTimes) {
    ASSERT_NO_FATAL_FAILURE(Launch({"--reject", "2", "--reject-frame", "1"}));
    const Bytes first = Frame(4), second = Frame(5);
    ASSERT_TRUE(link_->Send(first));
    EXPECT_EQ(link_->ReadByte(2000), 0x11);
    for (int verdict : {0x13, 0x13, 0x11}) {
        ASSERT_TRUE(link_->Send(second));
        EXPECT_EQ(link_->ReadByte(2000), verdict);
    }
    target_.Stop();
    Bytes both = first;
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(target_.ReceivedBytes(), both);
}

TEST_F(SimTargetTest, SendsStaleBytesRightBehindTheVerdict) {
    ASSERT_NO_FATAL_FAILURE(Launch({"--stale", "3"}));
    ASSERT_TRUE(link_->Send(Frame(8)));
    for (int expected : {0x11, 0x13, 0x13, 0x13}) EXPECT_EQ(link_->ReadByte(2000), expected);
    EXPECT_EQ(link_->ReadByte(100), kTimedOut);
}

TEST_F(SimTargetTest, SilentTargetRecordsNothingAndNeverAnswers) {
    ASSERT_NO_FATAL_FAILURE(Launch({"--silent"}));
    ASSERT_TRUE(link_->Send(Frame(8)));
    EXPECT_EQ(link_->ReadByte(300), kTimedOut);
    target_.Stop();
    EXPECT_TRUE(target_.ReceivedBytes().empty());
}

TEST_F(SimTargetTest, PacedVerdictWaitsForTheWireTime) {
    // Sleeping and busy-waiting (--precise) targets keep the same deadline.
    for (bool precise : {false, true}) {
        std::vector<std::string> options{"--pace", "9600", "--framing", "8E1"};
        if (precise) options.push_back("--precise");
        ASSERT_NO_FATAL_FAILURE(Launch(options));
        // 100 frame bytes + 1 verdict byte, 11 bits each at 9600 baud: 115.7 ms.
        const double start = MonotonicSeconds();
        ASSERT_TRUE(link_->Send(Frame(98)));
        EXPECT_EQ(link_->ReadByte(2000), 0x11) << precise;
        const double elapsed = MonotonicSeconds() - start;
        EXPECT_GE(elapsed, 0.1157) << precise;
        EXPECT_LT(elapsed, 1.0) << precise;
        target_.Stop();
        EXPECT_EQ(target_.ReceivedBytes(), Frame(98)) << precise;
    }
}

TEST_F(SimTargetTest, HangsUpWhenTheFrameAfterTheLastAcceptedOneArrives) {
    ASSERT_NO_FATAL_FAILURE(Launch({"--hang-up-after", "1"}));
    ASSERT_TRUE(link_->Send(Frame(8)));
    EXPECT_EQ(link_->ReadByte(2000), 0x11);
    EXPECT_EQ(link_->ReadByte(100), kTimedOut);  // no hang-up before the next frame
    ASSERT_TRUE(link_->Send(Frame(8)));
    EXPECT_EQ(link_->ReadByte(2000), kHungUp);
    EXPECT_EQ(target_.Stop(), 0);
    EXPECT_EQ(target_.ReceivedBytes(), Frame(8));
}

TEST_F(SimTargetTest, ExitsAfterTheGivenFramesOnceTheVerdictWasRead) {
    ASSERT_NO_FATAL_FAILURE(Launch({"--exit-after", "1"}));
    ASSERT_TRUE(link_->Send(Frame(8)));
    EXPECT_EQ(link_->ReadByte(2000), 0x11);
    EXPECT_EQ(link_->ReadByte(2000), kHungUp);
}

TEST_F(SimTargetTest, BabblesWithoutPause) {
    ASSERT_NO_FATAL_FAILURE(Launch({"--babble"}));
    // Read a byte at a time, as a drain does: the line never falls quiet. (The
    // bound is loose because a busy machine may not schedule the target at once.)
    for (int i = 0; i < 100000; ++i) ASSERT_NE(link_->ReadByte(20), kTimedOut) << "after " << i << " bytes";
}

}  // namespace

}  // namespace fwsend
