#include "gui/worker/worker.h"

#include <thread>

#include "client/service_request.h"
#include "gui/worker/job_batch.h"
#include "platform/system.h"
#include "update/apply.h"
#include "update/version.h"
#include "userdata/activity_log.h"
#include "userdata/client_config.h"
#include "userdata/settings.h"

namespace nimbalo::gui {

namespace {

constexpr uint32_t kReindexTimeoutMs = 400;

// Runs one batch; false when an event could not be sent (the window thread has gone).
bool run_batch(const JobBatch& batch, StatusPoller& poller, Channel<WorkerEvent>& events, const WorkerDeps& deps) {
    if (batch.reindex) (void)deps.get("/reindex", kReindexTimeoutMs);  // its progress shows in the polls
    if (batch.self_test && !events.send(run_self_test(deps.self_test))) return false;
    if (batch.check_update) {
        // A failed check is silent: the next one comes in half an hour.
        if (auto m = deps.fetch_manifest(); m && update::is_newer(m->version, deps.running_version)) {
            deps.log_line("update: " + deps.running_version + " -> " + m->version + " available");
            if (!events.send(event::UpdateAvailable{*m})) return false;
        }
    }
    if (batch.download) {
        bool sent = true;
        auto done = deps.download(*batch.download, [&](int stage, float fraction, const std::string& text) {
            sent = sent && events.send(event::UpdateProgress{uint8_t(stage), fraction, text});
        });
        if (!sent) return false;
        const bool ok = done ? events.send(event::UpdateReady{*done}) : events.send(event::UpdateFailed{done.error()});
        if (!ok) return false;
    }
    if (batch.apply) {
        if (!events.send(event::UpdateProgress{3, 1.0f, "stopping the search service"})) return false;
        const Status s = deps.apply(*batch.apply);
        if (!(s ? events.send(event::UpdateInstalled{}) : events.send(event::UpdateFailed{s.error()}))) return false;
    }
    if (batch.search) {
        const auto body = deps.get(search_path(batch.search->query), kSearchTimeoutMs);
        if (!events.send(search_results(batch.search->id, body))) return false;
    }
    return events.send(poller.poll(deps.get));
}

}  // namespace

void run_worker(Channel<WorkerJob>& jobs, Channel<WorkerEvent>& events, const WorkerDeps& deps) {
    StatusPoller poller;
    while (auto first = jobs.receive()) {
        JobBatch batch;
        batch.add(std::move(*first));
        while (auto more = jobs.try_receive()) batch.add(std::move(*more));
        if (!run_batch(batch, poller, events, deps)) return;
    }
}

void start_worker(std::shared_ptr<Channel<WorkerJob>> jobs, std::shared_ptr<Channel<WorkerEvent>> events,
                  WorkerDeps deps) {
    std::thread([jobs, events, deps = std::move(deps)] {
        platform::set_current_thread_name("nimbalo-io");
        run_worker(*jobs, *events, deps);
    }).detach();
}

WorkerDeps system_worker_deps() {
    WorkerDeps d;
    d.get = [](std::string_view path, uint32_t timeout_ms) {
        client::RequestLimits limits;
        limits.timeout_ms = timeout_ms;
        limits.port = client::service_port();
        return client::service_request(path, limits);
    };
    d.self_test.mcp_enabled = [] { return mcp_enabled(); };
    d.self_test.command = [] {
        McpCommand c = mcp_command();
        return std::make_pair(c.exe, c.args);
    };
    d.self_test.log_line = [](std::string_view line) { log_line(line); };
    d.self_test.now_ms = [] { return platform::tick_count_ms(); };
    d.fetch_manifest = [] { return update::fetch_manifest(); };
    d.download = [](const job::DownloadUpdate& j, const update::ProgressFn& progress) {
        return update::download_update(j.url, j.sha256, progress);
    };
    d.apply = [](const job::ApplyUpdate& j) { return update::apply_update(j.build, j.target); };
    d.log_line = [](std::string_view line) { log_line(line); };
    return d;
}

}  // namespace nimbalo::gui
