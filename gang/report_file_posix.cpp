#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

#include "gang/report_file.h"
#include "platform/posix/unique_fd.h"

namespace fwsend::gang {

namespace {

class PosixReportFile : public ReportFile {
public:
    explicit PosixReportFile(UniqueFd fd) : fd_(std::move(fd)) {}

    bool AppendLine(const std::string& line, std::string* error) override {
        // One write for the whole line: O_APPEND keeps it whole beside the
        // lines of another gang appending to the same report.
        const std::string text = line + "\n";
        std::size_t written = 0;
        while (written < text.size()) {
            const ssize_t n = ::write(fd_.Get(), text.data() + written, text.size() - written);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return Fail(error);
            written += static_cast<std::size_t>(n);
        }
        while (::fsync(fd_.Get()) != 0) {
            // A pipe or a terminal holds nothing to put on a disk.
            if (errno == EINVAL || errno == EROFS) break;
            if (errno != EINTR) return Fail(error);
        }
        return true;
    }

private:
    static bool Fail(std::string* error) {
        if (error) *error = std::strerror(errno);
        return false;
    }

    UniqueFd fd_;
};

}  // namespace

std::unique_ptr<ReportFile> ReportFile::Open(const std::string& path, std::string* error) {
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644));
    if (!fd.Valid()) {
        if (error) *error = std::strerror(errno);
        return nullptr;
    }
    return std::make_unique<PosixReportFile>(std::move(fd));
}

}  // namespace fwsend::gang
