// The launcher's background worker ("nimbalo-io"): everything that waits on something outside the
// process. It takes WorkerJob messages, merges what is queued into one batch, runs the batch in a
// fixed order (rebuild request, self-test, update check, download, apply, search, status poll) and
// answers with WorkerEvent messages as each part is done. It ends when the job channel is closed
// and drained, or when the event channel no longer takes events.
// Everything outside the process comes through WorkerDeps, so the loop runs against real peers
// (a service, a child `nimbalo mcp`) and against scripted ones alike.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "common/channel.h"
#include "common/result.h"
#include "gui/worker/messages.h"
#include "gui/worker/replies.h"
#include "gui/worker/self_test.h"
#include "update/download.h"

namespace nimbalo::gui {

struct WorkerDeps {
    ServiceGet get;  // the loopback service
    SelfTestDeps self_test;
    std::function<Result<update::UpdateManifest>()> fetch_manifest;
    std::string running_version = "0.5.5";
    std::function<Result<std::string>(const job::DownloadUpdate&, const update::ProgressFn&)> download;
    std::function<Status(const job::ApplyUpdate&)> apply;
    std::function<void(std::string_view)> log_line;
};

// The real ones: 127.0.0.1 on the service's port, the MCP switch and command of the data folder,
// the update server, the activity log.
WorkerDeps system_worker_deps();

// The thread body; returns when either channel is gone.
void run_worker(Channel<WorkerJob>& jobs, Channel<WorkerEvent>& events, const WorkerDeps& deps);

// Starts run_worker on a detached thread named "nimbalo-io" holding both channels.
void start_worker(std::shared_ptr<Channel<WorkerJob>> jobs, std::shared_ptr<Channel<WorkerEvent>> events,
                  WorkerDeps deps);

}  // namespace nimbalo::gui
