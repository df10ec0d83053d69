// Case-insensitive containment, the test behind every plain-word match.
// Rule: an empty needle is always contained; a needle with more bytes than the haystack never
// is; when either side is ASCII the bytes are compared with only A-Z folded (so an ASCII
// needle matches inside non-ASCII names, and a non-ASCII needle never matches an ASCII name);
// otherwise both sides are fully Unicode lower-cased and compared as plain substrings.
// Cost: the ASCII path allocates nothing and looks for the needle's first byte (both cases)
// 16 bytes at a time. The non-ASCII path lower-cases into a per-thread buffer.
// Threads: pure functions; CiNeedle is immutable after construction and may be shared.
#pragma once

#include <string>
#include <string_view>

namespace nimbalo {

bool is_ascii(std::string_view bytes);

bool contains_ci(std::string_view haystack, std::string_view needle);

// A needle prepared once for many haystacks: contains(h) == contains_ci(h, text) for every h.
class CiNeedle {
public:
    explicit CiNeedle(std::string_view text);
    bool contained_in(std::string_view haystack) const;
    const std::string& text() const { return text_; }

private:
    std::string text_;     // as given
    std::string folded_;   // ASCII path: A-Z folded
    std::string lowered_;  // non-ASCII path: fully lower-cased
    bool ascii_ = true;
};

// The first position of needle in haystack comparing with A-Z folded on both sides, or npos.
// needle_folded must already be folded. Allocation-free; the hot loop of every name scan.
size_t find_ascii_folded(std::string_view haystack, std::string_view needle_folded);

}  // namespace nimbalo
