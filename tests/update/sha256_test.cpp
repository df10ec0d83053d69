#include <gtest/gtest.h>

#include "platform/sha256.h"

using nimbalo::platform::digest_hex;
using nimbalo::platform::Sha256;

namespace {

std::string hash_in_pieces(const std::string& data, size_t piece) {
    Sha256 h;
    for (size_t i = 0; i < data.size(); i += piece) h.update(std::string_view(data).substr(i, piece));
    return digest_hex(h.finish());
}

}  // namespace

// The FIPS 180-4 example vectors (NIST CSRC examples and the one-million-'a' message), each
// fed whole, byte by byte and in pieces that straddle the 64-byte block boundary.
TEST(Sha256, Fips180Vectors) {
    struct Case {
        std::string message;
        const char* digest;
    };
    const Case cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) {
        const size_t pieces[] = {c.message.size() + 1, 1, 63, 65};
        for (size_t piece : pieces) {
            if (piece == 1 && c.message.size() > 1000) continue;
            EXPECT_EQ(hash_in_pieces(c.message, piece), c.digest) << c.message.substr(0, 20) << " piece " << piece;
        }
    }
}
