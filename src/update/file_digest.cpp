#include "update/file_digest.h"

#include <memory>

#include "platform/file_io.h"
#include "platform/sha256.h"

namespace nimbalo::update {

Result<std::string> file_sha256(const std::string& path) {
    auto file = platform::File::open_read(path);
    if (!file) return fail("cannot read " + path + ": " + file.error());
    platform::Sha256 hash;
    const auto piece = std::make_unique<char[]>(kDigestPiece);
    for (;;) {
        auto n = file->read(std::span<char>(piece.get(), kDigestPiece));
        if (!n) return std::move(n).take_error();
        if (*n == 0) break;
        hash.update(std::string_view(piece.get(), *n));
    }
    return platform::digest_hex(hash.finish());
}

bool is_sha256_text(std::string_view text) {
    if (text.size() != 64) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
    return true;
}

}  // namespace nimbalo::update
