// The desktop shortcut "Nimbalo.lnk" to the installed launcher, made and repaired by the installed
// launcher once per start (on a thread of its own), with a revision marker file
// "desktop-shortcut" in the per-user data folder: "rev=2\n{shortcut path}\n". A marker of the
// current revision means "done": a shortcut the user deleted stays deleted. An older one makes an
// existing shortcut be written again once. Outcomes go to the activity log only.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"
#include "platform/shell_link.h"

namespace nimbalo {

inline constexpr uint32_t kShortcutRevision = 2;
inline constexpr const char* kShortcutMarker = "desktop-shortcut";
inline constexpr const char* kShortcutName = "Nimbalo.lnk";
inline constexpr const char* kShortcutDescription = "Nimbalo - instant search over this PC";

enum class MarkerState { Unmarked, Outdated, Current };

// The marker's text, or nothing when it could not be read. The first line beginning with "rev="
// (a carriage return before the line feed dropped, the rest trimmed) holds the revision:
// unsigned decimal, optional "+", 32 bits. No such line: outdated; a number that does not parse:
// unmarked.
MarkerState classify_marker(const std::optional<std::string>& text);
std::string marker_text(const std::string& shortcut_path);

struct ShortcutSystem {
    std::function<std::optional<std::string>()> running_exe;
    std::function<std::string()> installed_exe;
    std::function<std::string()> program_folder;
    std::function<std::optional<std::string>()> local_app_data;
    std::function<Result<std::string>()> desktop_folder;
    std::function<bool(const std::string&)> file_exists;
    std::function<std::optional<std::string>(const std::string&)> read_text;
    std::function<void(const std::string& path, const std::string& text)> write_text;  // errors ignored
    std::function<void(const std::string& folder)> create_folders;                     // errors ignored
    std::function<Status(const std::string& path, const platform::ShortcutSpec&)> create_shortcut;
    std::function<void(std::string_view)> log_line;
};

ShortcutSystem system_shortcut();

// Only for the installed copy (paths compared lower-cased): see the header comment.
void repair_desktop_shortcut(const ShortcutSystem& sys);

}  // namespace nimbalo
