#include "platform/posix/folder_listing.h"

#include <cstring>

namespace fwsend::posix {

std::string ListingFailure(const std::string& folder, int error) {
    return folder + ": " + std::strerror(error);
}

}  // namespace fwsend::posix
