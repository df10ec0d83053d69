// service.log: the service's own short history in its data folder (beside index.bin): why an
// index was rebuilt, a save that failed, a journal that cannot be followed. One line per event,
// "{YYYY-MM-DD HH:MM:SS}  {text}" in local time; at 196,608 bytes the file becomes service.log.1
// (one old file kept). File errors are swallowed: logging never fails the service. Thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace nimbalo {

inline constexpr const char* kServiceLogName = "service.log";

void service_log(const std::string& folder, std::string_view text);

}  // namespace nimbalo
