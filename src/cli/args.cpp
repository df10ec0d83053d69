#include "cli/args.h"

#include <algorithm>

namespace nimbalo::cli {

std::vector<std::u16string> split_windows_command_line(std::u16string_view line) {
    std::vector<std::u16string> out;
    size_t i = 0;
    const size_t n = line.size();
    auto is_space = [](char16_t c) { return c == u' ' || c == u'\t'; };

    // Program name: quoted run without escape processing, or up to white space.
    if (n > 0) {
        std::u16string prog;
        if (line[0] == u'"') {
            ++i;
            while (i < n && line[i] != u'"') prog += line[i++];
            if (i < n) ++i;
        } else {
            while (i < n && !is_space(line[i])) prog += line[i++];
        }
        out.push_back(std::move(prog));
    }

    for (;;) {
        while (i < n && is_space(line[i])) ++i;
        if (i >= n) break;
        std::u16string arg;
        bool quoted = false;
        while (i < n) {
            if (!quoted && is_space(line[i])) break;
            if (line[i] == u'\\') {
                size_t slashes = 0;
                while (i < n && line[i] == u'\\') ++slashes, ++i;
                if (i < n && line[i] == u'"') {
                    arg.append(slashes / 2, u'\\');
                    if (slashes % 2 == 1) {
                        arg += u'"';
                        ++i;
                    }
                    // even: the quote is handled by the next iteration
                } else {
                    arg.append(slashes, u'\\');
                }
                continue;
            }
            if (line[i] == u'"') {
                if (quoted && i + 1 < n && line[i + 1] == u'"') {
                    arg += u'"';  // "" inside a quoted run is a literal quote
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            arg += line[i++];
        }
        out.push_back(std::move(arg));
    }
    return out;
}

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
