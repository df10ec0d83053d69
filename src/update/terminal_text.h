// Text from elsewhere (a server's manifest) made safe to print on a terminal: control characters,
// which could move the cursor, rewrite the screen or retitle the window, are written escaped.
// Pure; thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace nimbalo::update {

// Invalid UTF-8 becomes U+FFFD; C0 controls and DEL become "\xNN", C1 controls (U+0080 to
// U+009F, which some terminals obey as escape sequences) become "\u00NN"; hex digits upper-case.
std::string printable(std::string_view text);

}  // namespace nimbalo::update
