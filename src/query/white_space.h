// Unicode White_Space trimming for query text. Pure; thread-safe.
#pragma once

#include <string_view>

namespace nimbalo {

std::string_view trim_white_space(std::string_view text);

}  // namespace nimbalo
