#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "platform/sha256.h"

namespace nimbalo::platform {

struct Sha256::Impl {
    BCRYPT_ALG_HANDLE alg = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    ~Impl() {
        if (hash) BCryptDestroyHash(hash);
        if (alg) BCryptCloseAlgorithmProvider(alg, 0);
    }
};

Sha256::Sha256() : impl_(std::make_unique<Impl>()) {
    // SHA-256 is always present in CNG; failing here means the process is out of resources.
    if (BCryptOpenAlgorithmProvider(&impl_->alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0 ||
        BCryptCreateHash(impl_->alg, &impl_->hash, nullptr, 0, nullptr, 0, 0) < 0)
        std::abort();
}
Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::update(std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
        const ULONG n = ULONG(std::min<size_t>(bytes.size(), ULONG_MAX));
        BCryptHashData(impl_->hash, reinterpret_cast<PUCHAR>(const_cast<std::byte*>(bytes.data())), n, 0);
        bytes = bytes.subspan(n);
    }
}

std::array<unsigned char, 32> Sha256::finish() {
    std::array<unsigned char, 32> out{};
    BCryptFinishHash(impl_->hash, out.data(), ULONG(out.size()), 0);
    return out;
}

}  // namespace nimbalo::platform
