#include "platform/posix/tty/line_settings.h"

#include <gtest/gtest.h>
#include <termios.h>

namespace fwsend::posix {

namespace {

#ifdef CMSPAR
constexpr tcflag_t constantParity = CMSPAR;
#else
constexpr tcflag_t constantParity = 0;
#endif

TtyFlags flagsFor(const LineSettings& settings)
{
    auto const flags = ttyFlagsFor(settings);
    EXPECT_TRUE(flags.has_value());
    return flags.value_or(TtyFlags{});
}

TEST(TtyFlags, RawModeWithoutFlowControl)
{
    auto const flags = flagsFor(LineSettings{});
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

TEST(TtyFlags, DataBits)
{
    std::pair<int, tcflag_t> const sizes[] = {{5, CS5}, {6, CS6}, {7, CS7}, {8, CS8}};
    for (auto const& [bits, flag] : sizes) {
        LineSettings settings;
        settings.dataBits = bits;
        EXPECT_EQ(flagsFor(settings).cflag & CSIZE, flag) << bits << " data bits";
    }
    for (int bits : {0, 4, 9}) {
        LineSettings settings;
        settings.dataBits = bits;
        EXPECT_FALSE(ttyFlagsFor(settings)) << bits << " data bits";
    }
}

TEST(TtyFlags, ParityOnTheWireIsIndependentOfChecking)
{
    struct Case {
        LineParity parity;
        tcflag_t cflag;
    };
    Case const cases[] = {
        {LineParity::None, 0},
        {LineParity::Odd, PARENB | PARODD},
        {LineParity::Even, PARENB},
#ifdef CMSPAR
        {LineParity::Mark, PARENB | PARODD | CMSPAR},
        {LineParity::Space, PARENB | CMSPAR},
#endif
    };
    for (auto const& c : cases) {
        for (bool check : {false, true}) {
            LineSettings settings;
            settings.parity = c.parity;
            settings.checkParity = check;
            auto const flags = flagsFor(settings);
            EXPECT_EQ(flags.cflag & (PARENB | PARODD | constantParity), c.cflag)
                << static_cast<int>(c.parity) << " check " << check;
            EXPECT_EQ((flags.iflag & INPCK) != 0, check) << static_cast<int>(c.parity);
        }
    }
}

TEST(TtyFlags, StopBits)
{
    LineSettings settings;
    EXPECT_EQ(flagsFor(settings).cflag & CSTOPB, 0u);
    settings.stopBits = LineStopBits::Two;
    EXPECT_EQ(flagsFor(settings).cflag & CSTOPB, static_cast<tcflag_t>(CSTOPB));
}

} // namespace

}  // namespace fwsend::posix
