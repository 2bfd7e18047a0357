#pragma once
// The terminal fwsend itself runs in is never a port: an upload into it
// would write the image to the user's screen, leave the terminal raw, and
// take a key pressed at the right time for the target's verdict.

#include <sys/types.h>

namespace fwsend::posix {

// Whether device is /dev/tty, this process's controlling terminal, or the
// terminal behind its standard input, output or error.
bool IsOwnTerminal(dev_t device);

}  // namespace fwsend::posix
