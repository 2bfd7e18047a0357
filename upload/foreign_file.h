#pragma once
// Telling what a file is when it is not an upgrade file: users pick the
// build's Intel HEX or S-record output, a binary, or a file an editor saved
// as UTF-16.

#include <cstddef>
#include <cstdint>

namespace fwsend {

// "an Intel HEX file", "an S-record file", "UTF-16 text" or "a binary file"
// for the first bytes of a file that is recognisably one of them; null
// otherwise.
const char* RecogniseForeignFile(const std::uint8_t* head, std::size_t size);

}  // namespace fwsend
