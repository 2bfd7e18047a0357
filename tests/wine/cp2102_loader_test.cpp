// ComCP2102 with its real Windows loader against the stand-in SiUSBXp.dll that
// lies beside this program: two loopback bridges, found by their product
// strings; our arguments reach the right bridge and its answers come back.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/win32_serial.h"
#include "transport/com_cp2102.h"

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
    auto read = reinterpret_cast<ReadRecord>(reinterpret_cast<void (*)()>(GetProcAddress(dll, "LoopbackLineRecord")));
    if (read) read(device, &record.baud, &record.lineControl);
    return record;
}

}  // namespace

TEST(Cp2102LoaderTest, OpensEachBridgeByItsDescriptionAndKeepsTheirBytesApart) {
    ComCP2102 first;
    ComCP2102 second;
    ASSERT_TRUE(second.Open("Loopback B", 115200, 2000));
    ASSERT_TRUE(first.Open("Loopback A", 9600, 2000));
    // 8 data bits, no parity, one stop bit.
    EXPECT_EQ(StandInLineRecord(1).baud, 115200u);
    EXPECT_EQ(StandInLineRecord(1).lineControl, 0x0800);
    EXPECT_EQ(StandInLineRecord(0).baud, 9600u);

    // One pair of timeouts for the whole library.
    std::uint32_t ms = 0;
    EXPECT_TRUE(second.GetTimeout(&ms));
    EXPECT_EQ(ms, 2000u);
    EXPECT_TRUE(first.SetTimeout(4000));
    EXPECT_TRUE(second.GetTimeout(&ms));
    EXPECT_EQ(ms, 4000u);

    std::vector<std::uint8_t> sent;
    for (int value = 0; value < 256; ++value) sent.push_back(static_cast<std::uint8_t>(value));
    ASSERT_TRUE(second.Write(sent.data(), static_cast<std::uint32_t>(sent.size())));
    std::vector<std::uint8_t> received(300, 0);
    std::uint32_t got = 99;
    // Fewer bytes than asked, here none, is still a read.
    ASSERT_TRUE(first.Read(received.data(), 300, &got));
    EXPECT_EQ(got, 0u);
    ASSERT_TRUE(second.Read(received.data(), 300, &got));
    ASSERT_EQ(got, 256u);
    received.resize(got);
    EXPECT_EQ(received, sent);

    EXPECT_TRUE(first.Write(sent.data(), 10));
    EXPECT_TRUE(first.Purge());
    EXPECT_TRUE(first.Read(received.data(), 1, &got));
    EXPECT_EQ(got, 0u);

    // A bridge that is open cannot be opened twice; closed, it opens again.
    ComCP2102 again;
    EXPECT_FALSE(again.Open("Loopback B", 115200, 2000));
    EXPECT_TRUE(second.Close());
    EXPECT_FALSE(second.IsOpen());
    EXPECT_TRUE(again.Open("Loopback B", 115200, 2000));
}

TEST(Cp2102LoaderTest, ADescriptionNoBridgeHasFailsToOpen) {
    ComCP2102 bridge;
    EXPECT_FALSE(bridge.Open("Loopback", 115200, 2000));
    EXPECT_FALSE(bridge.Open("Loopback C", 115200, 2000));
    EXPECT_FALSE(bridge.IsOpen());
}
