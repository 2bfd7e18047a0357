#include "upload/foreign_file.h"

#include <string_view>

#include "platform/printable_text.h"

namespace fwsend {

namespace {

bool IsText(std::uint8_t b) {
    return (b >= 0x20 && b < 0x7F) || b == '\t' || b == '\n' || b == '\r' || b == '\v' || b == '\f';
}

// A NUL, or more than 30 % of bytes that are neither text nor UTF-8.
bool LooksBinary(const std::uint8_t* head, std::size_t size) {
    std::size_t odd = 0;
    for (std::size_t i = 0; i < size;) {
        if (head[i] == 0) return true;
        if (IsText(head[i])) {
            ++i;
            continue;
        }
        // Other ASCII is a control byte; above it, well-formed UTF-8 is text.
        const std::string_view rest(reinterpret_cast<const char*>(head) + i, size - i);
        const std::size_t length = head[i] < 0x80 ? 0 : Utf8SequenceLength(rest);
        if (length == 0) ++odd;
        i += length == 0 ? 1 : length;
    }
    return odd * 10 > size * 3;
}

}  // namespace

const char* RecogniseForeignFile(const std::uint8_t* head, std::size_t size) {
    if (size == 0) return nullptr;
    if (head[0] == ':') return "an Intel HEX file";
    if (size >= 2 && head[0] == 'S' && head[1] >= '0' && head[1] <= '9') return "an S-record file";
    if (size >= 2 && ((head[0] == 0xFF && head[1] == 0xFE) || (head[0] == 0xFE && head[1] == 0xFF)))
        return "UTF-16 text";
    if (LooksBinary(head, size)) return "a binary file";
    return nullptr;
}

}  // namespace fwsend
