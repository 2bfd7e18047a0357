#pragma once
// The line settings a terminal device is asked for, independent of how the
// caller describes them (a Windows DCB, a vendor record, ...).

#include <cstdint>

enum class LineParity { None, Odd, Even, Mark, Space };
enum class LineStopBits { One, Two };

struct LineSettings {
    std::uint32_t baud = 9600;
    int dataBits = 8;                     // 5..8
    LineParity parity = LineParity::None; // what is sent and expected on the wire
    bool checkParity = false;             // whether received parity errors are detected
    LineStopBits stopBits = LineStopBits::One;
    bool dtr = false;                     // level of the DTR line
    bool rts = false;                     // level of the RTS line
};
