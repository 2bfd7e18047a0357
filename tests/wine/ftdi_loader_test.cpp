// ComFTDI with its real Windows loader against the stand-in FTD2XX.dll that
// lies beside this program: the DLL is found, its functions are called with
// our arguments and their answers come back.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "transport/com_ftdi.h"

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
