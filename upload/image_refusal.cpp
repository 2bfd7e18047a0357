#include "upload/image_refusal.h"

#include <cstdio>

namespace fwsend {

void PrintImageRefusal(const ImageCheck& check) {
    switch (check.status) {
    case ImageRead::Ok: return;
    case ImageRead::ReadError: std::printf("Error: Upgrade file could not be read to its end.\n"); break;
    case ImageRead::TooLarge:
        std::printf("Error: Upgrade file holds more than %d bytes.\n", static_cast<int>(IMAGE_CAPACITY));
        break;
    case ImageRead::NotHex:
        std::printf("Error: Upgrade file damaged: line %d, column %d is not hexadecimal.\n",
                    static_cast<int>(check.stop.line), static_cast<int>(check.stop.column));
        break;
    case ImageRead::NoFrames: std::printf("Error: Upgrade file holds no frames.\n"); break;
    case ImageRead::BrokenFrame:
        std::printf("Error: Upgrade file damaged: the frame at offset %d runs past the end of the data.\n",
                    static_cast<int>(check.brokenFrame));
        break;
    }
    std::fflush(stdout);
    // The line above is what scripts know; the hint goes beside it.
    if (check.looksLike)
        std::fprintf(
            stderr,
            "fwsend: this looks like %s; fwsend takes the prepared upgrade file (text of hexadecimal "
            "pairs)\n",
            check.looksLike);
}

}  // namespace fwsend
