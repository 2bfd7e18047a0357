#include "tests/support/scratch_dir.h"

#include <filesystem>
#include <fstream>
#include <random>

namespace fwsend {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
    std::error_code error;
    const fs::path base = fs::temp_directory_path(error);
    if (error) return;
    std::random_device random;
    // create_directory fails on a name that exists: no two scratch folders
    // are ever one, whichever process made the other.
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "fwsend_%08x", static_cast<unsigned>(random()));
        const fs::path candidate = base / name;
        if (fs::create_directory(candidate, error)) path_ = candidate.string();
    }
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
}

std::string ScratchDir::Write(const std::string& name, const std::string& text) const {
    const std::string path = File(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::FILE* StreamOf(const std::string& text) {
    std::FILE* file = std::tmpfile();
    if (file == nullptr) return nullptr;
    std::fwrite(text.data(), 1, text.size(), file);
    std::rewind(file);
    return file;
}

}  // namespace fwsend
