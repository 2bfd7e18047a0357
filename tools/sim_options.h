#pragma once
// Command-line options of fwsend-target, the simulated boot loader.

#include <cstdint>
#include <optional>
#include <string>

namespace fwsend {

struct SimOptions {
    std::string outFile;                       // accepted frames are appended here
    std::uint32_t rejectSends = 0;             // answer 0x13 to this many sends of a frame
    std::optional<std::uint32_t> rejectFrame;  // ... only of this frame index (0-based)
    bool silent = false;                       // read frames, never answer
    std::uint32_t delayMs = 0;                 // extra wait before each verdict
    std::uint32_t staleBytes = 0;              // 0x13 bytes sent right behind each verdict
    std::optional<std::uint32_t> hangUpAfter;  // close the pty when the frame after these starts
    std::optional<std::uint32_t> exitAfter;    // exit 0 after this many accepted frames
    bool babble = false;                       // write 0x55 without pause from the start, never answer
    std::uint32_t paceBaud = 0;                // 0: answer as fast as possible
    std::uint32_t bitsPerByte = 11;            // from --framing, 8E1 by default
    bool precise = false;                      // busy-wait instead of sleeping
    bool showHelp = false;
};

// Parses argv into options; on a bad argument returns nothing and sets error.
std::optional<SimOptions> ParseSimOptions(int argc, char** argv, std::string& error);

// Bits on the wire per byte for a framing such as "8E1": start + data + parity + stop.
std::optional<std::uint32_t> BitsPerByte(const std::string& framing);

extern const char* const kSimUsage;

}  // namespace fwsend
