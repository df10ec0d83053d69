// Replacing the installed executable with a new build, around the search service.
// Order: stop the service (sc.exe stop, then sc.exe query every 200 ms for up to 15 s until it
// reports STOPPED or 1060, "no such service"), swap (at most 20 attempts 250 ms apart: drop the
// old fallback, rename the target to "{target minus extension}.exe.old", copy the build over the
// target, drop the fallback; a failed copy puts the fallback back), then start the service
// again whatever the swap did. No service (always so on Linux): no sc.exe at all.
// Refused before anything is stopped: a build that is missing or not a regular file, a build that
// is the target itself (by file identity, not by spelling), and a target that exists but is not a
// regular file. Folders created for the target or the staging copy are removed again when the
// update fails. Nothing guards against two processes swapping at once. Blocks the calling thread for up to
// about 20 s. The OS-facing steps that tests replace are gathered in ApplyHooks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace nimbalo::update {

inline constexpr const char* kServiceName = "Nimbalo";
inline constexpr uint64_t kStopWaitMs = 15000;
inline constexpr uint32_t kStopPollMs = 200;
inline constexpr uint32_t kStoppedSettleMs = 150;
inline constexpr int kSwapAttempts = 20;
inline constexpr uint32_t kSwapRetryMs = 250;

struct ApplyHooks {
    std::function<bool()> service_exists;
    // Run sc.exe with args, standard output then standard error; an error when it cannot start.
    std::function<Result<std::string>(const std::vector<std::string>& args)> run_sc;
    std::function<void(uint32_t ms)> sleep;
    std::function<uint64_t()> now_ms;
    std::function<void(std::string_view line)> log;  // the activity log
};

// The real ones: the service manager, sc.exe from the system folder (never the search path),
// the system clock and mcp.log.
ApplyHooks system_apply_hooks();

// "nimbalo.exe" -> "nimbalo.exe.old"; a name without an extension gains ".exe.old".
std::string fallback_path(std::string_view target);

Status apply_update(const std::string& build, const std::string& target, const ApplyHooks& hooks);
Status apply_update(const std::string& build, const std::string& target);

// Where apply_verified_update stages the build: the "update" folder beside the target. For the
// installed copy that is the program folder's own update folder, which only administrators can
// write; for a portable copy it is no more open to the user than the target itself.
std::string staging_folder_for(std::string_view target);

// The elevated path that trusts nothing the user can still change: copy build into
// staging_folder (writable by administrators only), check the copy's SHA-256 against
// expected_sha256 (64 hex digits, either case), and swap in only that copy. The staged copy is
// removed on every path; the user's build is removed after a successful swap.
Status apply_verified_update(const std::string& build, const std::string& target, std::string_view expected_sha256,
                             const std::string& staging_folder, const ApplyHooks& hooks);

}  // namespace nimbalo::update
