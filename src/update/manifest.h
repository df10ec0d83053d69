// version.txt, the update server's manifest: its URL, its line rules and its fetch.
// One entry a line ("\n", an optional "\r" before it dropped), each trimmed; empty and "#" lines
// skipped; "key = value" lines set version, url, sha256 (lower-cased), note/notes and size,
// later lines winning; a bare line is the version only while no key line and no version came
// before it. Reading is bounded: at most 65,537 bytes plus one transport piece are looked at.
// Pure apart from the transport; thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/result.h"
#include "update/https_get.h"

namespace nimbalo::update {

struct UpdateManifest {
    std::string version;
    std::string url;
    std::string sha256;
    std::string notes;
    uint64_t size = 0;
};

// NIMBALO_UPDATE_URL when set and not empty, else "https://{build host}/download/version.txt".
std::string manifest_url();
// The manifest URL's scheme and host with "/download/nimbalo.exe".
std::string default_download_url(std::string_view manifest_url);

// Parse the body text (already UTF-8 sanitised) of the manifest found at manifest_url.
// Without a version: "unexpected version.txt: {first 80 characters of text}".
Result<UpdateManifest> parse_manifest(std::string_view text, std::string_view manifest_url);

inline constexpr size_t kManifestReadLimit = 65537;
inline constexpr size_t kManifestPiece = 8192;

Result<UpdateManifest> fetch_manifest(std::string_view manifest_url, const HttpsOpener& open);
Result<UpdateManifest> fetch_manifest();

}  // namespace nimbalo::update
