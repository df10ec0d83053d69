// SHA-256 (FIPS 180-4) for verifying downloaded builds, fed in pieces so memory does not grow
// with the input. OpenSSL on POSIX, BCrypt on Windows. A hasher is owned by one thread and is
// move-only (it owns the library's hash state). Cost: linear in the bytes fed.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace nimbalo::platform {

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(Sha256&&) noexcept;
    Sha256& operator=(Sha256&&) noexcept;
    Sha256(const Sha256&) = delete;  // owns library hash state that cannot be shared
    Sha256& operator=(const Sha256&) = delete;

    void update(std::span<const std::byte> bytes);
    void update(std::string_view bytes) { update(std::as_bytes(std::span(bytes.data(), bytes.size()))); }
    // The digest of everything fed so far; the hasher must not be fed afterwards.
    std::array<unsigned char, 32> finish();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// 64 lower-case hexadecimal digits.
inline std::string digest_hex(const std::array<unsigned char, 32>& digest) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string s;
    s.reserve(64);
    for (unsigned char b : digest) {
        s += kHex[b >> 4];
        s += kHex[b & 15];
    }
    return s;
}

}  // namespace nimbalo::platform
