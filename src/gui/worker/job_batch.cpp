#include "gui/worker/job_batch.h"

namespace nimbalo::gui {

namespace {
template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;
}  // namespace

void JobBatch::add(WorkerJob job) {
    std::visit(Overloaded{
                   [&](job::Search& j) { search = std::move(j); },
                   [&](job::Reindex&) { reindex = true; },
                   [&](job::RefreshStatus&) {},
                   [&](job::McpSelfTest&) { self_test = true; },
                   [&](job::CheckUpdate&) { check_update = true; },
                   [&](job::DownloadUpdate& j) { download = std::move(j); },
                   [&](job::ApplyUpdate& j) { apply = std::move(j); },
               },
               job);
}

}  // namespace nimbalo::gui
