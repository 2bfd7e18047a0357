#include "upload/upgrade_image.h"

#include "upload/foreign_file.h"

namespace fwsend {

namespace {

// Decodes into the image; the verdict on what stopped the decoding.
ImageCheck Decode(HexTextReader& reader, UpgradeImage& image) {
    ImageCheck check;
    image.count = 0;
    std::uint8_t byte = 0;
    for (;;) {
        const HexItem item = reader.Next(byte);
        if (item == HexItem::End) return check;
        if (item == HexItem::ReadError) {
            check.status = ImageRead::ReadError;
            return check;
        }
        if (item == HexItem::NotHex) {
            check.status = ImageRead::NotHex;
            check.stop = reader.Position();
            if (check.stop.line == 1 && check.stop.column == 1)
                check.looksLike = RecogniseForeignFile(reader.Head(), reader.HeadSize());
            return check;
        }
        if (image.count == IMAGE_CAPACITY) {
            check.status = ImageRead::TooLarge;
            return check;
        }
        image.bytes[image.count++] = byte;
    }
}

}  // namespace

ImageCheck ReadUpgradeImage(std::FILE* file, UpgradeImage& image) {
    HexTextReader reader(file);
    ImageCheck check = Decode(reader, image);
    if (check.status != ImageRead::Ok) return check;
    if (image.count == 0) {
        check.status = ImageRead::NoFrames;
    } else if ((check.brokenFrame = FindBrokenFrame(image)) >= 0) {
        check.status = ImageRead::BrokenFrame;
    }
    return check;
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
