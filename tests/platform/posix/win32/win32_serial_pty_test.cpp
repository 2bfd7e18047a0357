// The Windows serial calls on a pseudo-terminal: the port is the slave side,
// opened through CreateFileA by its path; the test plays the target on the
// master side. A pseudo-terminal keeps the rate and the raw flags (which the
// master reads back) but forces 8 data bits and drops PARENB, so parity is
// covered by the flag tests instead.
#include "platform/win32_serial.h"
#include "tests/support/read_timeouts.h"
#include "transport/serial_dcb.h"

#include "tests/support/tty_speeds.h"
#include "tools/pty_pair.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <numeric>
#include <thread>
#include <vector>

namespace fwsend::posix {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

milliseconds Since(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

HANDLE OpenPort(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

class PtyPort : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty_.IsOpen());
        port_ = OpenPort(pty_.SlavePath());
        ASSERT_NE(port_, INVALID_HANDLE_VALUE);
        DCB dcb = SerialDcb(115200, EVENPARITY);
        ASSERT_TRUE(SetupComm(port_, 1024, 1024));
        ASSERT_TRUE(SetCommState(port_, &dcb));
    }
    void TearDown() override {
        if (port_ != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(CloseHandle(port_));
        }
    }

    void SetTimeouts(COMMTIMEOUTS t) { ASSERT_TRUE(SetCommTimeouts(port_, &t)); }

    // ReadFile's result and count.
    std::pair<BOOL, DWORD> Read(std::vector<std::uint8_t>& buffer) {
        DWORD n = 12345;
        BOOL const ok = ReadFile(port_, buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr);
        return {ok, n};
    }

    PtyPair pty_;
    HANDLE port_ = INVALID_HANDLE_VALUE;
};

TEST_F(PtyPort, LineIsRawWithoutFlowControl) {
    termios tio{};
    ASSERT_EQ(::tcgetattr(pty_.Master(), &tio), 0);  // the slave's settings
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF | ISTRIP), 0u);
    EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(tio.c_cc[VTIME], 0);

    DCB dcb = SerialDcb(9600, EVENPARITY);
    dcb.StopBits = TWOSTOPBITS;
    ASSERT_TRUE(SetCommState(port_, &dcb));
    ASSERT_EQ(::tcgetattr(pty_.Master(), &tio), 0);
    EXPECT_NE(tio.c_cflag & CSTOPB, 0u);
}

TEST_F(PtyPort, EveryRateOfTheTableIsSetExactly) {
#ifdef __linux__
    // termios2 sets any rate, those Windows has beyond the B constants too.
    const std::vector<DWORD> rates = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                      19200, 38400, 56000, 57600, 115200, 128000, 256000};
#else
    const std::vector<DWORD> rates = {110, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
#endif
    for (DWORD baud : rates) {
        DCB dcb = SerialDcb(baud, EVENPARITY);
        ASSERT_TRUE(SetCommState(port_, &dcb)) << baud;
        const auto speeds = ReadTtySpeeds(pty_.Master());
        EXPECT_EQ(speeds.output, baud);
        EXPECT_EQ(speeds.input, baud);
    }
    DCB bad = SerialDcb(9600, EVENPARITY);
    bad.ByteSize = 9;
    EXPECT_FALSE(SetCommState(port_, &bad));
}

TEST_F(PtyPort, TimeoutsReadBack) {
    COMMTIMEOUTS got{1, 2, 3, 4, 5};
    ASSERT_TRUE(GetCommTimeouts(port_, &got));
    EXPECT_EQ(got.ReadIntervalTimeout + got.ReadTotalTimeoutMultiplier + got.ReadTotalTimeoutConstant +
                  got.WriteTotalTimeoutMultiplier + got.WriteTotalTimeoutConstant,
              0u);
    SetTimeouts({4000, 4000, 4000, 0, 7});
    ASSERT_TRUE(GetCommTimeouts(port_, &got));
    EXPECT_EQ(got.ReadIntervalTimeout, 4000u);
    EXPECT_EQ(got.ReadTotalTimeoutConstant, 4000u);
    EXPECT_EQ(got.WriteTotalTimeoutConstant, 7u);
}

TEST_F(PtyPort, DrainReadTimesOutAfterTwoMillisecondsNotBefore) {
    SetTimeouts(ReadTimeouts(1, 1, 1));
    std::vector<std::uint8_t> buffer(1);
    const auto start = Clock::now();
    const auto [ok, n] = Read(buffer);
    const auto elapsed = Clock::now() - start;
    EXPECT_TRUE(ok);
    EXPECT_EQ(n, 0u);
    EXPECT_GE(elapsed, milliseconds(2));
    EXPECT_LT(elapsed, milliseconds(500));
}

TEST_F(PtyPort, ReadEndsWhenCountArrives) {
    SetTimeouts(ReadTimeouts(5000, 5000, 5000));
    ASSERT_TRUE(pty_.Send({1, 2, 3, 4}));
    std::vector<std::uint8_t> buffer(4);
    const auto start = Clock::now();
    const auto [ok, n] = Read(buffer);
    EXPECT_TRUE(ok);
    EXPECT_EQ(n, 4u);
    EXPECT_LT(Since(start), milliseconds(1000));
    EXPECT_EQ(buffer, (std::vector<std::uint8_t>{1, 2, 3, 4}));
}

TEST_F(PtyPort, IntervalEndsAPartialRead) {
    SetTimeouts(ReadTimeouts(50, 0, 10000));
    ASSERT_TRUE(pty_.Send({7, 8, 9}));
    std::vector<std::uint8_t> buffer(10);
    const auto start = Clock::now();
    const auto [ok, n] = Read(buffer);
    EXPECT_TRUE(ok);
    EXPECT_EQ(n, 3u);
    EXPECT_GE(Since(start), milliseconds(50));
    EXPECT_LT(Since(start), milliseconds(3000));
}

TEST_F(PtyPort, TotalTimeoutEndsARead) {
    SetTimeouts(ReadTimeouts(0, 10, 50));  // 10 ms x 10 bytes + 50 ms
    ASSERT_TRUE(pty_.Send({5, 6}));
    std::vector<std::uint8_t> buffer(10);
    const auto start = Clock::now();
    const auto [ok, n] = Read(buffer);
    EXPECT_TRUE(ok);
    EXPECT_EQ(n, 2u);
    EXPECT_GE(Since(start), milliseconds(150));
    EXPECT_LT(Since(start), milliseconds(3000));
}

TEST_F(PtyPort, ZeroTimeoutsWaitForEveryByte) {
    SetTimeouts(ReadTimeouts(0, 0, 0));
    std::thread target([this] {
        for (std::uint8_t b : {1, 2, 3}) {
            std::this_thread::sleep_for(milliseconds(30));
            pty_.Send({b});
        }
    });
    std::vector<std::uint8_t> buffer(3);
    const auto [ok, n] = Read(buffer);
    target.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(n, 3u);
}

TEST_F(PtyPort, MaxIntervalReturnsWhatIsThere) {
    SetTimeouts(ReadTimeouts(MAXDWORD, 0, 0));
    std::vector<std::uint8_t> buffer(10);
    auto start = Clock::now();
    auto [ok, n] = Read(buffer);
    EXPECT_TRUE(ok);
    EXPECT_EQ(n, 0u);
    EXPECT_LT(Since(start), milliseconds(100));

    ASSERT_TRUE(pty_.Send({1, 2}));
    std::this_thread::sleep_for(milliseconds(20));
    std::tie(ok, n) = Read(buffer);
    EXPECT_TRUE(ok);
    EXPECT_EQ(n, 2u);
}

TEST_F(PtyPort, HugeTimeoutsStillWait) {
    SetTimeouts(ReadTimeouts(0, MAXDWORD, 1));  // MAXDWORD + 1 wraps to 0 in 32 bits
    std::thread target([this] {
        std::this_thread::sleep_for(milliseconds(50));
        pty_.Send({0x42});
    });
    std::vector<std::uint8_t> buffer(1);
    const auto [ok, n] = Read(buffer);
    target.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(n, 1u);
}

TEST_F(PtyPort, HangUpFailsTheReadAtOnce) {
    SetTimeouts(ReadTimeouts(0, 0, 20000));
    std::thread target([this] {
        std::this_thread::sleep_for(milliseconds(50));
        pty_.Close();
    });
    std::vector<std::uint8_t> buffer(1);
    auto start = Clock::now();
    auto [ok, n] = Read(buffer);
    target.join();
    EXPECT_FALSE(ok);
    EXPECT_LT(Since(start), milliseconds(5000));

    start = Clock::now();  // already gone when the read starts
    std::tie(ok, n) = Read(buffer);
    EXPECT_FALSE(ok);
    EXPECT_LT(Since(start), milliseconds(1000));

    DWORD written = 0;
    EXPECT_FALSE(WriteFile(port_, buffer.data(), 1, &written, nullptr));
}

TEST_F(PtyPort, BytesReceivedBeforeAHangUpAreKept) {
    SetTimeouts(ReadTimeouts(0, 0, 20000));
    std::thread target([this] {
        pty_.Send({0x11, 0x13});
        std::this_thread::sleep_for(milliseconds(50));
        pty_.Close();
    });
    std::vector<std::uint8_t> buffer(10);
    const auto start = Clock::now();
    auto [ok, n] = Read(buffer);
    target.join();
    EXPECT_TRUE(ok);
    ASSERT_EQ(n, 2u);
    EXPECT_EQ(buffer[1], 0x13);
    EXPECT_LT(Since(start), milliseconds(5000));
    std::tie(ok, n) = Read(buffer);  // the loss shows on the next read
    EXPECT_FALSE(ok);
}

TEST_F(PtyPort, EveryByteValuePassesBothWays) {
    std::vector<std::uint8_t> all(256);
    std::iota(all.begin(), all.end(), 0);
    SetTimeouts(ReadTimeouts(0, 0, 5000));

    DWORD written = 0;
    ASSERT_TRUE(WriteFile(port_, all.data(), 256, &written, nullptr));
    EXPECT_EQ(written, 256u);
    EXPECT_EQ(pty_.Receive(256, milliseconds(5000)), all);

    ASSERT_TRUE(pty_.Send(all));
    std::vector<std::uint8_t> buffer(256);
    const auto [ok, n] = Read(buffer);
    EXPECT_TRUE(ok);
    EXPECT_EQ(n, 256u);
    EXPECT_EQ(buffer, all);
}

TEST_F(PtyPort, LargeWriteSendsEveryByte) {
    std::vector<std::uint8_t> data(64 * 1024);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    std::vector<std::uint8_t> received;
    std::thread target([&] { received = pty_.Receive(data.size(), milliseconds(20000)); });
    DWORD written = 0;
    BOOL const ok = WriteFile(port_, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    target.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(written, data.size());
    EXPECT_TRUE(received == data);
}

TEST_F(PtyPort, WriteTimeoutLimitsABlockedWrite) {
    SetTimeouts({0, 0, 0, 0, 100});
    std::vector<std::uint8_t> data(1024 * 1024);  // more than the pty buffers hold
    DWORD written = 0;
    const auto start = Clock::now();
    EXPECT_TRUE(WriteFile(port_, data.data(), static_cast<DWORD>(data.size()), &written, nullptr));
    EXPECT_LT(written, data.size());
    EXPECT_GE(Since(start), milliseconds(100));
    EXPECT_LT(Since(start), milliseconds(5000));
}

TEST_F(PtyPort, AWriteWithoutATimeoutStillEndsWhenTheFarEndNeverReads) {
    // A target that stops reading, or a wedged converter: the queue is full.
    // Filled through a second descriptor, since a timed-out write of ours
    // would discard what it left queued.
    const int filler = ::open(pty_.SlavePath().c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(filler, 0);
    const std::vector<std::uint8_t> block(4096);
    // Full once the kernel has moved what it can to the far end's buffer.
    for (int stillFull = 0; stillFull < 3;) {
        if (::write(filler, block.data(), block.size()) > 0) {
            stillFull = 0;
            continue;
        }
        ++stillFull;
        std::this_thread::sleep_for(milliseconds(50));
    }
    ::close(filler);
    DWORD written = 0;

    // Without a write timeout (as ComPort sets none) the bound is twice the
    // byte's time on the wire plus 8 s.
    SetTimeouts({});
    std::uint8_t const byte = 0x42;
    const auto start = Clock::now();
    EXPECT_TRUE(WriteFile(port_, &byte, 1, &written, nullptr));
    EXPECT_EQ(written, 0u);
    EXPECT_GE(Since(start), milliseconds(8000));
    EXPECT_LT(Since(start), milliseconds(20000));
}

TEST_F(PtyPort, PurgeDropsReceivedBytes) {
    ASSERT_TRUE(pty_.Send({1, 2, 3}));
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_TRUE(PurgeComm(port_, PURGE_TXCLEAR | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_RXABORT));
    SetTimeouts(ReadTimeouts(MAXDWORD, 0, 0));
    std::vector<std::uint8_t> buffer(3);
    const auto [ok, n] = Read(buffer);
    EXPECT_TRUE(ok);
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(PurgeComm(port_, 0x10));
}

TEST_F(PtyPort, EscapeFunctions) {
    // A pseudo-terminal has no modem lines: explicit requests fail.
    for (DWORD f : {SETDTR, CLRDTR, SETRTS, CLRRTS, SETXON, SETXOFF, RESETDEV, DWORD{99}})
        EXPECT_FALSE(EscapeCommFunction(port_, f)) << f;
    EXPECT_TRUE(EscapeCommFunction(port_, SETBREAK));
    EXPECT_TRUE(EscapeCommFunction(port_, CLRBREAK));
}

TEST_F(PtyPort, PortIsExclusive) {
    EXPECT_EQ(OpenPort(pty_.SlavePath()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(OpenPort("COM" + pty_.SlavePath()), INVALID_HANDLE_VALUE);
    ASSERT_TRUE(CloseHandle(port_));
    port_ = OpenPort("COM" + pty_.SlavePath());
    EXPECT_NE(port_, INVALID_HANDLE_VALUE);
}

TEST(Win32SerialOpen, OnlyExistingTerminals) {
    char file[] = "/tmp/fwsend_not_a_tty_XXXXXX";
    const int fd = ::mkstemp(file);
    ASSERT_GE(fd, 0);
    ::close(fd);
    for (const std::string& path : {std::string("/dev/null"), std::string(file), std::string("/tmp"),
                                    std::string("/dev/fwsend-missing"), std::string("COM0"), std::string()})
        EXPECT_EQ(OpenPort(path), INVALID_HANDLE_VALUE) << path;
    ::unlink(file);
    EXPECT_EQ(CreateFileA(nullptr, 0, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
}

TEST(Win32SerialOpen, NoHandleFailsEverywhere) {
    DCB dcb = SerialDcb(9600, EVENPARITY);
    COMMTIMEOUTS t{};
    std::uint8_t byte = 0;
    for (HANDLE h : {INVALID_HANDLE_VALUE, HANDLE{nullptr}}) {
        DWORD n = 5;
        EXPECT_FALSE(SetupComm(h, 1024, 1024));
        EXPECT_FALSE(SetCommState(h, &dcb));
        EXPECT_FALSE(SetCommTimeouts(h, &t));
        EXPECT_FALSE(GetCommTimeouts(h, &t));
        EXPECT_FALSE(PurgeComm(h, PURGE_RXCLEAR));
        EXPECT_FALSE(EscapeCommFunction(h, CLRDTR));
        EXPECT_FALSE(ReadFile(h, &byte, 1, &n, nullptr));
        EXPECT_FALSE(WriteFile(h, &byte, 1, &n, nullptr));
        EXPECT_FALSE(CloseHandle(h));
    }
}

}  // namespace

}  // namespace fwsend::posix
