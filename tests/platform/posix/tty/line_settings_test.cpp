#include "platform/posix/tty/line_settings.h"

#include <gtest/gtest.h>
#include <termios.h>

namespace fwsend::posix {

namespace {

#ifdef CMSPAR
constexpr tcflag_t kConstantParity = CMSPAR;
#else
constexpr tcflag_t kConstantParity = 0;
#endif

TtyFlags FlagsFor(const LineSettings& settings) {
    const auto flags = TtyFlagsFor(settings);
    EXPECT_TRUE(flags.has_value());
    return flags.value_or(TtyFlags{});
}

TEST(TtyFlags, RawModeWithoutFlowControl) {
    const auto flags = FlagsFor(LineSettings{});
    // Nothing translates, interprets or swallows a byte: 0x11, 0x13, 0x03,
    // CR and LF reach the other side unchanged.
    EXPECT_EQ(flags.lflag & (ICANON | ECHO | ECHOE | ECHONL | ISIG | IEXTEN), 0u);
    EXPECT_EQ(flags.oflag & OPOST, 0u);
    EXPECT_EQ(flags.iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF | IXANY | BRKINT | PARMRK), 0u);
    EXPECT_EQ(flags.cflag & CRTSCTS, 0u);
    EXPECT_EQ(flags.cflag & (CLOCAL | CREAD), CLOCAL | CREAD);
    // read() must not block nor wait in tenths of seconds.
    EXPECT_EQ(flags.vtime, 0);
    EXPECT_EQ(flags.vmin, 1);
}

TEST(TtyFlags, DataBits) {
    const std::pair<int, tcflag_t> sizes[] = {{5, CS5}, {6, CS6}, {7, CS7}, {8, CS8}};
    for (const auto& [bits, flag] : sizes) {
        LineSettings settings;
        settings.dataBits = bits;
        EXPECT_EQ(FlagsFor(settings).cflag & CSIZE, flag) << bits << " data bits";
    }
    for (int bits : {0, 4, 9}) {
        LineSettings settings;
        settings.dataBits = bits;
        EXPECT_FALSE(TtyFlagsFor(settings)) << bits << " data bits";
    }
}

TEST(TtyFlags, ParityOnTheWireIsIndependentOfChecking) {
    struct Case {
        LineParity parity;
        tcflag_t cflag;
    };
    const Case cases[] = {
        {LineParity::None, 0},
        {LineParity::Odd, PARENB | PARODD},
        {LineParity::Even, PARENB},
#ifdef CMSPAR
        {LineParity::Mark, PARENB | PARODD | CMSPAR},
        {LineParity::Space, PARENB | CMSPAR},
#endif
    };
    for (const auto& c : cases) {
        for (bool check : {false, true}) {
            LineSettings settings;
            settings.parity = c.parity;
            settings.checkParity = check;
            const auto flags = FlagsFor(settings);
            EXPECT_EQ(flags.cflag & (PARENB | PARODD | kConstantParity), c.cflag)
                << static_cast<int>(c.parity) << " check " << check;
            EXPECT_EQ((flags.iflag & INPCK) != 0, check) << static_cast<int>(c.parity);
        }
    }
}

TEST(TtyFlags, StopBits) {
    LineSettings settings;
    EXPECT_EQ(FlagsFor(settings).cflag & CSTOPB, 0u);
    settings.stopBits = LineStopBits::Two;
    EXPECT_EQ(FlagsFor(settings).cflag & CSTOPB, static_cast<tcflag_t>(CSTOPB));
}

}  // namespace

}  // namespace fwsend::posix
