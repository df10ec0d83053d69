#include "service/service_log.h"

#include <cstdio>
#include <filesystem>
#include <mutex>

#include "platform/data_folder.h"
#include "platform/system.h"

namespace nimbalo {

namespace {

constexpr uint64_t kRotateBytes = 196608;
std::mutex log_lock;

std::string stamp() {
    const platform::CivilTime t = platform::local_time_now();
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    return buf;
}

}  // namespace

void service_log(const std::string& folder, std::string_view text) {
    if (folder.empty() || !platform::folder_is_trusted(folder)) return;
    std::lock_guard lock(log_lock);
    const std::string path = platform::join_path(folder, kServiceLogName);
    std::error_code ec;
    if (std::filesystem::file_size(platform::to_path(path), ec) >= kRotateBytes && !ec) {
        std::filesystem::rename(platform::to_path(path), platform::to_path(path + ".1"), ec);
    }
    std::string line = stamp() + "  ";
    line += text;
    line += '\n';
    (void)platform::append_to_file_shared(path, line);
}

}  // namespace nimbalo
