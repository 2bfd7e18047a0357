#pragma once
// The input and output rates a terminal reports, read exactly (termios2 on
// Linux, where <termios.h> only knows the standard B constants). Zero when
// they cannot be read.

#include <cstdint>

namespace fwsend {

struct TtySpeeds {
    std::uint32_t input = 0;
    std::uint32_t output = 0;
};

TtySpeeds ReadTtySpeeds(int fd);

}  // namespace fwsend
