#pragma once
// SHA-256 (FIPS 180-4) of the upgrade file, for the report. Written here
// because no library offers it to every build: the static Windows build and
// the ARM and i686 cross builds have no packaged libcrypto.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fwsend::gang {

class Sha256 {
public:
    Sha256();
    void Update(std::string_view data);
    // The digest; the object is spent afterwards.
    std::array<std::uint8_t, 32> Finish();

private:
    void Compress(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> block_{};
    std::size_t blockUsed_ = 0;
    std::uint64_t totalBytes_ = 0;
};

// The digest of data in lower-case hexadecimal, as sha256sum prints it.
std::string Sha256Hex(std::string_view data);

}  // namespace fwsend::gang
