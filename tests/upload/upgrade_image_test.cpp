#include "upload/upgrade_image.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/scratch_dir.h"

namespace fwsend {

namespace {

std::vector<std::uint8_t> Decode(const std::string& text, ImageCheck* check = nullptr) {
    auto image = std::make_unique<UpgradeImage>();
    std::FILE* file = StreamOf(text);
    const ImageCheck result = ReadUpgradeImage(file, *image);
    std::fclose(file);
    if (check) *check = result;
    return {image->bytes.begin(), image->bytes.begin() + image->count};
}

ImageCheck CheckOf(const std::string& text) {
    ImageCheck check;
    Decode(text, &check);
    return check;
}

using Bytes = std::vector<std::uint8_t>;

const std::string kBom = "\xEF\xBB\xBF";

TEST(UpgradeImageRead, DecodesPairsAcrossAnyWhiteSpace) {
    EXPECT_EQ(Decode("0003aabbcc"), (Bytes{0x00, 0x03, 0xaa, 0xbb, 0xcc}));
    EXPECT_EQ(Decode("00 03\r\nAa\tbB\ncc\n"), (Bytes{0x00, 0x03, 0xaa, 0xbb, 0xcc}));
}

TEST(UpgradeImageRead, SingleDigitsAndOddRunsFollowTheTwoCharacterConversion) {
    EXPECT_EQ(Decode("1 2 3"), (Bytes{0x01, 0x02, 0x03}));
    EXPECT_EQ(Decode("ABC"), (Bytes{0xab, 0x0c}));
}

TEST(UpgradeImageRead, RefusesTheFileAtTheCharacterThatStopsDecoding) {
    const std::string blanksToTheBufferEnd(64 * 1024 - 1, ' ');
    const struct {
        std::string text;
        ImageRead status;
        std::int32_t line;
        std::int32_t column;
    } cases[] = {
        {"0001aa\n0001bb\n;0001cc\n", ImageRead::NotHex, 3, 1},
        {"0001aa 0001bb zz", ImageRead::NotHex, 1, 15},
        {"0001aa\r\n# comment\r\n", ImageRead::NotHex, 2, 1},
        {"0001aa\r\n\t 0000END\r\n", ImageRead::NotHex, 2, 8},  // "E" is a digit
        {"0000+", ImageRead::NotHex, 1, 5},                     // a sign at the end converts nothing
        {"0000 +z", ImageRead::NotHex, 1, 6},                   // the item's start, its sign
        {"0000" + std::string(1, '\0') + "0000", ImageRead::NotHex, 1, 5},
        {kBom + "zz", ImageRead::NotHex, 1, 1},             // the mark takes no column
        {kBom + "0000\n" + kBom, ImageRead::NotHex, 2, 1},  // skipped at the start only
        {blanksToTheBufferEnd + "zz", ImageRead::NotHex, 1, 64 * 1024},
        {"", ImageRead::NoFrames, 1, 1},
        {" \t\r\n\v\f", ImageRead::NoFrames, 1, 1},
        {kBom + "\r\n", ImageRead::NoFrames, 1, 1},
        {"0001aa 00", ImageRead::BrokenFrame, 1, 1},
        {kBom + "0000\r\n0001 7f", ImageRead::Ok, 1, 1},
        {blanksToTheBufferEnd + "00 01 7f", ImageRead::Ok, 1, 1},  // an item across a refill
    };
    for (const auto& c : cases) {
        const ImageCheck check = CheckOf(c.text);
        EXPECT_EQ(check.status, c.status) << c.text;
        if (c.status != ImageRead::NotHex) continue;
        EXPECT_EQ(check.stop.line, c.line) << c.text;
        EXPECT_EQ(check.stop.column, c.column) << c.text;
    }
    EXPECT_EQ(CheckOf("0001aa 00").brokenFrame, 3);
}

TEST(UpgradeImageRead, NamesWhatAFileRefusedAtItsFirstCharacterLooksLike) {
    const struct {
        std::string text;
        const char* looksLike;
    } cases[] = {
        {":10010000214601360121470136007EFE09D2190140\n", "an Intel HEX file"},
        {kBom + ":00000001FF\n", "an Intel HEX file"},
        {"S00F000068656C6C6F202020202000003C\n", "an S-record file"},
        {std::string("\xFF\xFE\x30\x00\x30\x00", 6), "UTF-16 text"},
        {std::string("\xFE\xFF\x00\x30\x00\x30", 6), "UTF-16 text"},
        {std::string("\x7F\x45LF\x02\x01\x01\x00\x00", 9), "a binary file"},
        {"\x80\x91\xA2\xB3 bits", "a binary file"},              // 4 of 9 bytes neither text nor UTF-8
        {"\x80\x91 and text", nullptr},                          // 2 of 11
        {"Gr\xC3\xBC\xC3\x9F Gott \xE2\x80\x94 Text", nullptr},  // UTF-8 text
        {"SX00", nullptr},
        {"zz", nullptr},
        {" :1000", nullptr},  // not at column 1
        {"00 :1000", nullptr},
    };
    for (const auto& c : cases) {
        const ImageCheck check = CheckOf(c.text);
        EXPECT_EQ(check.status, ImageRead::NotHex) << c.text;
        EXPECT_STREQ(check.looksLike, c.looksLike) << c.text;
    }
}

TEST(UpgradeImageRead, AcceptsAFileOfExactlyTheCapacity) {
    // Frames of 256 bytes: 00fe and 254 payload bytes.
    std::string text;
    for (int i = 0; i < IMAGE_CAPACITY / 256; ++i) text += "00fe" + std::string(2 * 254, '5') + "\n";
    ImageCheck check;
    EXPECT_EQ(Decode(text, &check).size(), static_cast<std::size_t>(IMAGE_CAPACITY));
    EXPECT_EQ(check.status, ImageRead::Ok);
    // Behind the full image, a character that is no item is refused as such.
    EXPECT_EQ(CheckOf(text + "zz").status, ImageRead::NotHex);
}

TEST(UpgradeImageRead, RefusesAFileBeyondTheCapacityWithoutOverrunning) {
    ImageCheck check;
    std::string text;
    for (int i = 0; i <= IMAGE_CAPACITY; ++i) text += "5a ";
    EXPECT_EQ(Decode(text + "zz", &check).size(), static_cast<std::size_t>(IMAGE_CAPACITY));
    EXPECT_EQ(check.status, ImageRead::TooLarge);  // before the character that is not hex
}

#ifdef __GLIBC__
// A stream that holds its text and then fails, as a file on a failing disk
// or a vanished network share does.
ssize_t ReadThenFail(void* cookie, char* buffer, size_t size) {
    auto* left = static_cast<std::string*>(cookie);
    if (left->empty()) {
        errno = EIO;
        return -1;
    }
    const size_t n = std::min(size, left->size());
    std::memcpy(buffer, left->data(), n);
    left->erase(0, n);
    return static_cast<ssize_t>(n);
}

TEST(UpgradeImageRead, AReadErrorPartWayIsNoEndOfFileAndComesFirst) {
    for (std::string data : {"0002 abcd ", "0002 abcd zz"}) {
        cookie_io_functions_t io{};
        io.read = ReadThenFail;
        std::FILE* file = fopencookie(&data, "r", io);
        ASSERT_NE(file, nullptr);
        auto image = std::make_unique<UpgradeImage>();
        EXPECT_EQ(ReadUpgradeImage(file, *image).status, ImageRead::ReadError);
        std::fclose(file);
    }
}
#endif

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
