// Downloading a build into the update folder and verifying its SHA-256 digest.
// The body streams through one 65,536-byte buffer into "{folder}/nimbalo.new.exe"; progress is
// reported (stage 1) whenever the total is reached or at least 49,152 bytes arrived since the
// last report, then once more (stage 2) before hashing. A body over kMaxDownloadBytes is refused
// (by its Content-Length up front, or as soon as the received bytes pass the limit). Every
// failure after the file was created deletes it, so a failed download never leaves a build
// behind that could be mistaken for a good one. Runs on the caller's thread; the callback is
// called on it too.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/result.h"
#include "update/https_get.h"

namespace nimbalo::update {

inline constexpr size_t kDownloadBuffer = 65536;
inline constexpr uint64_t kProgressStep = 49152;
inline constexpr uint64_t kMaxDownloadBytes = 512ull << 20;
inline constexpr const char* kDownloadName = "nimbalo.new.exe";

// stage 1 while transferring, 2 while verifying; fraction in [0, 1]; text for the user.
using ProgressFn = std::function<void(int stage, float fraction, const std::string& text)>;

// "{data folder}/update".
std::string update_folder();

struct DownloadOptions {
    std::string folder;          // where the download goes; update_folder() by default
    HttpsOpener open;            // platform::https_open by default
    uint64_t max_bytes = kMaxDownloadBytes;
};

// Path of the verified download. expected_sha256 is compared exactly (lower case expected);
// empty accepts the file unchecked.
Result<std::string> download_update(std::string_view url, std::string_view expected_sha256,
                                    const ProgressFn& progress, const DownloadOptions& options);
Result<std::string> download_update(std::string_view url, std::string_view expected_sha256,
                                    const ProgressFn& progress);

}  // namespace nimbalo::update
