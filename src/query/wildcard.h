// The glob match of the query language over bytes: '?' is any one byte, '*' any run of bytes
// (also none), and the pattern must cover the whole text. Tried in this order at each step:
// '?', then a literal byte (folded when fold_ascii), then '*'; a mismatch returns to the last
// '*' and lets it take one more byte. A '*' or '?' in the text itself matches the same byte
// in the pattern literally only through the first two rules (names with these bytes cannot be
// made on Windows).
// Cost: O(|pattern| * |text|) worst case, no allocation, no recursion. Pure; thread-safe.
#pragma once

#include <string_view>

namespace nimbalo {

bool wildcard_match(std::string_view pattern, std::string_view text, bool fold_ascii);

}  // namespace nimbalo
