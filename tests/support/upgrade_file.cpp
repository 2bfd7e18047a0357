#include "tests/support/upgrade_file.h"

#include <cstdio>
#include <fstream>
#include <numeric>

namespace fwsend {

Bytes MakeImage(const std::vector<std::size_t>& payloadLengths, std::uint32_t seed) {
    Bytes image;
    for (std::size_t length : payloadLengths) {
        image.push_back(static_cast<std::uint8_t>(length >> 8));
        image.push_back(static_cast<std::uint8_t>(length & 0xFF));
        for (std::size_t i = 0; i < length; ++i) {
            seed ^= seed << 13;  // xorshift32: every byte value turns up, 0x11 and 0x13 included
            seed ^= seed >> 17;
            seed ^= seed << 5;
            image.push_back(static_cast<std::uint8_t>(seed));
        }
    }
    return image;
}

bool WriteUpgradeFile(const std::string& path, const Bytes& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) return false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::fprintf(file, "%02X%c", bytes[i], (i % 32 == 31 || i + 1 == bytes.size()) ? '\n' : ' ');
    }
    return std::fclose(file) == 0;
}

Bytes ReadUpgradeFile(const std::string& path) {
    Bytes bytes;
    std::ifstream in(path);
    std::string pair;
    while (in >> pair) bytes.push_back(static_cast<std::uint8_t>(std::stoul(pair, nullptr, 16)));
    return bytes;
}

std::vector<int> FrameSizes(const Bytes& image) {
    std::vector<int> sizes;
    for (std::size_t pos = 0; pos + 1 < image.size();) {
        const int size = image[pos] * 256 + image[pos + 1] + 2;
        sizes.push_back(size);
        pos += static_cast<std::size_t>(size);
    }
    return sizes;
}

std::string Banner() { return "fwsend v1.0 - Firmware upgrade over serial link\n\n"; }

std::string ConnectionLine(const std::string& portName) {
    return "Connection with Serial Com-Port " + portName + "...\n";
}

std::string ProgressRedraws(const std::vector<int>& frameSizes, const std::vector<int>& sendsPerFrame,
                            int count) {
    static const char kSpinner[] = {'-', '-', '\\', '\\', '|', '|', '/', '/'};
    std::string text;
    int acked = 0;
    int send = 0;
    for (std::size_t frame = 0; frame < sendsPerFrame.size(); ++frame) {
        for (int i = 0; i < sendsPerFrame[frame]; ++i, ++send) {
            text += "\r                        \rTransferring.. ";
            text += kSpinner[send % 8];
            text += " " + std::to_string(acked * 100 / count) + "% done.";
        }
        acked += frameSizes[frame];
    }
    return text;
}

std::string SuccessEnd() { return "\rTransferring.. 100% done.  \nTarget updated successfully.\n"; }

}  // namespace fwsend
