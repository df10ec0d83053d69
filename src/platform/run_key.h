// The user's Run key, HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run: programs the
// session starts at sign-in. Only REG_SZ values are read or written. POSIX has no Run key: reads
// find nothing, writes fail with a clear text. Each call opens and closes the key; thread-safe.
#pragma once

#include <optional>
#include <string>

#include "common/result.h"

namespace nimbalo::platform {

// The value's text (RegGetValueW, RRF_RT_REG_SZ, a 4,096-byte buffer), or nothing when it is
// missing, of another type, or too long for the buffer.
std::optional<std::string> read_run_value(const std::string& name);

// Errors: "cannot open the Run key (0x{status})", "cannot update the Run key (0x{status})", the
// status in lower-case hexadecimal without leading zeros.
Status write_run_value(const std::string& name, const std::string& data);
// A value that does not exist is no error.
Status delete_run_value(const std::string& name);

}  // namespace nimbalo::platform
