#include "platform/standard_streams.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <initializer_list>

namespace fwsend {

void KeepStandardStreamsOpen() {
    for (const int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(stream, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free number is this one, as the ones below it are open.
        // Where there is no /dev (a bare chroot), the root folder serves:
        // reading and writing it fail, and nothing else gets the number.
        int fd = ::open("/dev/null", O_RDWR);
        if (fd < 0) fd = ::open("/", O_RDONLY | O_DIRECTORY);
        if (fd >= 0 && fd != stream) {
            ::dup2(fd, stream);
            ::close(fd);
        }
    }
}

}  // namespace fwsend
