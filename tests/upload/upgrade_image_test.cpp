#include "upload/upgrade_image.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/scratch_dir.h"

namespace fwsend {

namespace {

std::vector<std::uint8_t> Decode(const std::string& text, ImageRead* status = nullptr) {
    auto image = std::make_unique<UpgradeImage>();
    std::FILE* file = StreamOf(text);
    ImageRead result = ReadUpgradeImage(file, *image);
    std::fclose(file);
    if (status) *status = result;
    return {image->bytes.begin(), image->bytes.begin() + image->count};
}

using Bytes = std::vector<std::uint8_t>;

TEST(UpgradeImageRead, DecodesPairsAcrossAnyWhiteSpace) {
    EXPECT_EQ(Decode("0003aabbcc"), (Bytes{0x00, 0x03, 0xaa, 0xbb, 0xcc}));
    EXPECT_EQ(Decode("00 03\r\nAa\tbB\ncc\n"), (Bytes{0x00, 0x03, 0xaa, 0xbb, 0xcc}));
}

TEST(UpgradeImageRead, SingleDigitsAndOddRunsFollowTheTwoCharacterConversion) {
    EXPECT_EQ(Decode("1 2 3"), (Bytes{0x01, 0x02, 0x03}));
    EXPECT_EQ(Decode("ABC"), (Bytes{0xab, 0x0c}));
}

TEST(UpgradeImageRead, StopsQuietlyAtTheFirstItemThatIsNotHex) {
    EXPECT_EQ(Decode("0102 zz 0304"), (Bytes{0x01, 0x02}));
    EXPECT_TRUE(Decode("").empty());
    EXPECT_TRUE(Decode("hello").empty());
}

TEST(UpgradeImageRead, AcceptsAFileOfExactlyTheCapacity) {
    ImageRead status{};
    std::string text;
    for (int i = 0; i < IMAGE_CAPACITY; ++i) text += "5a";
    EXPECT_EQ(Decode(text + "\n", &status).size(), static_cast<std::size_t>(IMAGE_CAPACITY));
    EXPECT_EQ(status, ImageRead::Ok);
}

TEST(UpgradeImageRead, RefusesAFileBeyondTheCapacityWithoutOverrunning) {
    ImageRead status{};
    std::string text;
    for (int i = 0; i <= IMAGE_CAPACITY; ++i) text += "5a ";
    EXPECT_EQ(Decode(text, &status).size(), static_cast<std::size_t>(IMAGE_CAPACITY));
    EXPECT_EQ(status, ImageRead::TooLarge);
}

std::int32_t BrokenFrameOf(const Bytes& bytes) {
    auto image = std::make_unique<UpgradeImage>();
    std::copy(bytes.begin(), bytes.end(), image->bytes.begin());
    image->count = static_cast<std::int32_t>(bytes.size());
    return FindBrokenFrame(*image);
}

TEST(UpgradeImageFrames, FramesThatTileTheImageAreSound) {
    EXPECT_EQ(BrokenFrameOf({}), -1);
    EXPECT_EQ(BrokenFrameOf({0x00, 0x03, 0xaa, 0xbb, 0xcc}), -1);
    EXPECT_EQ(BrokenFrameOf({0x00, 0x00, 0x00, 0x01, 0x7f}), -1);  // an empty payload, then one byte
}

TEST(UpgradeImageFrames, NamesTheOffsetOfTheFrameThatRunsPastTheData) {
    EXPECT_EQ(BrokenFrameOf({0x00, 0x04, 0xaa, 0xbb, 0xcc}), 0);
    EXPECT_EQ(BrokenFrameOf({0x00, 0x01, 0xaa, 0x00, 0x05, 0x01}), 3);
    EXPECT_EQ(BrokenFrameOf({0x00, 0x01, 0xaa, 0x00}), 3);  // a lone final byte
    EXPECT_EQ(BrokenFrameOf({0xff, 0xff}), 0);              // the longest frame, with no payload present
}

}  // namespace

}  // namespace fwsend
