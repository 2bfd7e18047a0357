#include "upload/hex_text.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace fwsend {

namespace {

constexpr unsigned char kUtf8Bom[] = {0xEF, 0xBB, 0xBF};

// The fuzz build makes it small, so that its short inputs cross refills.
#ifdef FWSEND_HEX_TEXT_BUFFER
constexpr std::size_t kBufferSize = FWSEND_HEX_TEXT_BUFFER;
#else
constexpr std::size_t kBufferSize = 64 * 1024;
#endif
// The first fill holds the mark and the head; an item needs two bytes.
static_assert(kBufferSize >= sizeof kUtf8Bom + HexTextReader::kHeadSize + 2, "buffer too small");

// Counts without overflowing: a file of gigabytes of blanks is still read.
void Advance(std::int32_t& counter, int by) { counter = by > INT32_MAX - counter ? INT32_MAX : counter + by; }

// isspace() in the C locale, whatever locale the process runs in.
bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

HexTextReader::HexTextReader(std::FILE* file) : file_(file), buffer_(kBufferSize) {
    // fread keeps reading until it has the count or the file ends, so the
    // first fill holds the head of the file even from a pipe.
    Fill(sizeof kUtf8Bom + kHeadSize);
    if (Available() >= sizeof kUtf8Bom && std::memcmp(&buffer_[next_], kUtf8Bom, sizeof kUtf8Bom) == 0)
        next_ += sizeof kUtf8Bom;
    headSize_ = std::min(Available(), kHeadSize);
    std::memcpy(head_, &buffer_[next_], headSize_);
}

void HexTextReader::Fill(std::size_t count) {
    if (Available() >= count || ended_) return;
    std::memmove(buffer_.data(), &buffer_[next_], Available());
    end_ = Available();
    next_ = 0;
    while (end_ < count && !ended_) {
        const std::size_t got = std::fread(&buffer_[end_], 1, buffer_.size() - end_, file_);
        end_ += got;
        if (got == 0) {
            ended_ = true;
            failed_ = std::ferror(file_) != 0;
        }
    }
}

HexItem HexTextReader::Next(std::uint8_t& byte) {
    for (;;) {
        if (Available() == 0) Fill(1);
        if (failed_) return HexItem::ReadError;
        if (Available() == 0) return HexItem::End;
        const char c = buffer_[next_];
        if (!IsWhiteSpace(c)) break;
        ++next_;
        if (c == '\n') {
            Advance(position_.line, 1);
            position_.column = 1;
        } else {
            Advance(position_.column, 1);
        }
    }

    // The conversion takes at most two characters; a NUL among them ends
    // the window there, as it ends fscanf's item.
    Fill(2);
    if (failed_) return HexItem::ReadError;
    char window[3] = {};
    std::memcpy(window, &buffer_[next_], std::min<std::size_t>(Available(), 2));
    unsigned int value = 0;
    int consumed = 0;
    if (std::sscanf(window, "%2X%n", &value, &consumed) != 1) return HexItem::NotHex;
    next_ += static_cast<std::size_t>(consumed);
    Advance(position_.column, consumed);
    byte = static_cast<std::uint8_t>(value & 0xFFu);
    return HexItem::Byte;
}

}  // namespace fwsend
