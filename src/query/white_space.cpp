#include "query/white_space.h"

#include "common/unicode.h"

namespace nimbalo {

std::string_view trim_white_space(std::string_view text) {
    size_t b = 0;
    while (b < text.size()) {
        const Utf8Step s = utf8_decode_step(text, b);
        if (!s.valid || !is_white_space(s.cp)) break;
        b += s.len;
    }
    size_t e = text.size();
    while (e > b) {
        // Step back to the start of the last character.
        size_t start = e - 1;
        while (start > b && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80 && e - start < 4) --start;
        const Utf8Step s = utf8_decode_step(text, start);
        if (!s.valid || start + s.len != e || !is_white_space(s.cp)) break;
        e = start;
    }
    return text.substr(b, e - b);
}

}  // namespace nimbalo
