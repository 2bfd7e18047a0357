// The report's SHA-256 against the NIST test vectors (FIPS 180-4 examples).

#include <gtest/gtest.h>

#include <string>

#include "gang/sha256.h"

namespace fwsend::gang {
namespace {

TEST(Sha256, GivesTheNistDigests) {
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 448 bits: the padding no longer fits the block, a second one follows.
    EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Sha256Hex(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, PiecesGiveTheDigestOfTheWhole) {
    const std::string message(1000, 'x');
    Sha256 pieces;
    for (std::size_t at = 0; at < message.size(); at += 63)
        pieces.Update(std::string_view(message).substr(at, 63));
    Sha256 whole;
    whole.Update(message);
    EXPECT_EQ(pieces.Finish(), whole.Finish());
}

}  // namespace
}  // namespace fwsend::gang
