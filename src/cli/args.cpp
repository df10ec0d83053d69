#include "cli/args.h"

#include <algorithm>

namespace nimbalo::cli {

bool take_tray_flags(std::vector<std::string>& args) {
    const auto is_flag = [](const std::string& a) { return a == "--tray" || a == "/tray" || a == "--startup"; };
    const bool found = std::any_of(args.begin(), args.end(), is_flag);
    args.erase(std::remove_if(args.begin(), args.end(), is_flag), args.end());
    return found;
}

char drive_arg(const std::vector<std::string>& args, size_t i) {
    if (i >= args.size() || args[i].empty()) return 'C';
    const char c = args[i][0];
    if (c >= 'a' && c <= 'z') return char(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z') return c;
    return 'C';
}

}  // namespace nimbalo::cli
