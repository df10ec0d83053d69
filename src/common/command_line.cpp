#include "common/command_line.h"

namespace nimbalo {

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


std::string quote_windows_argument(const std::string& arg) {
    // The splitter separates on space and tab only; newline and vertical tab are quoted anyway
    // because other parsers of the same rules (cmd.exe, older runtimes) treat them as separators.
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
    std::string out = "\"";
    size_t slashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        if (c == '"') {
            out.append(2 * slashes + 1, '\\');  // each backslash doubled, then the quote escaped
            out += '"';
        } else {
            out.append(slashes, '\\');  // not before a quote: taken literally by the splitter
            out += c;
        }
        slashes = 0;
    }
    out.append(2 * slashes, '\\');  // they precede the closing quote
    out += '"';
    return out;
}

Result<std::string> quote_windows_command_line(const std::string& program, const std::vector<std::string>& args) {
    if (program.find('"') != std::string::npos)
        return fail("a program path cannot contain a double quote: " + program);
    // The system reads the line up to the first NUL; anything after it would vanish silently.
    if (program.find('\0') != std::string::npos) return fail("a program path cannot contain a NUL character");
    for (const auto& a : args)
        if (a.find('\0') != std::string::npos) return fail("a command-line argument cannot contain a NUL character");
    std::string line = "\"" + program + "\"";
    for (const auto& a : args) {
        line += ' ';
        line += quote_windows_argument(a);
    }
    return line;
}

}  // namespace nimbalo
