#pragma once
// The report, a file of JSON lines that each run appends to: every record
// reaches the disk when it is written, so that a crash or a power cut loses
// nothing written before it. POSIX: O_APPEND and fsync; Windows:
// FILE_APPEND_DATA and FlushFileBuffers.

#include <memory>
#include <string>

namespace fwsend::gang {

class ReportFile {
public:
    // Opens path for appending, created when missing; null, with the reason
    // in *error, when it cannot be.
    static std::unique_ptr<ReportFile> Open(const std::string& path, std::string* error);
    virtual ~ReportFile() = default;

    // Appends one line (line end added) and waits until it is on the disk;
    // false, with the reason in *error, when it is not.
    virtual bool AppendLine(const std::string& line, std::string* error) = 0;
};

}  // namespace fwsend::gang
