// The launcher's two channels: WorkerJob from the window thread to the "nimbalo-io" worker, and
// WorkerEvent back. Plain values; the kinds are listed in the order the worker runs them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "update/manifest.h"

namespace nimbalo::gui {

namespace job {
struct Search {
    uint64_t id = 0;
    std::string query;
};
struct Reindex {};
struct RefreshStatus {};
struct McpSelfTest {};
struct CheckUpdate {};
struct DownloadUpdate {
    std::string url;
    std::string sha256;
};
struct ApplyUpdate {
    std::string build;
    std::string target;
};
}  // namespace job

using WorkerJob = std::variant<job::Search, job::Reindex, job::RefreshStatus, job::McpSelfTest, job::CheckUpdate,
                               job::DownloadUpdate, job::ApplyUpdate>;

namespace event {
struct SearchResults {
    uint64_t id = 0;
    std::optional<std::vector<std::string>> hits;  // none: the service could not be reached or read
    std::optional<std::string> error;
};
struct ServiceStatus {
    static constexpr uint8_t kUnreachable = 255;
    uint8_t state = kUnreachable;  // the service's progress state (0-3), or 255
    uint64_t done = 0, total = 0;
    std::optional<uint64_t> entries;  // present exactly when this poll asked for the entry count
};
struct SelfTestFinished {
    bool ok = false;
    std::string message;
};
struct UpdateAvailable {
    update::UpdateManifest manifest;
};
struct UpdateProgress {
    uint8_t stage = 0;  // 1 downloading, 2 verifying, 3 stopping the service
    float fraction = 0;
    std::string text;
};
struct UpdateReady {
    std::string build;
};
struct UpdateInstalled {};
struct UpdateFailed {
    std::string message;
};
}  // namespace event

using WorkerEvent = std::variant<event::SearchResults, event::ServiceStatus, event::SelfTestFinished,
                                 event::UpdateAvailable, event::UpdateProgress, event::UpdateReady,
                                 event::UpdateInstalled, event::UpdateFailed>;

}  // namespace nimbalo::gui
