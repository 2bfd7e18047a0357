#pragma once
// Scratch space for a test: a folder removed with everything in it, and
// streams over text.

#include <cstdio>
#include <string>

namespace fwsend {

// A fresh folder under the system's temporary folder. Its path holds no
// "-F", "-D", "-T" or "-COM", which fwsend would take as options. Path() is
// empty when it could not be made.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    // Writes text to the file name in the folder; its path.
    std::string Write(const std::string& name, const std::string& text) const;

private:
    std::string path_;
};

// An open stream holding text, as the run hands the file to the upload.
std::FILE* StreamOf(const std::string& text);

}  // namespace fwsend
