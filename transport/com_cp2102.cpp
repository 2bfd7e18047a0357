#include "transport/com_cp2102.h"

#include <cstring>

#include "platform/siusbxp.h"

namespace fwsend {

namespace {

HANDLE const kClosed = reinterpret_cast<HANDLE>(INVALID_HANDLE);

// Data bits in bits 8-15, parity in 4-7, stop bits in 0-3.
WORD LineControlWord(const ComCP2102::LineSettings& line) {
    return static_cast<WORD>(line.ByteSize * 256 + line.Parity * 16 + line.StopBits);
}

bool ReadSucceeded(SI_STATUS status) {
    // Fewer bytes than asked (or none) within the timeout is still a read.
    return status == SI_SUCCESS || status == SI_RX_QUEUE_NOT_READY || status == SI_READ_TIMED_OUT;
}

}  // namespace

ComCP2102::~ComCP2102() {
    if (IsOpen()) SI_Close(handle_);
}

// The library has no modem-line call the tool could use.
bool ComCP2102::EscapeFunction(std::int32_t) { return true; }

bool ComCP2102::Read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t* bytesRead) {
    if (!IsOpen()) return false;
    DWORD received = 0;
    if (!ReadSucceeded(SI_Read(handle_, buffer, count, &received, nullptr))) return false;
    if (bytesRead) *bytesRead = received;
    return true;
}

bool ComCP2102::Write(const std::uint8_t* buffer, std::uint32_t count) {
    if (!IsOpen()) return false;
    DWORD written = 0;
    if (SI_Write(handle_, buffer, count, &written, nullptr) != SI_SUCCESS) return false;
    return written == count;
}

bool ComCP2102::Close() {
    if (!IsOpen()) return false;
    SI_Close(handle_);  // released whatever it answers
    handle_ = kClosed;
    return true;
}

bool ComCP2102::Purge() {
    if (!IsOpen()) return false;
    return SI_FlushBuffers(handle_, 1, 1) == SI_SUCCESS;
}

// The library keeps one read and one write timeout for all its devices, so
// these need no open device.
bool ComCP2102::SetTimeout(std::uint32_t ms) { return SI_SetTimeouts(ms, ms) == SI_SUCCESS; }

bool ComCP2102::GetTimeout(std::uint32_t* ms) {
    DWORD readTimeout = 0;
    DWORD writeTimeout = 0;
    if (SI_GetTimeouts(&readTimeout, &writeTimeout) != SI_SUCCESS) return false;
    *ms = readTimeout;
    return true;
}

bool ComCP2102::Open(const char* name, std::int32_t baud, std::uint32_t timeoutMs) {
    if (IsOpen() || name == nullptr) return false;
    OpenByDescription(name);
    if (!IsOpen()) return false;
    if (Configure(baud, timeoutMs)) return true;
    SI_Close(handle_);
    handle_ = kClosed;
    return false;
}

void ComCP2102::OpenByDescription(const char* name) {
    DWORD count = 0;
    if (SI_GetNumDevices(&count) != SI_SUCCESS) return;
    for (DWORD device = 0; device < count; ++device) {
        char product[SI_MAX_DEVICE_STRLEN] = {};
        // A failing query ends the search, even if a later device would match.
        if (SI_GetProductString(device, product, SI_RETURN_DESCRIPTION) != SI_SUCCESS) return;
        product[sizeof product - 1] = '\0';  // a full buffer cannot run us past its end
        if (std::strcmp(product, name) != 0) continue;
        // The first match decides: a second device of that name is never tried.
        if (SI_Open(device, &handle_) != SI_SUCCESS) handle_ = kClosed;
        return;
    }
}

bool ComCP2102::Configure(std::int32_t baud, std::uint32_t timeoutMs) {
    line_.BaudRate = static_cast<std::uint32_t>(baud);
    // CTS, DCD and DSR are plain inputs; RTS and DTR follow their control
    // fields; no XON/XOFF.
    return SI_SetBaudRate(handle_, line_.BaudRate) == SI_SUCCESS &&
           SI_SetLineControl(handle_, LineControlWord(line_)) == SI_SUCCESS &&
           SI_SetFlowControl(handle_, SI_STATUS_INPUT, static_cast<BYTE>(line_.fRtsControl),
                             static_cast<BYTE>(line_.fDtrControl), SI_STATUS_INPUT, SI_STATUS_INPUT,
                             FALSE) == SI_SUCCESS &&
           SetTimeout(timeoutMs);
}

bool ComCP2102::IsOpen() { return handle_ != kClosed; }

}  // namespace fwsend
