#pragma once
// The upgrade file decoded into memory, and the frames laid end to end in it.

#include <array>
#include <cstdint>
#include <cstdio>

namespace fwsend {

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

enum class ImageRead {
    Ok,
    TooLarge,   // the file holds more than IMAGE_CAPACITY bytes
    ReadError,  // the file could not be read to its end
};

// Decodes hexadecimal pairs ("%2X" items) until the end of the file or the
// first item that is not one. Never writes beyond the image's capacity. A
// read error is never taken for the end of the file.
ImageRead ReadUpgradeImage(std::FILE* file, UpgradeImage& image);

// Offset of the first frame that runs past the decoded bytes (a lone final
// byte included), or -1 when the frames tile the image exactly.
std::int32_t FindBrokenFrame(const UpgradeImage& image);

}  // namespace fwsend
