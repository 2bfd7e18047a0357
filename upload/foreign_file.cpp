#include "upload/foreign_file.h"

namespace fwsend {

namespace {

bool IsText(std::uint8_t b) {
    return (b >= 0x20 && b < 0x7F) || b == '\t' || b == '\n' || b == '\r' || b == '\v' || b == '\f';
}

bool IsContinuation(std::uint8_t b) { return (b & 0xC0) == 0x80; }

// Length of the well-formed UTF-8 sequence at head[0], or 0 when there is
// none (a stray continuation byte, an overlong form, a surrogate, a cut-off
// sequence).
std::size_t Utf8SequenceAt(const std::uint8_t* head, std::size_t size) {
    const std::uint8_t lead = head[0];
    std::size_t length = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;  // bounds of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (size < length || head[1] < low || head[1] > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (!IsContinuation(head[i])) return 0;
    return length;
}

// A NUL, or more than 30 % of bytes that are neither text nor UTF-8.
bool LooksBinary(const std::uint8_t* head, std::size_t size) {
    std::size_t odd = 0;
    for (std::size_t i = 0; i < size;) {
        if (head[i] == 0) return true;
        if (IsText(head[i])) {
            ++i;
        } else if (const std::size_t length = Utf8SequenceAt(head + i, size - i)) {
            i += length;
        } else {
            ++odd;
            ++i;
        }
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
