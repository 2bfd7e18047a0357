#include "upload/upgrade_image.h"

namespace fwsend {

namespace {

// One item as the formatted-input conversion reads it: white space skipped,
// then at most two hexadecimal characters; its low 8 bits are the byte.
bool ReadItem(std::FILE* file, std::uint8_t& byte) {
    unsigned int value = 0;
    if (std::fscanf(file, "%2X", &value) != 1) return false;
    byte = static_cast<std::uint8_t>(value & 0xffu);
    return true;
}

}  // namespace

ImageRead ReadUpgradeImage(std::FILE* file, UpgradeImage& image) {
    image.count = 0;
    while (image.count < IMAGE_CAPACITY && ReadItem(file, image.bytes[image.count])) ++image.count;
    if (image.count == IMAGE_CAPACITY) {
        std::uint8_t extra = 0;
        if (ReadItem(file, extra)) return ImageRead::TooLarge;
    }
    return std::ferror(file) ? ImageRead::ReadError : ImageRead::Ok;
}

std::int32_t FindBrokenFrame(const UpgradeImage& image) {
    std::int32_t pos = 0;
    while (pos < image.count) {
        if (image.count - pos < UpgradeFrame::kLengthBytes) return pos;
        if (UpgradeFrame::SizeAt(image, pos) > image.count - pos) return pos;
        pos += UpgradeFrame::SizeAt(image, pos);
    }
    return -1;
}

}  // namespace fwsend
