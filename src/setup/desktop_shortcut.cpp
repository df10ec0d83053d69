#include "setup/desktop_shortcut.h"

#include "common/text.h"
#include "common/unicode.h"
#include "platform/file_io.h"
#include "platform/program_paths.h"
#include "platform/system.h"
#include "userdata/activity_log.h"

namespace nimbalo {

MarkerState classify_marker(const std::optional<std::string>& text) {
    if (!text) return MarkerState::Unmarked;
    std::string_view rest = *text;
    while (!rest.empty()) {
        const size_t nl = rest.find('\n');
        std::string_view line = rest.substr(0, nl);
        rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.starts_with("rev=")) continue;
        uint64_t rev = 0;
        if (!parse_u64_plus(trim_ascii(line.substr(4)), rev) || rev > UINT32_MAX) return MarkerState::Unmarked;
        return rev >= kShortcutRevision ? MarkerState::Current : MarkerState::Outdated;
    }
    return MarkerState::Outdated;
}

std::string marker_text(const std::string& shortcut_path) {
    return "rev=" + std::to_string(kShortcutRevision) + "\n" + shortcut_path + "\n";
}

namespace {

Status repair(const ShortcutSystem& sys) {
    const auto local = sys.local_app_data();
    if (!local) return fail("no LOCALAPPDATA");
    const std::string data = platform::join_path(*local, "Nimbalo");
    const std::string marker = platform::join_path(data, kShortcutMarker);
    auto desktop = sys.desktop_folder();
    if (!desktop) return fail("no desktop folder");
    const std::string shortcut = *desktop + "\\" + kShortcutName;
    sys.create_folders(data);
    const platform::ShortcutSpec spec{sys.installed_exe(), sys.program_folder(), kShortcutDescription};
    switch (classify_marker(sys.read_text(marker))) {
        case MarkerState::Current:
            return {};
        case MarkerState::Unmarked:
            if (!sys.file_exists(shortcut)) {
                if (Status s = sys.create_shortcut(shortcut, spec); !s) return s;
                sys.log_line("desktop shortcut: " + shortcut);
            }
            break;
        case MarkerState::Outdated:
            if (sys.file_exists(shortcut)) {
                if (Status s = sys.create_shortcut(shortcut, spec); !s) return s;
                sys.log_line("desktop shortcut repaired: " + shortcut);
            }
            break;
    }
    sys.write_text(marker, marker_text(shortcut));
    return {};
}

}  // namespace

void repair_desktop_shortcut(const ShortcutSystem& sys) {
    const auto running = sys.running_exe();
    if (!running || to_lower_full(*running) != to_lower_full(sys.installed_exe())) return;  // a portable copy
    if (Status s = repair(sys); !s) sys.log_line("desktop shortcut failed: " + s.error());
}

ShortcutSystem system_shortcut() {
    ShortcutSystem s;
    s.running_exe = [] { return platform::executable_path(); };
    s.installed_exe = [] { return installed_exe(); };
    s.program_folder = [] { return program_folder(); };
    s.local_app_data = [] { return platform::get_env("LOCALAPPDATA"); };
    s.desktop_folder = [] { return platform::desktop_folder(); };
    s.file_exists = [](const std::string& p) { return platform::path_exists(p); };
    s.read_text = [](const std::string& p) -> std::optional<std::string> {
        auto r = platform::read_file(p, 1 << 16);
        if (!r) return std::nullopt;
        return *r;
    };
    s.write_text = [](const std::string& p, const std::string& text) { (void)platform::write_file_atomic(p, text); };
    s.create_folders = [](const std::string& f) { (void)platform::create_folders(f); };
    s.create_shortcut = [](const std::string& p, const platform::ShortcutSpec& spec) { return platform::create_shortcut(p, spec); };
    s.log_line = [](std::string_view line) { log_line(line); };
    return s;
}

}  // namespace nimbalo
