// The Windows records as the terminal layer reads them: DCB to line
// settings, COMMTIMEOUTS to read and write timing.
#include "platform/posix/win32/win32_records.h"
#include "platform/posix/tty/line_settings.h"
#include "tests/support/read_timeouts.h"
#include "transport/serial_dcb.h"

#include <gtest/gtest.h>
#include <termios.h>

namespace fwsend::posix {

namespace {

using std::chrono::milliseconds;

TEST(Win32Dcb, ComPortRecordGivesEvenParityWithoutChecking) {
    const auto settings = LineSettingsFromDcb(SerialDcb(115200, EVENPARITY));
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->baud, 115200u);
    EXPECT_EQ(settings->dataBits, 8);
    EXPECT_EQ(settings->parity, LineParity::Even);
    EXPECT_FALSE(settings->checkParity);
    EXPECT_EQ(settings->stopBits, LineStopBits::One);
    EXPECT_FALSE(settings->dtr);
    EXPECT_FALSE(settings->rts);

    const auto flags = TtyFlagsFor(*settings);
    ASSERT_TRUE(flags);
    EXPECT_EQ(flags->cflag & (PARENB | PARODD | CSIZE | CSTOPB), PARENB | CS8);
    EXPECT_EQ(flags->iflag & INPCK, 0u);
}

TEST(Win32Dcb, ControlFieldsAndParityChecking) {
    DCB dcb = SerialDcb(115200, EVENPARITY);
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fParity = 1;
    dcb.Parity = MARKPARITY;
    dcb.StopBits = TWOSTOPBITS;
    const auto settings = LineSettingsFromDcb(dcb);
    ASSERT_TRUE(settings);
    EXPECT_TRUE(settings->dtr);
    EXPECT_TRUE(settings->rts);
    EXPECT_TRUE(settings->checkParity);
    EXPECT_EQ(settings->parity, LineParity::Mark);
    EXPECT_EQ(settings->stopBits, LineStopBits::Two);
}

TEST(Win32Dcb, RefusesWhatTheTerminalCannotDo) {
    void (*const changes[])(DCB&) = {
        [](DCB& d) { d.DCBlength = 0; },
        [](DCB& d) { d.DCBlength = sizeof(DCB) + 4; },
        [](DCB& d) { d.BaudRate = 0; },
        [](DCB& d) { d.ByteSize = 4; },
        [](DCB& d) { d.ByteSize = 9; },
        [](DCB& d) { d.StopBits = ONE5STOPBITS; },
        [](DCB& d) { d.StopBits = 3; },
        [](DCB& d) { d.Parity = 5; },
        [](DCB& d) { d.fDtrControl = DTR_CONTROL_HANDSHAKE; },
        [](DCB& d) { d.fRtsControl = RTS_CONTROL_HANDSHAKE; },
        [](DCB& d) { d.fRtsControl = RTS_CONTROL_TOGGLE; },
        [](DCB& d) { d.fOutxCtsFlow = 1; },
        [](DCB& d) { d.fOutxDsrFlow = 1; },
        [](DCB& d) { d.fOutX = 1; },
        [](DCB& d) { d.fInX = 1; },
        [](DCB& d) { d.fNull = 1; },
    };
    int index = 0;
    for (auto change : changes) {
        DCB dcb = SerialDcb(115200, EVENPARITY);
        change(dcb);
        EXPECT_FALSE(LineSettingsFromDcb(dcb)) << "change " << index;
        ++index;
    }
}

TEST(Win32Timeouts, ReadTiming) {
    // ComPort's SetTimeout(1) before a one-byte drain read: up to 2 ms.
    auto timing = ReadTimingFor(ReadTimeouts(1, 1, 1), 1);
    EXPECT_EQ(timing.total, milliseconds(2));
    EXPECT_EQ(timing.interval, milliseconds(1));
    EXPECT_FALSE(timing.returnOnFirstBytes);

    timing = ReadTimingFor(ReadTimeouts(4000, 4000, 4000), 1);
    EXPECT_EQ(timing.total, milliseconds(8000));

    // All zero: wait for every byte.
    timing = ReadTimingFor(ReadTimeouts(0, 0, 0), 10);
    EXPECT_FALSE(timing.total);
    EXPECT_FALSE(timing.interval);

    // Interval only: wait forever for the first byte.
    timing = ReadTimingFor(ReadTimeouts(20, 0, 0), 10);
    EXPECT_FALSE(timing.total);
    EXPECT_EQ(timing.interval, milliseconds(20));

    // MAXDWORD, 0, 0: what is there, at once.
    timing = ReadTimingFor(ReadTimeouts(MAXDWORD, 0, 0), 10);
    EXPECT_EQ(timing.total, milliseconds(0));
    EXPECT_FALSE(timing.returnOnFirstBytes);

    // MAXDWORD, MAXDWORD, c: the first bytes, waiting up to c.
    timing = ReadTimingFor(ReadTimeouts(MAXDWORD, MAXDWORD, 300), 10);
    EXPECT_EQ(timing.total, milliseconds(300));
    EXPECT_TRUE(timing.returnOnFirstBytes);
}

TEST(Win32Timeouts, LargeTotalsDoNotWrap) {
    const auto timing = ReadTimingFor(ReadTimeouts(0, MAXDWORD, MAXDWORD), MAXDWORD);
    ASSERT_TRUE(timing.total);
    EXPECT_EQ(static_cast<std::uint64_t>(timing.total->count()),
              std::uint64_t{MAXDWORD} * MAXDWORD + MAXDWORD);
}

TEST(Win32Timeouts, WriteTiming) {
    COMMTIMEOUTS t{};
    EXPECT_FALSE(WriteTimeoutFor(t, 100));
    t.WriteTotalTimeoutMultiplier = 2;
    t.WriteTotalTimeoutConstant = 50;
    EXPECT_EQ(WriteTimeoutFor(t, 100), milliseconds(250));
}

}  // namespace

}  // namespace fwsend::posix
