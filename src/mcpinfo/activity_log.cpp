#include "mcpinfo/activity_log.h"

#include <filesystem>
#include <fstream>

#include "platform/system.h"

namespace nimbalo {

namespace {

// Built up in place: GCC 12 flags `const char* + std::string&&` with a false -Wrestrict at -O3.
std::string two(int v) {
    std::string s = std::to_string(v);
    if (v < 10) s.insert(s.begin(), '0');
    return s;
}

std::string local_stamp() {
    const auto t = platform::local_time_now();
    std::string year = std::to_string(t.year);
    while (year.size() < 4) year.insert(year.begin(), '0');
    return year + "-" + two(t.month) + "-" + two(t.day) + " " + two(t.hour) + ":" + two(t.minute) + ":" + two(t.second);
}

}  // namespace

std::string data_folder() {
    if (auto local = platform::get_env("LOCALAPPDATA"); local && !local->empty())
        return platform::join_path(*local, "Nimbalo");
    return platform::join_path(platform::fallback_data_home(), "Nimbalo");
}

void log_line_in(const std::string& folder, std::string_view text) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(platform::to_path(folder), ec);
    const std::string log = platform::join_path(folder, "mcp.log");
    const auto size = fs::file_size(platform::to_path(log), ec);
    if (!ec && size >= kLogRotateBytes) {
        fs::remove(platform::to_path(log + "." + std::to_string(kLogKeepFiles)), ec);
        for (int i = kLogKeepFiles - 1; i >= 1; --i) {
            const auto from = platform::to_path(log + "." + std::to_string(i));
            if (fs::exists(from, ec)) fs::rename(from, platform::to_path(log + "." + std::to_string(i + 1)), ec);
        }
        fs::rename(platform::to_path(log), platform::to_path(log + ".1"), ec);
    }
    std::ofstream out(platform::to_path(log), std::ios::binary | std::ios::app);
    if (!out) return;
    const std::string line = local_stamp() + "  " + std::string(text) + "\n";
    out.write(line.data(), std::streamsize(line.size()));
}

void log_line(std::string_view text) { log_line_in(data_folder(), text); }

}  // namespace nimbalo
