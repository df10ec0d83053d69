// The console role "update": "update check" and "update apply <build> [target] [--sha256=<hex>]".
#include <optional>
#include <string>
#include <vector>

#include "update/update_command.h"
#include "common/text.h"
#include "userdata/activity_log.h"
#include "platform/console.h"
#include "platform/file_io.h"
#include "platform/shell_open.h"
#include "platform/system.h"
#include "platform/program_paths.h"
#include "update/apply.h"
#include "update/file_digest.h"
#include "update/manifest.h"
#include "update/version.h"

namespace nimbalo {

namespace {

constexpr const char* kUsage = "usage: nimbalo update check | update apply <build> [target]";
constexpr const char* kApplyUsage = "usage: nimbalo update apply <build> [target]";
constexpr std::string_view kShaOption = "--sha256=";

Status update_check() {
    const std::string current = update::kRunningVersion;
    auto m = update::fetch_manifest();
    if (!m) {
        platform::write_stdout("current=" + current + " manifest-error=" + m.error() + "\n");
        return {};
    }
    const bool newer = update::is_newer(m->version, current);
    platform::write_stdout("current=" + current + " remote=" + m->version + " newer=" + (newer ? "true" : "false") +
                           " url=" + m->url + "\n");
    return {};
}

Status update_apply(const std::vector<std::string>& args) {
    std::vector<std::string> positional;
    std::optional<std::string> sha;
    for (size_t i = 2; i < args.size(); ++i) {
        if (starts_with(args[i], kShaOption)) {
            sha = args[i].substr(kShaOption.size());
            if (!update::is_sha256_text(*sha)) return fail("--sha256 needs 64 hexadecimal digits: " + *sha);
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.empty()) return fail(kApplyUsage);
    const std::string& build = positional[0];
    const std::string target = positional.size() > 1 ? positional[1] : preferred_exe().path;

    const auto hooks = update::system_apply_hooks();
    const Status s = sha ? update::apply_verified_update(build, target, *sha, update::staging_folder_for(target), hooks)
                         : update::apply_update(build, target, hooks);
    if (!s) {
        log_line("update: failed: " + s.error());
        // The launcher quit to make room for the swap; bring back whichever executable is in place.
        if (platform::path_exists(target)) (void)platform::open_as_user(target);
        return s;
    }
    platform::write_stdout(std::string("installed ") + update::kRunningVersion + " -> " + target + "\n");
    (void)platform::open_as_user(target);
    return {};
}

}  // namespace

Status cmd_update(const std::vector<std::string>& args) {
    const std::string sub = args.size() > 1 ? args[1] : "";
    if (sub == "check") return update_check();
    if (sub == "apply") return update_apply(args);
    return fail(kUsage);
}

}  // namespace nimbalo
