#include "platform/posix/tty/port_claim.h"

#include <sys/socket.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <utility>

namespace fwsend::posix {

#ifdef __linux__

namespace {

// Refused fwsends leave their connections queued on the holder, which never
// accepts them; once the queue is full, later ones still learn that the
// port is held, only not by whom.
constexpr int kQueuedRefusals = SOMAXCONN;

socklen_t ClaimAddress(dev_t device, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    // A leading zero byte: the abstract namespace, no file anywhere.
    const int length = std::snprintf(address.sun_path + 1, sizeof address.sun_path - 1, "fwsend/port/%u:%u",
                                     ::major(device), ::minor(device));
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + static_cast<std::size_t>(length));
}

const sockaddr* AsSocketAddress(const sockaddr_un& address) {
    return reinterpret_cast<const sockaddr*>(&address);
}

long ClaimHolder(const sockaddr_un& address, socklen_t length) {
    // Non-blocking: a full queue answers at once instead of waiting.
    const UniqueFd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!probe.Valid() || ::connect(probe.Get(), AsSocketAddress(address), length) != 0) return 0;
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(probe.Get(), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) return 0;
    return peer.pid;
}

}  // namespace

PortClaim PortClaim::Take(dev_t device) {
    PortClaim claim;
    UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.Valid()) return claim;
    sockaddr_un address{};
    const socklen_t length = ClaimAddress(device, address);
    if (::bind(socket.Get(), AsSocketAddress(address), length) != 0) {
        if (errno == EADDRINUSE) {
            claim.outcome_ = Outcome::HeldByOther;
            claim.holder_ = ClaimHolder(address, length);
        }
        return claim;
    }
    // Listening, so that a second fwsend can connect and read our id.
    if (::listen(socket.Get(), kQueuedRefusals) != 0) return claim;
    claim.outcome_ = Outcome::Claimed;
    claim.socket_ = std::move(socket);
    return claim;
}

#else

// Abstract sockets are Linux's own; elsewhere the lock file and the
// exclusive open have to do.
PortClaim PortClaim::Take(dev_t) { return PortClaim(); }

#endif

}  // namespace fwsend::posix
