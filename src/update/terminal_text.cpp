#include "update/terminal_text.h"

#include "common/text.h"

namespace nimbalo::update {

std::string printable(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const std::string clean = sanitize_utf8(text);
    std::string out;
    out.reserve(clean.size());
    for (size_t i = 0; i < clean.size(); ++i) {
        const auto c = static_cast<unsigned char>(clean[i]);
        if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else if (c == 0xC2 && i + 1 < clean.size() && static_cast<unsigned char>(clean[i + 1]) <= 0x9F) {
            const auto d = static_cast<unsigned char>(clean[++i]);  // U+0080..U+009F
            out += "\\u00";
            out += kHex[d >> 4];
            out += kHex[d & 15];
        } else {
            out += char(c);
        }
    }
    return out;
}

}  // namespace nimbalo::update
