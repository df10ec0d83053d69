// The follower against a scripted journal: wrap and gaps fall back to one rebuild with the reason
// logged; searches keep the index they started with while batches are published.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "index/build.h"
#include "index/lookups.h"
#include "indexing/live_follower.h"
#include "support/index_fixtures.h"

using namespace nimbalo;
using namespace nimbalo::testing;
using namespace std::chrono_literals;

namespace {

// A journal the test moves by hand; every record is readable and says what the change says.
struct ScriptedFeed final : ChangeFeed {
    std::mutex m;
    JournalExtent extent{42, 0, 0};
    std::vector<std::pair<int64_t, UsnChange>> log;  // (usn, change)

    Result<JournalExtent> query() override {
        std::lock_guard lock(m);
        return extent;
    }
    Result<UsnBatch> read(int64_t start) override {
        std::lock_guard lock(m);
        UsnBatch b;
        for (auto& [usn, c] : log)
            if (usn >= start) b.changes.push_back(c);
        b.next = extent.next;
        return b;
    }
    std::vector<ReadRecord> records(std::span<const uint64_t>) override { return {}; }
    void add(UsnChange c) {
        std::lock_guard lock(m);
        log.emplace_back(extent.next, std::move(c));
        extent.next += 96;
    }
};

struct Harness {
    ScriptedFeed* feed = nullptr;
    std::unique_ptr<LiveFollower> follower;
    std::mutex m;
    std::shared_ptr<const Index> current;
    std::vector<std::string> log;
    std::atomic<int> rebuilds{0};

    Harness() {
        auto f = std::make_unique<ScriptedFeed>();
        feed = f.get();
        FollowHooks hooks;
        hooks.publish = [this](std::shared_ptr<const Index> ix) {
            std::lock_guard lock(m);
            current = std::move(ix);
        };
        hooks.rebuild = [this] { ++rebuilds; };
        hooks.log = [this](std::string_view t) {
            std::lock_guard lock(m);
            log.emplace_back(t);
        };
        follower = std::make_unique<LiveFollower>(std::move(f), std::move(hooks), FollowTiming{10ms, std::chrono::minutes(5)});
        follower->adopt(build_index({dir(30, 5, "docs")}, 'C'), {42, 0}, false);
    }
    std::shared_ptr<const Index> now() {
        std::lock_guard lock(m);
        return current;
    }
    bool eventually(const std::function<bool()>& f) {
        for (int i = 0; i < 200; ++i) {
            if (f()) return true;
            std::this_thread::sleep_for(5ms);
        }
        return f();
    }
};

UsnChange create(uint64_t record, std::string name) { return UsnChange{std::move(name), record, 30, 9, 0x100, false}; }

}  // namespace

TEST(LiveFollower, PublishesBatchesWhileHoldersKeepTheirIndex) {
    Harness h;
    auto held = h.now();
    for (int i = 0; i < 50; ++i) h.feed->add(create(100 + uint64_t(i), "f" + std::to_string(i)));
    ASSERT_TRUE(h.eventually([&] { return h.now()->entries.size() == 51; }));
    EXPECT_EQ(held->entries.size(), 1u) << "a held index never changes";
    // More batches while one is held: both copies stay right.
    h.feed->add(create(200, "late"));
    ASSERT_TRUE(h.eventually([&] { return find_path(*h.now(), "C:\\docs\\late").has_value(); }));
    h.feed->add(UsnChange{"late", 200, 30, 9, 0x200, false});
    ASSERT_TRUE(h.eventually([&] { return !find_path(*h.now(), "C:\\docs\\late").has_value(); }));
    h.feed->add(create(201, "last"));
    ASSERT_TRUE(h.eventually([&] { return find_path(*h.now(), "C:\\docs\\last").has_value(); }));
    expect_invariants(*h.now());
    EXPECT_EQ(h.now()->entries.size(), 52u);
    EXPECT_EQ(h.rebuilds.load(), 0);
}

TEST(LiveFollower, WrapReCreationAndAJournalBehindFallBackToOneRebuild) {
    struct Case {
        const char* what;
        JournalExtent extent;
        const char* logged;
    };
    const Case cases[] = {
        {"wrapped past the position", {42, 4096, 8192}, "rebuilding the index: the change journal no longer holds position 0"},
        {"re-created", {43, 0, 0}, "rebuilding the index: the change journal was re-created (id 42 is now 43)"},
    };
    for (const Case& c : cases) {
        Harness h;
        {
            std::lock_guard lock(h.feed->m);
            h.feed->extent = c.extent;
        }
        ASSERT_TRUE(h.eventually([&] { return h.rebuilds.load() > 0; })) << c.what;
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(h.rebuilds.load(), 1) << c.what << ": one rebuild, not one per period";
        std::lock_guard lock(h.m);
        ASSERT_FALSE(h.log.empty()) << c.what;
        EXPECT_EQ(h.log[0].rfind(c.logged, 0), 0u) << h.log[0];
    }
    // Behind: the journal ends before the position held.
    Harness h;
    h.feed->add(create(100, "a"));
    ASSERT_TRUE(h.eventually([&] { return h.now()->entries.size() == 2; }));
    {
        std::lock_guard lock(h.feed->m);
        h.feed->extent.next = 0;
    }
    ASSERT_TRUE(h.eventually([&] { return h.rebuilds.load() == 1; }));
    // The rebuilt index comes in: followed again from its position.
    h.follower->adopt(build_index({dir(30, 5, "docs")}, 'C'), {42, 0}, false);
    h.feed->add(create(101, "b"));
    EXPECT_TRUE(h.eventually([&] { return find_path(*h.now(), "C:\\docs\\b").has_value(); }));
}
