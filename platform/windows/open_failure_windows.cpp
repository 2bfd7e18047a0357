// The reason Windows recorded for the failed open: its last-error code and
// the system's text for it.
#include "platform/open_failure.h"

#include "platform/windows/windows_api.h"

namespace fwsend {

std::string DescribeOpenFailure()
{
    DWORD const error = GetLastError();
    if (error == 0)
        return {};
    char text[512] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                  error, 0, text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' '))
        text[--length] = '\0';
    std::string reason = "system error " + std::to_string(error);
    if (length > 0)
        reason += std::string(": ") + text;
    return reason;
}

}  // namespace fwsend
