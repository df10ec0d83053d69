// Size values of the query language: parse_size and the filter test.
#include <charconv>
#include <cmath>

#include "common/unicode.h"
#include "query/query.h"
#include "query/white_space.h"

namespace nimbalo {

Result<uint64_t> parse_size(std::string_view text) {
    std::string t = to_lower_full(trim_white_space(text));
    if (t.empty()) return fail("empty size");
    struct Unit {
        std::string_view suffix;
        double factor;
    };
    static constexpr Unit kUnits[] = {{"kb", 1024.0}, {"k", 1024.0}, {"mb", 1048576.0}, {"m", 1048576.0},
                                      {"gb", 1073741824.0}, {"g", 1073741824.0}, {"b", 1.0}};
    double factor = 1.0;
    for (const Unit& u : kUnits) {
        if (std::string_view(t).ends_with(u.suffix)) {
            factor = u.factor;
            t.resize(t.size() - u.suffix.size());
            break;
        }
    }
    std::string number;
    for (char c : trim_white_space(t))
        if (c != ',') number += c;
    // Optional sign, then digits with an optional fraction and exponent. from_chars takes no
    // '+' and would accept "inf"/"nan", so the sign and the first character are checked here.
    std::string_view digits = number;
    bool negative = false;
    if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
        negative = digits[0] == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty() || !((digits[0] >= '0' && digits[0] <= '9') || digits[0] == '.')) return fail("not a number");
    double value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, std::chars_format::general);
    if (end != digits.data() + digits.size()) return fail("not a number");
    if (ec == std::errc::result_out_of_range) {
        // Too small rounds to zero; too large is not a finite number and fails.
        const size_t e = digits.find_first_of("eE");
        const bool tiny = (e != std::string_view::npos) ? (e + 1 < digits.size() && digits[e + 1] == '-')
                                                        : digits.find_first_of("123456789") > digits.find('.');
        if (!tiny) return fail("number out of range");
        value = 0;
    } else if (ec != std::errc()) {
        return fail("not a number");
    }
    if (negative) value = -value;
    if (value < 0) return fail("negative size");
    const double bytes = value * factor;
    if (!(bytes < 18446744073709551616.0)) return UINT64_MAX;
    return static_cast<uint64_t>(bytes);
}

bool size_filter_holds(const SizeFilter& f, uint64_t size) {
    switch (f.op) {
        case SizeOp::Gt: return size > f.bound;
        case SizeOp::Ge: return size >= f.bound;
        case SizeOp::Lt: return size < f.bound;
        case SizeOp::Le: return size <= f.bound;
        case SizeOp::Eq: return size == f.bound;
        case SizeOp::Range: return size >= f.bound && size <= f.upper;
    }
    return false;
}

}  // namespace nimbalo
