#pragma once
// Upgrade images for the tests: building frames, writing and reading the
// hex-pair text, and the output fwsend is expected to print for them.

#include <cstdint>
#include <string>
#include <vector>

namespace fwsend {

using Bytes = std::vector<std::uint8_t>;

// Frames with these payload lengths and deterministic payload bytes, laid end
// to end; another (non-zero) seed gives other bytes.
Bytes MakeImage(const std::vector<std::size_t>& payloadLengths, std::uint32_t seed = 2463534242u);
// Writes bytes as two-digit hex pairs, 32 to a line.
bool WriteUpgradeFile(const std::string& path, const Bytes& bytes);
// Reads a file of hex pairs separated by white space (such as the sample image).
Bytes ReadUpgradeFile(const std::string& path);
// The length of every frame, length bytes included, of a well-formed image.
std::vector<int> FrameSizes(const Bytes& image);

// What fwsend prints, piece by piece.
std::string Banner();
std::string ConnectionLine(const std::string& portName);
// The progress redraws of a whole upload: sendsPerFrame[i] sends of frame i
// (count = all bytes of the image, frames beyond the list are not sent).
std::string ProgressRedraws(const std::vector<int>& frameSizes, const std::vector<int>& sendsPerFrame,
                            int count);
std::string SuccessEnd();

}  // namespace fwsend
