// Console index commands: each opens the volume itself, builds a fresh index, answers and exits.
// Results go to standard output, progress and timing lines to standard error.
#include <chrono>
#include <thread>

#include "cli/console_format.h"
#include "cli/console_commands.h"
#include "common/text.h"
#include "index/build.h"
#include "index/live_update.h"
#include "index/lookups.h"
#include "mft/journal.h"
#include "mft/mft_reader.h"
#include "mft/volume.h"
#include "platform/console.h"
#include "query/search.h"

namespace nimbalo {

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

void err_line(const std::string& text) { platform::write_stderr(text + "\n"); }

struct TimedIndex {
    Index index;
    double seconds = 0;
};

// index_volume with a report line after each step.
Result<TimedIndex> index_volume_timed(char letter) {
    const auto t0 = Clock::now();
    auto volume = open_volume(letter);
    if (!volume) return std::move(volume).take_error();
    err_line("opened " + std::string(1, letter) + " (" + std::to_string(volume->bytes_per_cluster) + " bytes/cluster, " +
             std::to_string(volume->bytes_per_record) + " bytes/record)");
    auto records = read_mft(*volume);
    volume->device.reset();
    if (!records) return std::move(records).take_error();
    err_line("collect_names: " + fixed(seconds_since(t0), 2) + "s (" + std::to_string(records->size()) + " names)");
    const auto t1 = Clock::now();
    TimedIndex out;
    out.index = build_index(std::move(*records), letter);
    err_line("index_build: " + fixed(seconds_since(t1), 2) + "s (" + std::to_string(out.index.entries.size()) + " entries)");
    out.seconds = seconds_since(t0);
    return out;
}

void print_hits(const std::vector<SearchHit>& hits) {
    std::string out;
    for (const auto& h : hits) out += hit_line(h);
    platform::write_stdout(out);
}

}  // namespace

Status cmd_build(char drive) {
    auto built = index_volume_timed(drive);
    if (!built) return std::move(built).take_error();
    const auto& entries = built->index.entries;
    size_t dirs = 0;
    for (const auto& e : entries) dirs += e.is_dir ? 1 : 0;
    platform::write_stdout("indexed " + std::string(1, drive) + ": " + std::to_string(entries.size()) + " entries (" +
                           std::to_string(dirs) + " dirs, " + std::to_string(entries.size() - dirs) + " files) in " +
                           fixed(built->seconds, 2) + "s\n");
    return {};
}

Status cmd_search(const std::string& query, char drive, bool path_mode) {
    auto built = index_volume_timed(drive);
    if (!built) return std::move(built).take_error();
    err_line("indexed " + std::to_string(built->index.entries.size()) + " entries in " + fixed(built->seconds, 2) + "s");
    const auto t = Clock::now();
    auto hits = search(built->index, query, 100, path_mode);
    if (!hits) {
        err_line("query: " + hits.error());
        return {};
    }
    err_line("matched " + std::to_string(hits->size()) + " in " + fixed(seconds_since(t) * 1000.0, 3) + "ms");
    print_hits(*hits);
    return {};
}

Status cmd_prefix(const std::string& prefix, char drive) {
    auto built = index_volume_timed(drive);
    if (!built) return std::move(built).take_error();
    err_line("indexed " + std::to_string(built->index.entries.size()) + " entries in " + fixed(built->seconds, 2) + "s");
    print_hits(prefix_search(built->index, prefix));
    return {};
}

Status cmd_recent(uint64_t n, char drive) {
    auto changes = latest_changes(drive, n);
    if (!changes) return std::move(changes).take_error();
    std::string out;
    for (const auto& c : *changes) out += change_line(c, reason_names(c.reason));
    platform::write_stdout(out);
    return {};
}
Status cmd_watch(char drive) {
    auto built = index_volume_timed(drive);
    if (!built) return std::move(built).take_error();
    err_line("indexed " + std::to_string(built->index.entries.size()) + " entries in " + fixed(built->seconds, 2) +
             "s; watching " + std::string(1, drive) + " for changes (Ctrl+C to stop)...");
    auto journal = open_journal(drive);
    if (!journal) return std::move(journal).take_error();
    const JournalRead read = [&](uint64_t position) -> Result<JournalBatch> {
        auto batch = read_journal(*journal, int64_t(position));
        if (!batch) return std::move(batch).take_error();
        return JournalBatch{std::move(batch->changes), uint64_t(batch->next)};
    };
    const auto print = [](const UsnChange& c) { platform::write_stdout(change_line(c, reason_names(c.reason))); };
    const auto pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(500)); };
    return follow_journal(built->index, uint64_t(journal->position), read, print, pause);
}

Status cmd_drives() {
    for (char letter : list_ntfs_volumes()) platform::write_stdout(std::string(1, letter) + ":\n");
    return {};
}

}  // namespace nimbalo
