// Windows: a handle with append access alone, so that every write lands at
// the end, whole beside the lines of another gang appending to the same
// report; FlushFileBuffers puts each line on the disk.
#include <utility>

#include "gang/report_file.h"
#include "platform/open_failure.h"
#include "platform/windows/unique_handle.h"
#include "platform/windows/windows_api.h"

namespace fwsend::gang {

namespace {

class WindowsReportFile : public ReportFile {
public:
    explicit WindowsReportFile(UniqueHandle file)
        : file_(std::move(file)), onDisk_(GetFileType(file_.Get()) == FILE_TYPE_DISK) {}

    bool AppendLine(const std::string& line, std::string* error) override {
        // One write for the whole line, ended as JSON Lines end it.
        const std::string text = line + "\n";
        DWORD written = 0;
        if (!WriteFile(file_.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            written != text.size())
            return Fail(error);
        // A pipe's flush would wait for its reader; a console has nothing to flush.
        if (onDisk_ && !FlushFileBuffers(file_.Get())) return Fail(error);
        return true;
    }

private:
    static bool Fail(std::string* error) {
        if (error) *error = DescribeOpenFailure();
        return false;
    }

    UniqueHandle file_;
    bool onDisk_;
};

}  // namespace

std::unique_ptr<ReportFile> ReportFile::Open(const std::string& path, std::string* error) {
    // Not inheritable: no child holds the report open.
    UniqueHandle file(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        if (error) *error = DescribeOpenFailure();
        return nullptr;
    }
    return std::make_unique<WindowsReportFile>(std::move(file));
}

}  // namespace fwsend::gang
