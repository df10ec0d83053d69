#include "userdata/activity_log.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/system.h"

namespace nimbalo {

std::string local_time_text() {
    // snprintf rather than string concatenation: GCC 12 reports a false -Wrestrict on the latter.
    const auto t = platform::local_time_now();
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    return buf;
}

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
    const std::string line = local_time_text() + "  " + std::string(text) + "\n";
    out.write(line.data(), std::streamsize(line.size()));
}

void log_line(std::string_view text) { log_line_in(data_folder(), text); }

}  // namespace nimbalo
