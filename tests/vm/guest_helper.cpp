// stand-helper: runs inside the test stand's virtual machine, where busybox
// has no USB/IP tool and no way to show a terminal's settings exactly.
//
//   stand-helper attach HOST PORT BUSID   import a USB device over USB/IP and
//                                         hand its connection to vhci-hcd
//   stand-helper line PID DEVICE          print what the driver holds for the
//                                         terminal that process PID has open:
//                                         rate, framing, flow control, raw
//                                         mode, DTR and RTS

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <arpa/inet.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <dirent.h>

namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

int Fail(const char* what) {
    std::fprintf(stderr, "stand-helper: %s: %s\n", what, std::strerror(errno));
    return 1;
}

bool WriteAll(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool ReadAll(int fd, void* data, std::size_t size) {
    auto* bytes = static_cast<std::uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::read(fd, bytes, size);
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::uint32_t Be32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// The first free vhci port of the hub that serves this speed (hs below
// super speed, ss for it), from the controller's status file.
int FreeVhciPort(std::uint32_t speed) {
    std::FILE* status = std::fopen("/sys/devices/platform/vhci_hcd.0/status", "r");
    if (status == nullptr) return -1;
    char line[256];
    int found = -1;
    const char* wantedHub = speed >= 5 ? "ss" : "hs";
    while (found < 0 && std::fgets(line, sizeof line, status) != nullptr) {
        char hub[8];
        int port = 0;
        int state = 0;
        if (std::sscanf(line, "%7s %d %d", hub, &port, &state) == 3 && std::strcmp(hub, wantedHub) == 0 &&
            state == 4) {  // 4: no device
            found = port;
        }
    }
    std::fclose(status);
    return found;
}

int Attach(const char* host, const char* port, const char* busid) {
    Fd sock(::socket(AF_INET, SOCK_STREAM, 0));
    if (sock.Get() < 0) return Fail("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(std::atoi(port)));
    if (inet_pton(AF_INET, host, &address.sin_addr) != 1) return Fail("address");
    if (::connect(sock.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        return Fail("connect");
    }
    const int on = 1;
    setsockopt(sock.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);

    // OP_REQ_IMPORT: version 1.1.1, the bus id of the device wanted.
    std::uint8_t request[8 + 32] = {0x01, 0x11, 0x80, 0x03};
    std::strncpy(reinterpret_cast<char*>(request + 8), busid, 31);
    if (!WriteAll(sock.Get(), request, sizeof request)) return Fail("send import");
    // OP_REP_IMPORT: header, then the device: path, bus id, bus and device
    // numbers, speed, ids and classes.
    std::uint8_t reply[8 + 312];
    if (!ReadAll(sock.Get(), reply, 8)) return Fail("import reply");
    if (Be32(reply + 4) != 0) {
        std::fprintf(stderr, "stand-helper: the server refused %s\n", busid);
        return 1;
    }
    if (!ReadAll(sock.Get(), reply + 8, 312)) return Fail("import device");
    const std::uint8_t* device = reply + 8;
    const std::uint32_t busnum = Be32(device + 288);
    const std::uint32_t devnum = Be32(device + 292);
    const std::uint32_t speed = Be32(device + 296);

    const int vhciPort = FreeVhciPort(speed);
    if (vhciPort < 0) {
        std::fprintf(stderr, "stand-helper: no free vhci port\n");
        return 1;
    }
    char attach[64];
    const int length = std::snprintf(attach, sizeof attach, "%d %d %u %u", vhciPort, sock.Get(),
                                     busnum << 16 | devnum, speed);
    Fd attachFile(::open("/sys/devices/platform/vhci_hcd.0/attach", O_WRONLY));
    if (attachFile.Get() < 0) return Fail("open attach");
    if (::write(attachFile.Get(), attach, static_cast<std::size_t>(length)) != length) {
        return Fail("attach");
    }
    std::printf("attached %s on vhci port %d\n", busid, vhciPort);
    return 0;  // the kernel holds its own reference to the connection
}

// A duplicate of the descriptor through which process pid has device open.
// Opening the device again would not do: every open of a Linux tty raises
// DTR and RTS.
int BorrowDescriptor(int pid, const char* device) {
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
    DIR* fds = ::opendir(folder.c_str());
    if (fds == nullptr) return -1;
    int number = -1;
    while (dirent* entry = ::readdir(fds)) {
        char target[256] = {};
        const std::string link = folder + "/" + entry->d_name;
        if (::readlink(link.c_str(), target, sizeof target - 1) > 0 && std::strcmp(target, device) == 0) {
            number = std::atoi(entry->d_name);
        }
    }
    ::closedir(fds);
    if (number < 0) return -1;
    Fd process(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    if (process.Get() < 0) return -1;
    return static_cast<int>(::syscall(SYS_pidfd_getfd, process.Get(), number, 0));
}

int Line(const char* pid, const char* device) {
    Fd tty(BorrowDescriptor(std::atoi(pid), device));
    if (tty.Get() < 0) return Fail(device);
    termios2 settings{};
    if (::ioctl(tty.Get(), TCGETS2, &settings) != 0) return Fail("TCGETS2");
    int lines = 0;
    if (::ioctl(tty.Get(), TIOCMGET, &lines) != 0) return Fail("TIOCMGET");

    const tcflag_t size = settings.c_cflag & CSIZE;
    const int dataBits = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
    const char parity = !(settings.c_cflag & PARENB) ? 'N' : (settings.c_cflag & PARODD) ? 'O' : 'E';
    const bool raw = !(settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) &&
                     !(settings.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | BRKINT)) &&
                     !(settings.c_oflag & OPOST);
    std::printf("speed=%u framing=%d%c%d crtscts=%d ixon=%d ixoff=%d raw=%d dtr=%d rts=%d\n",
                settings.c_ospeed, dataBits, parity, (settings.c_cflag & CSTOPB) ? 2 : 1,
                (settings.c_cflag & CRTSCTS) ? 1 : 0, (settings.c_iflag & IXON) ? 1 : 0,
                (settings.c_iflag & IXOFF) ? 1 : 0, raw ? 1 : 0, (lines & TIOCM_DTR) ? 1 : 0,
                (lines & TIOCM_RTS) ? 1 : 0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "attach" && argc == 5) return Attach(argv[2], argv[3], argv[4]);
    if (command == "line" && argc == 4) return Line(argv[2], argv[3]);
    std::fprintf(stderr, "usage: stand-helper attach HOST PORT BUSID | line PID DEVICE\n");
    return 2;
}
