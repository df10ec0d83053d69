#include "cli/quote_args.h"

namespace nimbalo::cli {

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

}  // namespace nimbalo::cli
