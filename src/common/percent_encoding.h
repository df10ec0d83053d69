// Percent-encoding of a query string value for the loopback service: every byte outside
// A-Z a-z 0-9 - . _ ~ as "%XX" (upper-case hex), so any text, valid UTF-8 or not, reaches the
// service byte for byte. Pure; thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace nimbalo {

std::string percent_encode(std::string_view text);

}  // namespace nimbalo
