#include <openssl/evp.h>

#include <cstdlib>

#include "platform/sha256.h"

namespace nimbalo::platform {

struct Sha256::Impl {
    EVP_MD_CTX* ctx = nullptr;
    ~Impl() { EVP_MD_CTX_free(ctx); }
};

Sha256::Sha256() : impl_(std::make_unique<Impl>()) {
    impl_->ctx = EVP_MD_CTX_new();
    // Only allocation failure can stop SHA-256 from initialising; there is no way to go on.
    if (!impl_->ctx || EVP_DigestInit_ex(impl_->ctx, EVP_sha256(), nullptr) != 1) std::abort();
}
Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::update(std::span<const std::byte> bytes) {
    if (!bytes.empty()) EVP_DigestUpdate(impl_->ctx, bytes.data(), bytes.size());
}

std::array<unsigned char, 32> Sha256::finish() {
    std::array<unsigned char, 32> out{};
    unsigned int len = 0;
    EVP_DigestFinal_ex(impl_->ctx, out.data(), &len);
    return out;
}

}  // namespace nimbalo::platform
