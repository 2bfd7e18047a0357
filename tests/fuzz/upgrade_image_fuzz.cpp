// libFuzzer target: the upgrade-file reader and its checks on any bytes, fed
// through a stream as the run feeds the file. A finding aborts.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "upload/upgrade_image.h"

namespace fwsend {

namespace {

void Require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "upgrade_image_fuzz: %s\n", what);
    std::abort();
}

bool IsWhiteSpace(std::uint8_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsHexDigit(std::uint8_t c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

struct Reference {
    std::vector<std::uint8_t> bytes;
    int lastResult = 0;  // fscanf's result for the item that ended the loop
};

// The plain fscanf loop that the reader must decode exactly as, one item
// past the capacity at most.
Reference ReferenceDecode(std::vector<std::uint8_t>& text) {
    Reference reference;
    std::FILE* file = fmemopen(text.data(), text.size(), "rb");
    Require(file != nullptr, "fmemopen failed");
    unsigned int value = 0;
    while (reference.bytes.size() <= static_cast<std::size_t>(IMAGE_CAPACITY) &&
           (reference.lastResult = std::fscanf(file, "%2X", &value)) == 1)
        reference.bytes.push_back(static_cast<std::uint8_t>(value & 0xFFu));
    std::fclose(file);
    return reference;
}

// Offset in text of a line and column, or text.size() when there is none.
std::size_t OffsetOf(const std::vector<std::uint8_t>& text, TextPosition at) {
    std::int32_t line = 1;
    std::int32_t column = 1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (line == at.line && column == at.column) return i;
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return text.size();
}

// Walks the frames; true when they end exactly at count.
bool FramesTile(const UpgradeImage& image, std::int32_t count) {
    std::int32_t pos = 0;
    while (pos + 1 < count) pos += UpgradeFrame::SizeAt(image, pos);
    return pos == count;
}

}  // namespace

}  // namespace fwsend

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace fwsend;
    std::vector<std::uint8_t> input(data, data + size);
    input.reserve(size + 1);  // a buffer for fmemopen even when empty
    std::FILE* file = fmemopen(input.data(), input.size(), "rb");
    Require(file != nullptr, "fmemopen failed");
    auto image = std::make_unique<UpgradeImage>();
    const ImageCheck check = ReadUpgradeImage(file, *image);
    std::fclose(file);

    // The reference sees the text as the reader does: without the mark.
    std::vector<std::uint8_t> text = input;
    text.reserve(size + 1);
    if (text.size() >= 3 && text[0] == 0xEF && text[1] == 0xBB && text[2] == 0xBF)
        text.erase(text.begin(), text.begin() + 3);
    Reference reference = ReferenceDecode(text);

    Require(check.status != ImageRead::ReadError, "a stream in memory reported a read error");
    Require(image->count >= 0 && image->count <= IMAGE_CAPACITY, "count outside the image");
    Require(
        reference.bytes.size() >= static_cast<std::size_t>(image->count) &&
            std::equal(image->bytes.begin(), image->bytes.begin() + image->count, reference.bytes.begin()),
        "decoded bytes differ from the fscanf loop");
    if (check.status == ImageRead::TooLarge) {
        Require(reference.bytes.size() > static_cast<std::size_t>(IMAGE_CAPACITY),
                "too large, yet fscanf ran short");
        return 0;
    }
    Require(reference.bytes.size() == static_cast<std::size_t>(image->count), "the fscanf loop decoded more");

    if (check.status == ImageRead::NotHex) {
        Require(reference.lastResult == 0, "refused where fscanf reached the end");
        const std::size_t at = OffsetOf(text, check.stop);
        Require(at < text.size(), "the place of the refusal lies outside the file");
        Require(!IsWhiteSpace(text[at]) && !IsHexDigit(text[at]),
                "the refused character is white space or hex");
        Require(!check.looksLike || (check.stop.line == 1 && check.stop.column == 1),
                "a hint for a refusal other than at line 1, column 1");
        return 0;
    }
    Require(reference.lastResult == EOF, "fscanf stopped early where the reader reached the end");
    Require(!check.looksLike, "a hint without a refusal of a character");
    switch (check.status) {
    case ImageRead::Ok:
        Require(image->count > 0 && FramesTile(*image, image->count),
                "accepted frames do not tile the image");
        break;
    case ImageRead::NoFrames: Require(image->count == 0, "no frames, yet bytes were decoded"); break;
    case ImageRead::BrokenFrame:
        Require(check.brokenFrame >= 0 && check.brokenFrame < image->count &&
                    FramesTile(*image, check.brokenFrame) && !FramesTile(*image, image->count),
                "the broken frame is not where the frames stop tiling");
        break;
    default: Require(false, "an unexpected verdict");
    }
    return 0;
}
