// Merging the jobs queued for the worker into one batch: flags are OR-ed, of searches, downloads
// and applies the most recent of each kind wins, status refreshes add nothing (every batch ends
// with a status poll anyway). This is what keeps typing cheap: while one search runs, the next
// batch runs only the newest query. Pure.
#pragma once

#include <optional>

#include "gui/worker/messages.h"

namespace nimbalo::gui {

struct JobBatch {
    bool reindex = false;
    bool self_test = false;
    bool check_update = false;
    std::optional<job::DownloadUpdate> download;
    std::optional<job::ApplyUpdate> apply;
    std::optional<job::Search> search;
    // The status poll runs for every batch.

    void add(WorkerJob job);
};

}  // namespace nimbalo::gui
