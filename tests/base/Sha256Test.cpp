#include <gtest/gtest.h>

#include <string>

#include "base/Sha256.h"

using namespace zorvex;

namespace {

struct Vector {
    std::string message;
    const char* digest;
};

// FIPS 180-4 example messages, the last one spanning two blocks of padding.
const Vector kVectors[] = {
    {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

TEST(Sha256, KnownVectorsWhateverPiecesTheBytesComeIn) {
    // Pieces that end inside, at and across the 64-byte blocks.
    for (const std::size_t piece :
         {std::size_t{1}, std::size_t{55}, std::size_t{63}, std::size_t{64}, std::size_t{65}, std::size_t{4096}}) {
        for (const Vector& v : kVectors) {
            TSha256 hash;
            for (std::size_t at = 0; at < v.message.size(); at += piece)
                hash.Update(std::string_view(v.message).substr(at, piece));
            EXPECT_EQ(DigestHex(hash.Finish()), v.digest) << v.message.size() << " bytes in pieces of " << piece;
        }
    }
    for (const Vector& v : kVectors) EXPECT_EQ(Sha256Hex(v.message), v.digest);
}

TEST(Sha256, StartsAfreshAfterFinish) {
    TSha256 hash;
    hash.Update("abc");
    hash.Finish();
    EXPECT_EQ(DigestHex(hash.Finish()), kVectors[0].digest);
}

}  // namespace
