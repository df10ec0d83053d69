// SHA-256 of a file, read in 262,144-byte pieces so memory does not grow with the file.
// "cannot read {path}: {io error}" when it cannot be opened; the bare I/O error text when a
// read fails. Thread-safe.
#pragma once

#include <string>

#include "common/result.h"

namespace nimbalo::update {

inline constexpr size_t kDigestPiece = 262144;

// 64 lower-case hexadecimal digits.
Result<std::string> file_sha256(const std::string& path);

// True for exactly 64 hexadecimal digits of either case.
bool is_sha256_text(std::string_view text);

}  // namespace nimbalo::update
