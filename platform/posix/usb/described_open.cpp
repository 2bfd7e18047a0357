#include "platform/posix/usb/described_open.h"

namespace fwsend::posix {

DescribedOpen OpenByDescription(const std::vector<DescribedDevice>& devices, std::string_view description,
                                SameDescription rule) {
    DescribedOpen opened;
    for (const auto& candidate : devices) {
        if (candidate.description != description) continue;  // exact and case-sensitive
        opened.described = true;
        opened.device = TtyDevice::OpenExclusive(candidate.devicePath);
        if (opened.device || rule == SameDescription::FirstOnly) break;
    }
    return opened;
}

std::string FoundDescriptions(const std::vector<DescribedDevice>& devices) {
    if (devices.empty()) return "none is attached";
    std::string text = "found";
    for (std::size_t i = 0; i < devices.size(); ++i)
        text += (i == 0 ? " \"" : ", \"") + devices[i].description + "\"";
    return text;
}

}  // namespace fwsend::posix
