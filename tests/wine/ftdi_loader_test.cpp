// ComFTDI with its real Windows loader against the stand-in FTD2XX.dll that
// lies beside this program: the DLL is found, its functions are called with
// our arguments and their answers come back.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/win32_serial.h"
#include "transport/com_ftdi.h"

namespace fwsend {

namespace {

// The stand-in's record of FT_SetLatencyTimer: all calls, and the last value
// for its converter; none before the DLL is loaded.
struct LatencyRecord {
    int calls = 0;
    int lastMs = -1;
};

template <typename Function>
Function StandInExport(const char* name) {
    const HMODULE dll = GetModuleHandleA("FTD2XX.dll");
    if (!dll) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(dll, name)));
}

LatencyRecord StandInLatencyRecord() {
    LatencyRecord record;
    if (auto read = StandInExport<void (*)(int*, int*)>("LoopbackLatencyRecord"))
        read(&record.calls, &record.lastMs);
    return record;
}

void StandInRefusesLatencyTimer(BOOL refuse) {
    auto set = StandInExport<void (*)(BOOL)>("LoopbackRefuseLatencyTimer");
    ASSERT_NE(set, nullptr);
    set(refuse);
}

}  // namespace

TEST(FtdiLoaderTest, OpensTheConverterByDescriptionAndPassesBytesBothWays) {
    ComFTDI converter;
    ASSERT_TRUE(converter.Open("Loopback", 115200, 2000));
    EXPECT_TRUE(converter.IsOpen());

    std::uint32_t ms = 0;
    EXPECT_TRUE(converter.GetTimeout(&ms));
    EXPECT_EQ(ms, 2000u);
    EXPECT_TRUE(converter.SetTimeout(4000));
    EXPECT_TRUE(converter.GetTimeout(&ms));
    EXPECT_EQ(ms, 4000u);

    std::vector<std::uint8_t> sent;
    for (int value = 0; value < 256; ++value) sent.push_back(static_cast<std::uint8_t>(value));
    ASSERT_TRUE(converter.Write(sent.data(), static_cast<std::uint32_t>(sent.size())));
    std::vector<std::uint8_t> received(300, 0);
    std::uint32_t got = 0;
    ASSERT_TRUE(converter.Read(received.data(), 300, &got));
    ASSERT_EQ(got, 256u);
    received.resize(got);
    EXPECT_EQ(received, sent);

    EXPECT_TRUE(converter.Write(sent.data(), 10));
    EXPECT_TRUE(converter.Purge());
    EXPECT_TRUE(converter.Read(received.data(), 1, &got));
    EXPECT_EQ(got, 0u);

    EXPECT_TRUE(converter.Close());
    EXPECT_FALSE(converter.IsOpen());
    // The DLL took the close: the converter opens again.
    EXPECT_TRUE(converter.Open("Loopback", 9600, 2000));
}

TEST(FtdiLoaderTest, ADescriptionTheLibraryDoesNotKnowFailsToOpen) {
    ComFTDI converter;
    EXPECT_FALSE(converter.Open("Other", 115200, 2000));
    EXPECT_FALSE(converter.IsOpen());
}

TEST(FtdiLoaderTest, EachOpenedConverterGetsALatencyTimerOf1ms) {
    const int before = StandInLatencyRecord().calls;
    ComFTDI converter;
    ASSERT_TRUE(converter.Open("Loopback", 115200, 2000));
    const LatencyRecord record = StandInLatencyRecord();
    EXPECT_EQ(record.calls, before + 1);
    EXPECT_EQ(record.lastMs, 1);

    // No converter of that description: nothing to set.
    ComFTDI missing;
    EXPECT_FALSE(missing.Open("Other", 115200, 2000));
    EXPECT_EQ(StandInLatencyRecord().calls, before + 1);

    converter.Close();
    ASSERT_TRUE(converter.Open("Loopback", 9600, 2000));
    EXPECT_EQ(StandInLatencyRecord().calls, before + 2);
}

TEST(FtdiLoaderTest, AConverterThatRefusesTheLatencyTimerStillOpens) {
    ComFTDI converter;
    ASSERT_TRUE(converter.Open("Loopback", 115200, 2000));  // loads the stand-in
    converter.Close();
    StandInRefusesLatencyTimer(TRUE);
    const int before = StandInLatencyRecord().calls;

    const bool opened = converter.Open("Loopback", 115200, 2000);
    StandInRefusesLatencyTimer(FALSE);
    EXPECT_TRUE(opened);
    EXPECT_EQ(StandInLatencyRecord().calls, before + 1);
}

}  // namespace fwsend
