#include "platform/standard_streams.h"

namespace fwsend {

// Ports are handles here, never numbered like the standard streams.
void KeepStandardStreamsOpen() {}

}  // namespace fwsend
