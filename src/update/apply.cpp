#include "update/apply.h"

#include <chrono>
#include <thread>

#include "common/text.h"
#include "userdata/activity_log.h"
#include "platform/file_io.h"
#include "platform/service_manager.h"
#include "platform/system.h"
#include "update/download.h"
#include "update/file_digest.h"
#include "update/version.h"

namespace nimbalo::update {

namespace {

size_t name_start(std::string_view path) {
    const size_t sep = path.find_last_of("/\\");
    return sep == std::string_view::npos ? 0 : sep + 1;
}

std::string parent_folder(std::string_view path) {
    const size_t start = name_start(path);
    if (start == 0) return {};
    std::string dir(path.substr(0, start - 1));
    // "C:\x.exe" and "/x" keep their root.
    if (dir.empty() || (dir.size() == 2 && dir[1] == ':')) dir = std::string(path.substr(0, start));
    return dir;
}

bool stop_reported(const Result<std::string>& query) {
    if (!query) return true;  // sc.exe cannot run: nothing more can be learned by waiting
    const std::string text = sanitize_utf8(*query);
    return text.find("STOPPED") != std::string::npos || text.find("1060") != std::string::npos;
}

Status stop_service(const ApplyHooks& hooks) {
    (void)hooks.run_sc({"stop", kServiceName});
    const uint64_t stop_returned = hooks.now_ms();
    for (;;) {
        if (stop_reported(hooks.run_sc({"query", kServiceName}))) {
            hooks.sleep(kStoppedSettleMs);
            return {};
        }
        if (hooks.now_ms() - stop_returned >= kStopWaitMs) break;
        hooks.sleep(kStopPollMs);
    }
    if (stop_reported(hooks.run_sc({"query", kServiceName}))) return {};
    return fail("the search service did not stop; try again in a moment");
}

Status swap_in(const std::string& build, const std::string& target, const ApplyHooks& hooks) {
    const std::string old = fallback_path(target);
    std::string last_error;
    for (int attempt = 0; attempt < kSwapAttempts; ++attempt) {
        if (attempt > 0) hooks.sleep(kSwapRetryMs);
        (void)platform::remove_file(old);
        if (platform::path_exists(target) && !platform::rename_file(target, old)) {
            last_error = "file is locked";
            continue;
        }
        if (auto copied = platform::copy_file_over(build, target); copied) {
            // Stays behind when the replaced executable is still running; the next swap retries.
            (void)platform::remove_file(old);
            return {};
        } else {
            last_error = copied.error();
        }
        if (platform::path_exists(old) && !platform::path_exists(target)) (void)platform::rename_file(old, target);
    }
    return fail("could not replace " + target + ": " + last_error);
}

}  // namespace

std::string fallback_path(std::string_view target) {
    const size_t start = name_start(target);
    const size_t dot = target.rfind('.');
    const size_t stem_end = (dot == std::string_view::npos || dot <= start) ? target.size() : dot;
    return std::string(target.substr(0, stem_end)) + ".exe.old";
}

std::string staging_folder_for(std::string_view target) {
    const std::string dir = parent_folder(target);
    return dir.empty() ? std::string("update") : platform::join_path(dir, "update");
}

ApplyHooks system_apply_hooks() {
    ApplyHooks h;
    h.service_exists = [] { return platform::service_exists(kServiceName); };
    h.run_sc = [](const std::vector<std::string>& args) -> Result<std::string> {
        const std::string dir = platform::system_directory();
        if (dir.empty()) return fail("sc.exe is not available on this system");
        auto r = platform::run_process(platform::join_path(dir, "sc.exe"), args, true);
        if (!r) return std::move(r).take_error();
        return std::move(r->output);
    };
    h.sleep = [](uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    h.now_ms = [] { return platform::tick_count_ms(); };
    h.log = [](std::string_view line) { log_line(line); };
    return h;
}

Status apply_update(const std::string& build, const std::string& target, const ApplyHooks& hooks) {
    if (!platform::path_exists(build)) return fail("the downloaded build is missing");
    const bool had_service = hooks.service_exists();
    if (had_service)
        if (auto s = stop_service(hooks); !s) return s;

    Status result;
    if (const std::string dir = parent_folder(target); !dir.empty())
        if (auto s = platform::create_folders(dir); !s) result = fail("cannot create " + dir + ": " + s.error());
    if (result) result = swap_in(build, target, hooks);
    if (had_service) (void)hooks.run_sc({"start", kServiceName});
    if (!result) return result;

    (void)platform::remove_file(build);
    hooks.log(std::string("update: installed ") + kRunningVersion + " -> " + target);
    return {};
}

Status apply_update(const std::string& build, const std::string& target) {
    return apply_update(build, target, system_apply_hooks());
}

Status apply_verified_update(const std::string& build, const std::string& target, std::string_view expected_sha256,
                             const std::string& staging_folder, const ApplyHooks& hooks) {
    if (!is_sha256_text(expected_sha256)) return fail("the expected SHA-256 must be 64 hexadecimal digits");
    if (!platform::path_exists(build)) return fail("the downloaded build is missing");
    if (auto s = platform::create_folders(staging_folder); !s)
        return fail("cannot create " + staging_folder + ": " + s.error());
    const std::string staged = platform::join_path(staging_folder, kDownloadName);
    if (auto s = platform::copy_file_over(build, staged); !s)
        return fail("cannot copy " + build + " to " + staged + ": " + s.error());
    auto digest = file_sha256(staged);
    Status result;
    if (!digest)
        result = std::move(digest).take_error();
    else if (*digest != ascii_lower(expected_sha256))
        result = fail("checksum mismatch (got " + *digest + ")");
    else
        result = apply_update(staged, target, hooks);
    (void)platform::remove_file(staged);
    if (result) (void)platform::remove_file(build);
    return result;
}

}  // namespace nimbalo::update
