#pragma once
// The upgrade file, read once and checked with fwsend's own reader before
// any board starts, so that a bad file touches no board; and a private copy
// of the very bytes checked and hashed, which every fwsend is given, so that
// the file being rebuilt during a run cannot reach a board unchecked, nor
// make the report's hash wrong.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace fwsend::gang {

struct ImageFacts {
    std::string file;                      // as given on the command line
    std::uint64_t fileBytes = 0;           // the file's size
    std::string sha256;                    // of the file, as sha256sum gives it
    std::int32_t imageBytes = 0;           // the decoded bytes, all frames
    std::vector<std::int32_t> frameSizes;  // length bytes included
};

// A folder of our own in the system's temporary folder, holding the copy;
// removed with it.
class ImageCopy {
public:
    ImageCopy() = default;
    ImageCopy(ImageCopy&& other) noexcept;
    ImageCopy& operator=(ImageCopy&& other) noexcept;
    ImageCopy(const ImageCopy&) = delete;
    ImageCopy& operator=(const ImageCopy&) = delete;
    ~ImageCopy();

    // Empty when no copy could be made.
    const std::string& Path() const { return path_; }

    static ImageCopy Make(const std::string& bytes);

private:
    std::filesystem::path folder_;
    std::string path_;
};

struct CheckedImage {
    ImageFacts facts;
    ImageCopy copy;
};

// Nothing when the file cannot be read or fwsend would refuse it: then its
// refusal has been printed as fwsend prints it.
std::optional<CheckedImage> CheckImage(const std::string& file);

}  // namespace fwsend::gang
