#pragma once
// Upgrade files written for a test and removed after it.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

class TempFile {
public:
    explicit TempFile(const std::string& text) {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        path_ = (std::filesystem::temp_directory_path() /
                 (std::string("fwsend-") + info->test_suite_name() + "-" + info->name() + ".txt"))
                    .string();
        std::ofstream(path_, std::ios::binary) << text;
    }
    ~TempFile() { std::remove(path_.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// An open stream holding text, as the run hands the file to the upload.
inline std::FILE* StreamOf(const std::string& text) {
    std::FILE* file = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), file);
    std::rewind(file);
    return file;
}
