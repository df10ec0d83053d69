#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "index/index_file.h"
#include "service/lifecycle.h"
#include "support/temp_dir.h"

using namespace nimbalo;
namespace fs = std::filesystem;

namespace {

// An index of n files C:\f0 … C:\f{n-1}; the count tells builds apart.
Index files(int n) {
    Index ix;
    ix.names = "C:\\";
    for (int i = 0; i < n; ++i) {
        const std::string p = "C:\\f" + std::to_string(i);
        ix.entries.push_back({uint32_t(ix.names.size()), uint32_t(p.size()), uint32_t(p.size() - 3), false, 0, 0});
        ix.names += p;
    }
    return ix;
}

// A builder that can be held at its start, counts calls and the most that ran at once.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool open = true;
    int next_size = 1;
    bool fail = false;
    std::atomic<int> calls{0}, running{0}, max_running{0};

    Result<Index> build() {
        const int now = ++running;
        int seen = max_running.load();
        while (now > seen && !max_running.compare_exchange_weak(seen, now)) {
        }
        ++calls;
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return open; });
        --running;
        if (fail) return fail_result();
        return files(next_size++);
    }
    static Result<Index> fail_result() { return nimbalo::fail("cannot open \\\\.\\C:: Access is denied."); }
    void set_open(bool o) {
        {
            std::lock_guard lock(m);
            open = o;
        }
        cv.notify_all();
    }
    IndexSource source(const fs::path& dir) {
        return IndexSource{[this] { return build(); }, dir.empty() ? std::string() : dir.string(), 'C'};
    }
};

}  // namespace

TEST(Lifecycle, FirstStartBuildsAndSavesSecondStartLoadsThenRefreshes) {
    const nimbalo::fixtures::TempDir tmp("nimbalo_lifecycle_restart");
    const fs::path dir = tmp.path() / "data";  // made by the code under test
    Gate g1;
    g1.next_size = 3;
    {
        IndexService s(g1.source(dir));
        ASSERT_TRUE(s.start().ok());
        EXPECT_EQ(s.current()->entries.size(), 3u);
        EXPECT_EQ(s.rebuilds_started(), 0u);  // a built start needs no refresh
        EXPECT_TRUE(fs::exists(dir / "index.bin"));
    }
    // Second start: the volume is unreadable; the saved index is served and the background
    // rebuild fails quietly, leaving it in place.
    Gate g2;
    g2.fail = true;
    IndexService s2(g2.source(dir));
    ASSERT_TRUE(s2.start().ok());
    EXPECT_EQ(s2.current()->entries.size(), 3u);
    s2.wait_for_rebuilds();
    EXPECT_EQ(g2.calls.load(), 1);
    EXPECT_EQ(s2.rebuilds_started(), 1u);
    EXPECT_EQ(s2.current()->entries.size(), 3u);
    EXPECT_EQ(s2.current()->names, files(3).names);

    // Third start with a readable volume: loaded at once, then the refresh replaces it and saves.
    Gate g3;
    g3.next_size = 5;
    IndexService s3(g3.source(dir));
    ASSERT_TRUE(s3.start().ok());
    s3.wait_for_rebuilds();
    EXPECT_EQ(s3.current()->entries.size(), 5u);
    EXPECT_EQ(load_index((dir / "index.bin").string(), 'C')->entries.size(), 5u);
    fs::remove_all(dir);
}

TEST(Lifecycle, DamagedFilesAreRebuiltAndReplaced) {
    const nimbalo::fixtures::TempDir tmp("nimbalo_lifecycle_damaged");
    const fs::path dir = tmp.path() / "data";  // made by the code under test
    fs::create_directories(dir);
    const std::string good = serialize_index(files(4));
    std::string flipped_dir = good;
    flipped_dir[1 + 8 + files(4).names.size() + 8 + 12] = 2;  // first entry's is_dir byte
    std::string flipped_len = good;
    flipped_len[1] ^= 0x40;  // names length
    const std::string variants[] = {good.substr(0, good.size() - 1), good.substr(0, 5), "", flipped_dir, flipped_len,
                                    "D" + good.substr(1)};
    for (const auto& bytes : variants) {
        std::ofstream(dir / "index.bin", std::ios::binary | std::ios::trunc) << bytes;
        Gate g;
        g.next_size = 7;
        IndexService s(g.source(dir));
        ASSERT_TRUE(s.start().ok());
        EXPECT_EQ(g.calls.load(), 1);
        EXPECT_EQ(s.current()->entries.size(), 7u);
        EXPECT_EQ(s.rebuilds_started(), 0u);
        EXPECT_EQ(load_index((dir / "index.bin").string(), 'C')->entries.size(), 7u);
    }
    fs::remove_all(dir);
}

TEST(Lifecycle, FailedFirstBuildPublishesNothing) {
    const nimbalo::fixtures::TempDir tmp("nimbalo_lifecycle_fail");
    const fs::path dir = tmp.path() / "data";  // made by the code under test
    Gate g;
    g.fail = true;
    IndexService s(g.source(dir));
    const Status st = s.start();
    ASSERT_FALSE(st.ok());
    EXPECT_EQ(st.error(), "cannot open \\\\.\\C:: Access is denied.");
    EXPECT_EQ(s.current(), nullptr);
    EXPECT_FALSE(fs::exists(dir / "index.bin"));
}

TEST(Lifecycle, ReindexStormRunsOneBuildAndSchedulesExactlyOneMore) {
    Gate g;
    IndexService s(g.source({}));
    ASSERT_TRUE(s.start().ok());
    ASSERT_EQ(g.calls.load(), 1);
    g.set_open(false);
    s.reindex();
    while (g.running.load() == 0) std::this_thread::yield();
    std::vector<std::thread> clients;
    for (int t = 0; t < 4; ++t)
        clients.emplace_back([&] {
            for (int i = 0; i < 25; ++i) s.reindex();
        });
    for (auto& c : clients) c.join();
    g.set_open(true);
    s.wait_for_rebuilds();
    EXPECT_EQ(g.calls.load(), 3);  // the start, the running rebuild, one more
    EXPECT_EQ(g.max_running.load(), 1);
    EXPECT_EQ(s.rebuilds_started(), 2u);
    EXPECT_EQ(s.current()->entries.size(), 3u);  // the last build is the one published

    // Idle again: the next request starts a fresh rebuild.
    s.reindex();
    s.wait_for_rebuilds();
    EXPECT_EQ(g.calls.load(), 4);
}

TEST(Lifecycle, StopWaitsForTheRunningRebuildAndStartsNoMore) {
    Gate g;
    IndexService s(g.source({}));
    ASSERT_TRUE(s.start().ok());
    g.set_open(false);
    s.reindex();
    s.reindex();  // scheduled behind the running one: dropped by the stop
    while (g.running.load() == 0) std::this_thread::yield();
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        s.stop();
        stopped = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(stopped.load());  // the parked build is still running
    g.set_open(true);
    stopper.join();
    EXPECT_EQ(g.running.load(), 0);
    EXPECT_EQ(s.current()->entries.size(), 2u);  // the build it waited for was published
    s.reindex();
    EXPECT_EQ(g.calls.load(), 2);  // the start and the rebuild: nothing after the stop
    EXPECT_EQ(s.rebuilds_started(), 1u);
}

TEST(Lifecycle, SnapshotsOutliveAPublishAndAreFreedByTheirLastHolder) {
    Gate g;
    g.next_size = 2;
    IndexService s(g.source({}));
    ASSERT_TRUE(s.start().ok());
    auto held = s.current();
    std::weak_ptr<const Index> watch = held;
    const std::string names_before = held->names;

    s.publish(files(9));
    EXPECT_EQ(s.current()->entries.size(), 9u);
    EXPECT_EQ(held->entries.size(), 2u);  // the holder's view never changes
    EXPECT_EQ(held->names, names_before);
    EXPECT_FALSE(watch.expired());
    held.reset();
    EXPECT_TRUE(watch.expired());
}

TEST(Lifecycle, SearchersNeverWaitForARebuild) {
    Gate g;
    IndexService s(g.source({}));
    ASSERT_TRUE(s.start().ok());
    g.set_open(false);
    s.reindex();
    while (g.running.load() == 0) std::this_thread::yield();
    // The build is parked; reading the current index must not block on it.
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(s.current()->entries.size(), 1u);
    g.set_open(true);
    s.wait_for_rebuilds();
    EXPECT_EQ(s.current()->entries.size(), 2u);
}

TEST(Lifecycle, UntrustedFolderIsNeitherReadNorWritten) {
    const nimbalo::fixtures::TempDir tmp("nimbalo_lifecycle_link");
    const fs::path base = tmp.path() / "data";  // made by the code under test
    fs::create_directories(base / "real");
    std::ofstream(base / "real" / "index.bin", std::ios::binary) << serialize_index(files(6));
    fs::create_directory_symlink(base / "real", base / "link");
    Gate g;
    g.next_size = 2;
    IndexService s(g.source(base / "link"));
    ASSERT_TRUE(s.start().ok());
    EXPECT_EQ(s.current()->entries.size(), 2u);  // built, not loaded through the link
    EXPECT_EQ(load_index((base / "real" / "index.bin").string(), 'C')->entries.size(), 6u);  // not overwritten
    fs::remove_all(base);
}

// A save that cannot happen is logged, never silent; leftovers of interrupted saves go at start.
TEST(Lifecycle, FailedSavesAreLoggedAndStaleTemporaryFilesRemoved) {
    const nimbalo::fixtures::TempDir tmp("nimbalo_lifecycle_log");
    const fs::path base = tmp.path() / "data";  // made by the code under test
    fs::create_directories(base / "theirs");
    ASSERT_EQ(::chown((base / "theirs").c_str(), 65534, 65534), 0);
    std::vector<std::string> lines;
    Gate g;
    IndexSource src = g.source(base / "theirs");
    src.log = [&](std::string_view text) { lines.emplace_back(text); };
    {
        IndexService s(std::move(src));
        ASSERT_TRUE(s.start().ok());
    }
    EXPECT_FALSE(fs::exists(base / "theirs" / "index.bin"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "index not saved: " + (base / "theirs").string() + " may be written by other users");

    fs::create_directories(base / "ours");
    std::ofstream(base / "ours" / "index.bin.tmp.999999") << "left by a killed save";
    std::ofstream(base / "ours" / "index.bin.state.tmp.999999.0") << "and another";
    lines.clear();
    IndexSource ours = g.source(base / "ours");
    ours.log = [&](std::string_view text) { lines.emplace_back(text); };
    IndexService s(std::move(ours));
    ASSERT_TRUE(s.start().ok());
    EXPECT_FALSE(fs::exists(base / "ours" / "index.bin.tmp.999999"));
    EXPECT_FALSE(fs::exists(base / "ours" / "index.bin.state.tmp.999999.0"));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "removed 2 temporary file(s) of an interrupted save");
    fs::remove_all(base);
}
