#include "gang/image_facts.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <system_error>
#include <utility>

#include "gang/sha256.h"
#include "upload/image_refusal.h"
#include "upload/upgrade_image.h"

namespace fwsend::gang {

namespace {

// Far above any upgrade file's text (the image holds at most 262144 bytes);
// a file beyond it is not read into memory.
constexpr std::uintmax_t kLargestFileRead = 64u << 20;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::optional<std::string> ReadWhole(const std::string& file) {
    std::error_code error;
    if (std::filesystem::is_directory(file, error)) return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (bytes.size() > kLargestFileRead) break;
    }
    if (in.bad()) return std::nullopt;
    return bytes;
}

std::string RandomName() {
    std::random_device random;
    char name[32];
    std::snprintf(name, sizeof name, "fwsend-gang-%08x", static_cast<unsigned>(random()));
    return name;
}

}  // namespace

ImageCopy::ImageCopy(ImageCopy&& other) noexcept
    : folder_(std::exchange(other.folder_, {})), path_(std::exchange(other.path_, {})) {}

ImageCopy& ImageCopy::operator=(ImageCopy&& other) noexcept {
    if (this != &other) {
        ImageCopy old(std::move(*this));
        folder_ = std::exchange(other.folder_, {});
        path_ = std::exchange(other.path_, {});
    }
    return *this;
}

ImageCopy::~ImageCopy() {
    std::error_code error;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, error);
}

ImageCopy ImageCopy::Make(const std::string& bytes) {
    ImageCopy copy;
    std::error_code error;
    const std::filesystem::path temporary = std::filesystem::temp_directory_path(error);
    if (error) return copy;
    for (int attempt = 0; attempt < 10 && copy.folder_.empty(); ++attempt) {
        const std::filesystem::path folder = temporary / RandomName();
        if (std::filesystem::create_directory(folder, error)) copy.folder_ = folder;
    }
    if (copy.folder_.empty()) return copy;
    std::filesystem::permissions(copy.folder_, std::filesystem::perms::owner_all, error);
    const std::filesystem::path file = copy.folder_ / "image.txt";
    std::ofstream out(file, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (out) copy.path_ = file.string();
    return copy;
}

std::optional<CheckedImage> CheckImage(const std::string& file) {
    const std::optional<std::string> bytes = ReadWhole(file);
    if (!bytes) {
        std::printf("Error: Source-file '%s' not found or no rights.\n", file.c_str());
        return std::nullopt;
    }
    auto image = std::make_unique<UpgradeImage>();
    ImageCheck check;
    if (bytes->size() > kLargestFileRead) {
        check.status = ImageRead::TooLarge;
    } else {
        // The reader takes a stream: the copy, when there is one, else the
        // file itself (its bytes hashed above may then differ from those read).
        CheckedImage checked{{}, ImageCopy::Make(*bytes)};
        const std::string& readFrom = checked.copy.Path().empty() ? file : checked.copy.Path();
        const std::unique_ptr<std::FILE, FileCloser> stream(std::fopen(readFrom.c_str(), "rb"));
        check.status = ImageRead::ReadError;
        if (stream) check = ReadUpgradeImage(stream.get(), *image);
        if (check.status == ImageRead::Ok) {
            ImageFacts& facts = checked.facts;
            facts.file = file;
            facts.fileBytes = bytes->size();
            facts.sha256 = Sha256Hex(*bytes);
            facts.imageBytes = image->count;
            for (std::int32_t pos = 0; pos < image->count; pos += facts.frameSizes.back())
                facts.frameSizes.push_back(UpgradeFrame::SizeAt(*image, pos));
            return checked;
        }
    }
    PrintImageRefusal(check);
    return std::nullopt;
}

}  // namespace fwsend::gang
