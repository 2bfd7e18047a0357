#include "tools/sim_options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace fwsend {

const char* const kSimUsage =
    "usage: fwsend-target [options]\n"
    "\n"
    "Plays a boot loader on a pseudo-terminal. Prints the slave path as its\n"
    "first line on stdout, then serves frames (2-byte big-endian payload\n"
    "length, then the payload) and answers each with one verdict byte:\n"
    "0x11 accepts, 0x13 rejects. Runs until SIGTERM or SIGINT (exit 0);\n"
    "prints a stats line on stderr when it ends.\n"
    "\n"
    "  --out FILE           append each accepted frame, length bytes included,\n"
    "                       to FILE (truncated at start)\n"
    "  --reject N           reject the first N sends of every frame\n"
    "  --reject-frame I     with --reject: reject only frame I (0-based)\n"
    "  --silent             read frames but never answer\n"
    "  --delay MS           wait MS milliseconds before each verdict\n"
    "  --stale N            send N extra 0x13 bytes right behind each verdict\n"
    "  --hang-up-after K    after K accepted frames, close the pty and exit as\n"
    "                       soon as the next frame starts to arrive, so the\n"
    "                       tool waits for its verdict in vain\n"
    "  --exit-after N       exit 0 after N accepted frames, once the tool has\n"
    "                       had time to read the last verdict\n"
    "  --babble             write 0x55 bytes without pause from the start;\n"
    "                       frames are read but get no verdict of their own\n"
    "  --pace BAUD          answer no earlier than the wire time of the frame\n"
    "                       plus its verdict at BAUD, counted from the frame's\n"
    "                       first byte\n"
    "  --framing DPS        framing for --pace, e.g. 8E1 (default), 8N1, 7E2\n"
    "  --precise            busy-wait for input and for verdict deadlines instead\n"
    "                       of sleeping: burns a core, so that the target's own\n"
    "                       wake-up latency does not count against the tool (a\n"
    "                       real UART answers without one); for the benchmark\n"
    "  --help               show this text\n";

namespace {

bool ParseCount(const char* text, std::uint32_t& value) {
    if (text == nullptr || *text < '0' || *text > '9') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || parsed > UINT32_MAX) return false;
    value = static_cast<std::uint32_t>(parsed);
    return true;
}

}  // namespace

std::optional<std::uint32_t> BitsPerByte(const std::string& framing) {
    if (framing.size() != 3) return std::nullopt;
    const char data = framing[0];
    const char parity = framing[1];
    const char stop = framing[2];
    if (data < '5' || data > '8') return std::nullopt;
    if (std::strchr("NEOMS", parity) == nullptr) return std::nullopt;
    if (stop != '1' && stop != '2') return std::nullopt;
    return 1u + static_cast<std::uint32_t>(data - '0') + (parity == 'N' ? 0u : 1u) +
           static_cast<std::uint32_t>(stop - '0');
}

std::optional<SimOptions> ParseSimOptions(int argc, char** argv, std::string& error) {
    SimOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto count = [&](std::uint32_t& out) {
            if (!ParseCount(value, out)) {
                error = arg + " needs a number";
                return false;
            }
            ++i;
            return true;
        };
        auto optionalCount = [&](std::optional<std::uint32_t>& out) {
            std::uint32_t parsed = 0;
            if (!count(parsed)) return false;
            out = parsed;
            return true;
        };

        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            options.showHelp = true;
        } else if (arg == "--out") {
            if (value == nullptr) {
                error = "--out needs a file name";
                return std::nullopt;
            }
            options.outFile = value;
            ++i;
        } else if (arg == "--reject") {
            ok = count(options.rejectSends);
        } else if (arg == "--reject-frame") {
            ok = optionalCount(options.rejectFrame);
        } else if (arg == "--precise") {
            options.precise = true;
        } else if (arg == "--silent") {
            options.silent = true;
        } else if (arg == "--delay") {
            ok = count(options.delayMs);
        } else if (arg == "--stale") {
            ok = count(options.staleBytes);
        } else if (arg == "--hang-up-after") {
            ok = optionalCount(options.hangUpAfter);
        } else if (arg == "--exit-after") {
            ok = optionalCount(options.exitAfter);
        } else if (arg == "--babble") {
            options.babble = true;
        } else if (arg == "--pace") {
            ok = count(options.paceBaud);
            if (ok && options.paceBaud == 0) {
                error = "--pace needs a baud rate above 0";
                return std::nullopt;
            }
        } else if (arg == "--framing") {
            const auto bits = value ? BitsPerByte(value) : std::nullopt;
            if (!bits) {
                error = "--framing needs data bits, parity and stop bits, e.g. 8E1";
                return std::nullopt;
            }
            options.bitsPerByte = *bits;
            ++i;
        } else {
            error = "unknown option " + arg;
            return std::nullopt;
        }
        if (!ok) return std::nullopt;
    }
    return options;
}

}  // namespace fwsend
