#include "ports/windows_ports.h"

#include "app/transport_choice.h"
#include "platform/siusbxp.h"
#include "platform/windows/late_library.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace fwsend {

namespace {

// What FT_ListDevices takes and answers (the D2XX programmer's guide).
using FtStatus = ULONG;
constexpr FtStatus kFtOk = 0;
constexpr DWORD kFtListNumberOnly = 0x80000000u;
constexpr DWORD kFtListByIndex = 0x40000000u;
constexpr DWORD kFtOpenByDescription = 2;
constexpr std::size_t kFtDescriptionSize = 64;

// "\Device\VCP0" -> "VCP": the kernel driver's device name without its number.
std::string DriverOfDeviceName(const std::string& name) {
    std::string driver = name.substr(name.rfind('\\') + 1);
    while (!driver.empty() && driver.back() >= '0' && driver.back() <= '9') driver.pop_back();
    return driver.empty() ? name : driver;
}

bool ComNumberLess(const PortEntry& a, const PortEntry& b) {
    return a.device.size() != b.device.size() ? a.device.size() < b.device.size() : a.device < b.device;
}

std::vector<PortEntry> ComPorts() {
    std::vector<PortEntry> entries;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return entries;
    for (DWORD index = 0;; ++index) {
        char name[256];
        BYTE data[256];
        DWORD nameSize = sizeof name, dataSize = sizeof data - 1, type = 0;
        LONG const result = RegEnumValueA(key, index, name, &nameSize, nullptr, &type, data, &dataSize);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ) continue;
        data[dataSize] = 0;
        PortEntry entry;
        entry.device = reinterpret_cast<const char*>(data);
        entry.comOption = "-" + entry.device;
        entry.driver = DriverOfDeviceName(std::string(name, nameSize));
        entries.push_back(entry);
    }
    RegCloseKey(key);
    std::sort(entries.begin(), entries.end(), ComNumberLess);
    return entries;
}

void AddDescribed(std::vector<PortEntry>& entries, TransportMedium medium, const std::string& device,
                  const std::string& description) {
    const int type = TransportTypeOf(medium);
    PortEntry entry;
    entry.device = device;
    entry.link = DescribedLink{type, description};
    // ComCP2102 opens the first bridge of its description in the library's
    // list and never tries a later one.
    entry.link->firstOnly = medium == TransportMedium::Cp2102;
    for (auto& other : entries) {
        if (other.link && other.link->type == type && other.link->description == description) {
            ++other.link->sameCount;
            entry.link->rank = other.link->rank + 1;
        }
    }
    entry.link->sameCount = entry.link->rank;
    entries.push_back(entry);
}

void FtdiDevices(std::vector<PortEntry>& entries) {
    using ListDevices = FtStatus(PVOID, PVOID, DWORD);
    const LateLibrary<1> dll("FTD2XX.dll", {"FT_ListDevices"}, 1);
    const auto listDevices = dll.Export<ListDevices>(0);
    DWORD count = 0;
    if (!listDevices || listDevices(&count, nullptr, kFtListNumberOnly) != kFtOk) return;
    for (DWORD index = 0; index < count; ++index) {
        char description[kFtDescriptionSize + 1] = {};
        if (listDevices(reinterpret_cast<PVOID>(static_cast<std::uintptr_t>(index)), description,
                        kFtListByIndex | kFtOpenByDescription) != kFtOk)
            continue;
        AddDescribed(entries, TransportMedium::Ftdi, "FTDI device " + std::to_string(index), description);
    }
}

// Through the same calls as the CP2102 transport.
void Cp2102Bridges(std::vector<PortEntry>& entries) {
    DWORD count = 0;
    if (SI_GetNumDevices(&count) != SI_SUCCESS) return;
    for (DWORD index = 0; index < count; ++index) {
        char product[SI_MAX_DEVICE_STRLEN] = {};
        if (SI_GetProductString(index, product, SI_RETURN_DESCRIPTION) != SI_SUCCESS)
            break;  // the transport ends its search here too
        product[sizeof product - 1] = '\0';
        AddDescribed(entries, TransportMedium::Cp2102, "CP2102 device " + std::to_string(index), product);
    }
}

}  // namespace

std::vector<PortEntry> ListWindowsPorts() {
    auto entries = ComPorts();
    FtdiDevices(entries);
    Cp2102Bridges(entries);
    return entries;
}

}  // namespace fwsend
