// ComCP2102 with its real Windows loader against the stand-in SiUSBXp.dll that
// lies beside this program: two loopback bridges, found by their product
// strings. The uploads through it are in e2e.sh; this checks what an upload
// cannot show: what each bridge was given, and which names open nothing.

#include <gtest/gtest.h>

#include <cstdint>

#include "platform/win32_serial.h"
#include "transport/com_cp2102.h"

namespace fwsend {

namespace {

struct LineRecord {
    DWORD baud = 0;
    WORD lineControl = 0;
};

// What the stand-in's bridge (0 for A, 1 for B) was last given.
LineRecord StandInLineRecord(DWORD device) {
    LineRecord record;
    const HMODULE dll = GetModuleHandleA("SiUSBXp.dll");
    if (!dll) return record;
    using ReadRecord = void (*)(DWORD, DWORD*, WORD*);
    auto read =
        reinterpret_cast<ReadRecord>(reinterpret_cast<void (*)()>(GetProcAddress(dll, "LoopbackLineRecord")));
    if (read) read(device, &record.baud, &record.lineControl);
    return record;
}

}  // namespace

TEST(Cp2102LoaderTest, EachBridgeGetsItsLineAndTheLibraryOnePairOfTimeouts) {
    ComCP2102 second;
    ComCP2102 first;
    ASSERT_TRUE(second.Open("Loopback B", 115200, 2000));
    ASSERT_TRUE(first.Open("Loopback A", 9600, 2000));
    EXPECT_EQ(StandInLineRecord(1).baud, 115200u);
    EXPECT_EQ(StandInLineRecord(1).lineControl, 0x0800);  // 8 data bits, no parity, one stop bit
    EXPECT_EQ(StandInLineRecord(0).baud, 9600u);

    std::uint32_t ms = 0;
    EXPECT_TRUE(first.SetTimeout(4000));
    EXPECT_TRUE(second.GetTimeout(&ms));
    EXPECT_EQ(ms, 4000u);

    // An open bridge does not open twice; closed, it opens again.
    ComCP2102 again;
    EXPECT_FALSE(again.Open("Loopback B", 115200, 2000));
    EXPECT_TRUE(second.Close());
    EXPECT_TRUE(again.Open("Loopback B", 115200, 2000));
}

TEST(Cp2102LoaderTest, ADescriptionNoBridgeHasOpensNothing) {
    ComCP2102 bridge;
    EXPECT_FALSE(bridge.Open("Loopback", 115200, 2000));
    EXPECT_FALSE(bridge.Open("Loopback C", 115200, 2000));
    EXPECT_FALSE(bridge.IsOpen());
}

}  // namespace fwsend
