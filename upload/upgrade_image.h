#pragma once
// The upgrade file decoded into memory, and the frames laid end to end in it.

#include <array>
#include <cstdint>
#include <cstdio>

#include "upload/hex_text.h"

namespace fwsend {

// NOLINTNEXTLINE(readability-identifier-naming): the protocol's own name
constexpr std::int32_t IMAGE_CAPACITY = 262144;

struct UpgradeImage {
    std::array<std::uint8_t, IMAGE_CAPACITY> bytes;
    std::int32_t count = 0;
};

// One frame: its payload length as two big-endian bytes, then the payload.
struct UpgradeFrame {
    static constexpr std::int32_t kLengthBytes = 2;

    // Bytes of the frame at pos, length bytes included. pos + 1 must lie
    // within the image's data.
    static std::int32_t SizeAt(const UpgradeImage& image, std::int32_t pos) {
        return image.bytes[pos] * 256 + image.bytes[pos + 1] + kLengthBytes;
    }
};

// The verdict on a file, in the order it is judged: a file that cannot be
// read is not judged further.
enum class ImageRead {
    Ok,           // at least one frame, and the frames tile the data
    ReadError,    // the file could not be read to its end
    TooLarge,     // the file holds more than IMAGE_CAPACITY bytes
    NotHex,       // decoding stopped at a character that is not hexadecimal
    NoFrames,     // nothing but white space
    BrokenFrame,  // a frame runs past the end of the data
};

struct ImageCheck {
    ImageRead status = ImageRead::Ok;
    TextPosition stop;                // NotHex: the character that stopped decoding
    const char* looksLike = nullptr;  // NotHex at line 1, column 1: what the file seems to be, if known
    std::int32_t brokenFrame = -1;    // BrokenFrame: the offset of that frame
};

// Decodes the whole file ("%2X" items across white space) and checks it.
// Never writes beyond the image's capacity; a read error is never taken
// for the end of the file. Only an Ok image may be uploaded.
ImageCheck ReadUpgradeImage(std::FILE* file, UpgradeImage& image);

// Offset of the first frame that runs past the decoded bytes (a lone final
// byte included), or -1 when the frames tile the image exactly.
std::int32_t FindBrokenFrame(const UpgradeImage& image);

}  // namespace fwsend
