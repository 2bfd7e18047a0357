#pragma once
// The upgrade file's text read item by item, as the "%2X" conversion reads
// it, with the place where reading stopped.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace fwsend {

// A place in the text: lines end at LF, columns count bytes; both from 1.
struct TextPosition {
    std::int32_t line = 1;
    std::int32_t column = 1;
};

enum class HexItem {
    Byte,       // an item converted; its low 8 bits are the byte
    End,        // only white space was left
    NotHex,     // the item at Position() does not convert
    ReadError,  // the file could not be read on
};

// Streams the file through a buffer of its own: white space (the C locale's
// set, as scanf skips it) is skipped here, so that the place of every item
// is known, and each item goes through sscanf("%2X") on a window of its next
// two bytes, so that it converts exactly as fscanf would have converted it.
// A UTF-8 byte-order mark at the very start is skipped and not counted.
class HexTextReader {
public:
    explicit HexTextReader(std::FILE* file);

    HexItem Next(std::uint8_t& byte);
    // Where the next item starts, or, after NotHex, the item that stopped it.
    TextPosition Position() const { return position_; }
    // The file's first bytes (up to kHeadSize, after a byte-order mark), to
    // tell what kind of file it is when it is not ours.
    const std::uint8_t* Head() const { return head_; }
    std::size_t HeadSize() const { return headSize_; }

    static constexpr std::size_t kHeadSize = 512;

private:
    // Makes at least count bytes available unless the file ends first.
    void Fill(std::size_t count);
    std::size_t Available() const { return end_ - next_; }

    std::FILE* file_;
    std::vector<char> buffer_;
    std::size_t next_ = 0;
    std::size_t end_ = 0;
    bool ended_ = false;
    bool failed_ = false;
    TextPosition position_;
    std::uint8_t head_[kHeadSize] = {};
    std::size_t headSize_ = 0;
};

}  // namespace fwsend
