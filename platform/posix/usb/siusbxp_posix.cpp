// The USBXpress calls that ComCP2102 makes, over the kernel's CP210x serial
// driver: the bridges are the terminal devices that sysfs shows bound to
// cp210x. A bridge is opened by its description; SI_Open is a front to that
// open. A HANDLE points to a BridgeDevice created by the open and deleted by
// SI_Close.
#include "platform/posix/usb/siusbxp_posix.h"

#include "platform/open_failure.h"
#include "platform/posix/usb/described_open.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace fwsend {

using namespace posix;

namespace {

// A timeout of this value never expires.
constexpr DWORD kNoTimeout = 0xFFFFFFFFu;

struct BridgeDevice {
    explicit BridgeDevice(TtyDevice openDevice) : device(std::move(openDevice)) {}

    TtyDevice device;
    LineSettings line;  // what the terminal was last set to
};

// The library keeps one read and one write timeout for all its devices, and
// callers rely on that (they set them before opening), so this layer does
// too: the one piece of process-wide state, and it holds no device.
struct Timeouts {
    DWORD readMs = kNoTimeout;
    DWORD writeMs = kNoTimeout;
};

Timeouts& ProcessTimeouts() {
    static Timeouts timeouts;
    return timeouts;
}

std::optional<std::chrono::milliseconds> LimitOf(DWORD ms) {
    if (ms == kNoTimeout) return std::nullopt;
    return std::chrono::milliseconds(ms);
}

BridgeDevice* BridgeFrom(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
    return static_cast<BridgeDevice*>(handle);
}

// Changes the terminal and the record together, or neither.
SI_STATUS Apply(BridgeDevice& bridge, std::optional<LineSettings> wanted) {
    if (!wanted || !bridge.device.ApplyLineSettings(*wanted)) return SI_INVALID_PARAMETER;
    bridge.line = *wanted;
    return SI_SUCCESS;
}

// Raw from the start, with the record's defaults, so that no byte is cooked
// before the caller sets the line.
HANDLE HandleForBridge(TtyDevice device) {
    auto* opened = new (std::nothrow) BridgeDevice(std::move(device));
    if (opened == nullptr) return INVALID_HANDLE_VALUE;
    if (Apply(*opened, opened->line) != SI_SUCCESS) {
        delete opened;
        return INVALID_HANDLE_VALUE;
    }
    return opened;
}

std::string NoBridgeReason(const std::vector<DescribedDevice>& bridges) {
    return "no CP2102 bridge has that description; " + FoundDescriptions(bridges);
}

}  // namespace

HANDLE posix::OpenCp2102ByDescription(const char* description, const DeviceRoots& roots) {
    ClearOpenFailure();
    if (description == nullptr) return INVALID_HANDLE_VALUE;
    const auto listing = ListCp2102Bridges(roots);
    if (!listing.Complete()) {
        NoteOpenFailure(UnreadableTreeReason(listing.failure));
        return INVALID_HANDLE_VALUE;
    }
    auto opened = OpenByDescription(listing.found, description, kCp2102SameDescription);
    if (!opened.described) NoteOpenFailure(NoBridgeReason(listing.found));
    return opened.device ? HandleForBridge(std::move(*opened.device)) : INVALID_HANDLE_VALUE;
}

SI_STATUS posix::SiGetNumDevices(const DeviceRoots& roots, LPDWORD numDevices) {
    if (numDevices == nullptr) return SI_INVALID_PARAMETER;
    const auto listing = ListCp2102Bridges(roots);
    if (!listing.Complete()) {
        *numDevices = 0;
        NoteOpenFailure(UnreadableTreeReason(listing.failure));
        return SI_DEVICE_NOT_FOUND;
    }
    const auto& bridges = listing.found;
    *numDevices = static_cast<DWORD>(bridges.size());
    // A caller's search by description begins with this count and, when no
    // bridge has the description, ends without another call: this is then
    // why it failed. Any open that follows notes its own outcome instead.
    NoteOpenFailure(NoBridgeReason(bridges));
    return SI_SUCCESS;
}

SI_STATUS posix::SiGetProductString(const DeviceRoots& roots, DWORD deviceNum, char* productString,
                                    DWORD options) {
    if (productString == nullptr || options != SI_RETURN_DESCRIPTION)
        return SI_INVALID_PARAMETER;  // serial numbers and the like are not offered
    const auto bridges = ListCp2102Bridges(roots).found;
    if (deviceNum >= bridges.size()) return SI_DEVICE_NOT_FOUND;
    const std::string& product = bridges[deviceNum].description;
    std::size_t const length = std::min<std::size_t>(product.size(), SI_MAX_DEVICE_STRLEN - 1);
    std::memcpy(productString, product.data(), length);
    productString[length] = '\0';
    return SI_SUCCESS;
}

SI_STATUS posix::SiOpen(const DeviceRoots& roots, DWORD deviceNum, HANDLE* handle) {
    if (handle == nullptr) return SI_INVALID_PARAMETER;
    *handle = INVALID_HANDLE_VALUE;
    ClearOpenFailure();
    const auto listing = ListCp2102Bridges(roots);
    if (!listing.Complete()) {
        NoteOpenFailure(UnreadableTreeReason(listing.failure));
        return SI_DEVICE_NOT_FOUND;
    }
    const auto& bridges = listing.found;
    if (deviceNum >= bridges.size()) {
        NoteOpenFailure("no CP2102 bridge numbered " + std::to_string(deviceNum) + " is attached");
        return SI_DEVICE_NOT_FOUND;
    }
    const DescribedDevice& asked = bridges[deviceNum];
    // The open by description takes the first bridge so described: a later
    // one of the same description is refused rather than another bridge
    // opened in its place.
    if (FirstDescribedAs(bridges, asked.description) != deviceNum) {
        NoteOpenFailure(asked.devicePath + ": an earlier CP2102 bridge has the same description");
        return SI_DEVICE_NOT_FOUND;
    }
    *handle = OpenCp2102ByDescription(asked.description.c_str(), roots);
    return *handle == INVALID_HANDLE_VALUE ? SI_DEVICE_NOT_FOUND : SI_SUCCESS;
}

SI_STATUS SI_GetNumDevices(LPDWORD numDevices) { return SiGetNumDevices(DeviceRoots{}, numDevices); }

SI_STATUS SI_GetProductString(DWORD deviceNum, char* productString, DWORD options) {
    return SiGetProductString(DeviceRoots{}, deviceNum, productString, options);
}

SI_STATUS SI_Open(DWORD deviceNum, HANDLE* handle) { return SiOpen(DeviceRoots{}, deviceNum, handle); }

SI_STATUS SI_Close(HANDLE handle) {
    auto* bridge = BridgeFrom(handle);
    if (bridge == nullptr) return SI_INVALID_HANDLE;
    delete bridge;  // the device closes its descriptor
    return SI_SUCCESS;
}

SI_STATUS SI_SetBaudRate(HANDLE handle, DWORD baudRate) {
    auto* bridge = BridgeFrom(handle);
    if (bridge == nullptr) return SI_INVALID_HANDLE;
    if (baudRate == 0) return SI_INVALID_PARAMETER;
    LineSettings wanted = bridge->line;
    wanted.baud = baudRate;
    return Apply(*bridge, wanted);
}

SI_STATUS SI_SetLineControl(HANDLE handle, WORD lineControl) {
    auto* bridge = BridgeFrom(handle);
    if (bridge == nullptr) return SI_INVALID_HANDLE;
    return Apply(*bridge, WithLineControl(bridge->line, lineControl));
}

SI_STATUS SI_SetFlowControl(HANDLE handle, BYTE ctsMask, BYTE rtsMask, BYTE dtrMask, BYTE dcdMask,
                            BYTE dsrMask, BOOL xonXoff) {
    auto* bridge = BridgeFrom(handle);
    if (bridge == nullptr) return SI_INVALID_HANDLE;
    return Apply(*bridge,
                 WithFlowControl(bridge->line, ctsMask, rtsMask, dtrMask, dcdMask, dsrMask, xonXoff));
}

SI_STATUS SI_SetTimeouts(DWORD readTimeoutMs, DWORD writeTimeoutMs) {
    ProcessTimeouts() = {readTimeoutMs, writeTimeoutMs};
    return SI_SUCCESS;
}

SI_STATUS SI_GetTimeouts(LPDWORD readTimeoutMs, LPDWORD writeTimeoutMs) {
    if (readTimeoutMs == nullptr || writeTimeoutMs == nullptr) return SI_INVALID_PARAMETER;
    *readTimeoutMs = ProcessTimeouts().readMs;
    *writeTimeoutMs = ProcessTimeouts().writeMs;
    return SI_SUCCESS;
}

SI_STATUS SI_FlushBuffers(HANDLE handle, BYTE flushTransmit, BYTE flushReceive) {
    auto* bridge = BridgeFrom(handle);
    if (bridge == nullptr) return SI_INVALID_HANDLE;
    return bridge->device.Flush(flushReceive != 0, flushTransmit != 0) ? SI_SUCCESS : SI_DEVICE_NOT_FOUND;
}

SI_STATUS SI_Read(HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                  LPOVERLAPPED overlapped) {
    if (bytesRead != nullptr) *bytesRead = 0;
    auto* bridge = BridgeFrom(handle);
    if (bridge == nullptr) return SI_INVALID_HANDLE;
    if (bytesRead == nullptr || overlapped != nullptr || (buffer == nullptr && bytesToRead > 0))
        return SI_INVALID_PARAMETER;
    // One limit for the whole read, however the bytes trickle in.
    ReadTiming timing;
    timing.total = LimitOf(ProcessTimeouts().readMs);
    const auto received = bridge->device.Read(static_cast<std::uint8_t*>(buffer), bytesToRead, timing);
    if (!received) return SI_READ_ERROR;  // the bridge is gone, or the terminal failed
    *bytesRead = static_cast<DWORD>(*received);
    return *received < bytesToRead ? SI_READ_TIMED_OUT : SI_SUCCESS;
}

SI_STATUS SI_Write(HANDLE handle, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                   LPOVERLAPPED overlapped) {
    if (bytesWritten != nullptr) *bytesWritten = 0;
    auto* bridge = BridgeFrom(handle);
    if (bridge == nullptr) return SI_INVALID_HANDLE;
    if (bytesWritten == nullptr || overlapped != nullptr || (buffer == nullptr && bytesToWrite > 0))
        return SI_INVALID_PARAMETER;
    const auto written = bridge->device.WriteAll(static_cast<const std::uint8_t*>(buffer), bytesToWrite,
                                                 LimitOf(ProcessTimeouts().writeMs));
    if (!written) return SI_WRITE_ERROR;
    *bytesWritten = static_cast<DWORD>(*written);
    return *written < bytesToWrite ? SI_WRITE_TIMED_OUT : SI_SUCCESS;
}

namespace {

std::optional<LineParity> ParityFrom(unsigned code) {
    switch (code) {
    case 0: return LineParity::None;
    case 1: return LineParity::Odd;
    case 2: return LineParity::Even;
    case 3: return LineParity::Mark;
    case 4: return LineParity::Space;
    default: return std::nullopt;
    }
}

std::optional<LineStopBits> StopBitsFrom(unsigned code) {
    switch (code) {
    case 0: return LineStopBits::One;
    case 2: return LineStopBits::Two;
    default: return std::nullopt;
    }
}

std::optional<bool> OutputLevel(BYTE mask) {
    if (mask == SI_HELD_INACTIVE) return false;
    if (mask == SI_HELD_ACTIVE) return true;
    return std::nullopt;  // firmware handshaking
}

}  // namespace

std::optional<LineSettings> posix::WithLineControl(LineSettings current, WORD lineControl) {
    const unsigned dataBits = lineControl >> 8;
    const auto parity = ParityFrom((lineControl >> 4) & 0xF);
    const auto stopBits = StopBitsFrom(lineControl & 0xF);
    if (dataBits < 5 || dataBits > 8 || !parity || !stopBits) return std::nullopt;
    current.dataBits = static_cast<int>(dataBits);
    current.parity = *parity;
    current.checkParity = *parity != LineParity::None;
    current.stopBits = *stopBits;
    return current;
}

std::optional<LineSettings> posix::WithFlowControl(LineSettings current, BYTE ctsMask, BYTE rtsMask,
                                                   BYTE dtrMask, BYTE dcdMask, BYTE dsrMask, BOOL xonXoff) {
    if (ctsMask != SI_STATUS_INPUT || dcdMask != SI_STATUS_INPUT || dsrMask != SI_STATUS_INPUT || xonXoff)
        return std::nullopt;
    const auto rts = OutputLevel(rtsMask);
    const auto dtr = OutputLevel(dtrMask);
    if (!rts || !dtr) return std::nullopt;
    current.rts = *rts;
    current.dtr = *dtr;
    return current;
}

}  // namespace fwsend
