#pragma once
// A pseudo-terminal for tests: the test holds the master side and opens the
// slave side, by its path, as the serial port under test.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool isOpen() const { return master_ >= 0; }
    int master() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }

    // Writes every byte to the master side (what the port will receive).
    bool send(const std::vector<std::uint8_t>& bytes);
    // Reads from the master side (what the port sent) until count bytes
    // arrived or the timeout passed.
    std::vector<std::uint8_t> receive(std::size_t count, std::chrono::milliseconds timeout);
    // The other end goes away: the port sees a hang-up.
    void closeMaster();

private:
    int master_ = -1;
    std::string slavePath_;
};

// The input and output rates a terminal reports, read exactly (termios2 on
// Linux). Zero when they cannot be read.
struct TtySpeeds {
    std::uint32_t input = 0;
    std::uint32_t output = 0;
};
TtySpeeds readTtySpeeds(int fd);
