// Version texts of builds: the running version and the lenient triple comparison the update
// check uses. Pure; thread-safe.
#pragma once

#include <cstdint>
#include <string_view>

namespace nimbalo::update {

inline constexpr const char* kRunningVersion = "0.5.5";

struct VersionTriple {
    uint32_t major = 0, minor = 0, patch = 0;
    auto operator<=>(const VersionTriple&) const = default;
};

// Trim white space, drop leading lower-case 'v's, split at '.', and take the leading ASCII digits
// of each of the first three pieces (0 when there are none or they overflow 32 bits). Never
// fails: "1.2.3-beta" and "v1.2.3.9" give (1,2,3); "V1.2" gives (0,2,0).
VersionTriple parse_version(std::string_view text);

// True only when remote's triple is greater than current's.
bool is_newer(std::string_view remote, std::string_view current);

}  // namespace nimbalo::update
