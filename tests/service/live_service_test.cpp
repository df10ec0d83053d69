// The service following a real journal: a copy of a Windows-made image (ntfs.raw, with an active
// journal) as drive C, changed behind the service's back by the test-only journal writer.
#include <unistd.h>

#include <gtest/gtest.h>

#include <optional>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "index/index_store.h"
#include "index/lookups.h"
#include "indexing/change_feed.h"
#include "indexing/index_volume.h"
#include "mft/independent_reader.h"
#include "mft/ntfs_builder.h"
#include "platform/system.h"
#include "service/lifecycle.h"
#include "support/test_only_journal_writer.h"
#include "support/temp_dir.h"

using namespace nimbalo;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kCreate = 0x100, kDelete = 0x200, kOldName = 0x1000, kNewName = 0x2000, kExtend = 0x2,
                   kClose = 0x80000000;
constexpr uint64_t kTime = 133'500'000'000'000'000ull;
constexpr uint64_t kRoot = 5;

class LiveService : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        const std::string image = fixture::test_image("ntfs.raw", error);
        if (image.empty()) GTEST_SKIP() << error;
        tmp_.emplace("nimbalo_live");
        dir_ = tmp_->path();
        fs::create_directories(dir_ / "data");
        copy_ = (dir_ / "c.raw").string();
        ASSERT_EQ(std::system(("cp --sparse=always '" + image + "' '" + copy_ + "'").c_str()), 0);
        ASSERT_EQ(::setenv("NIMBALO_VOLUME_C", copy_.c_str(), 1), 0);
        writer_ = std::make_unique<nimbalo::testing::TestOnlyJournalWriter>(copy_);
        writer_->grow_journal(100);
    }
    void TearDown() override {
        service_.reset();
        ::unsetenv("NIMBALO_VOLUME_C");
        tmp_.reset();
    }

    void start_service() {
        IndexSource source{[] { return index_volume('C'); }, (dir_ / "data").string(), 'C'};
        source.log = [this](std::string_view text) {
            std::lock_guard lock(log_lock_);
            log_ += std::string(text) + "\n";
        };
        source.open_feed = [] { return open_change_feed('C'); };
        service_ = std::make_unique<IndexService>(std::move(source));
        ASSERT_TRUE(service_->start().ok());
        ASSERT_TRUE(service_->following()) << log();
    }

    std::string log() {
        std::lock_guard lock(log_lock_);
        return log_;
    }

    // The hit for path once it shows (or vanishes) within the deadline.
    std::optional<SearchHit> wait_for(const std::string& path, bool present, std::chrono::milliseconds within = 1000ms) {
        const auto end = std::chrono::steady_clock::now() + within;
        for (;;) {
            held_ = service_->current();
            auto hit = find_path(*held_, path);
            if (hit.has_value() == present || std::chrono::steady_clock::now() > end) return hit;
            std::this_thread::sleep_for(20ms);
        }
    }

    uint64_t free_record() {
        for (uint64_t r = 100; r < 256; ++r)
            if (!writer_->record_in_use(r) && std::find(used_.begin(), used_.end(), r) == used_.end()) {
                used_.push_back(r);
                return r;
            }
        throw std::runtime_error("no free record");
    }

    void put_file(uint64_t record, uint64_t parent, const std::u16string& name, uint64_t size, uint64_t modified) {
        fixture::RecordBuilder b;
        b.standard_information(modified).file_name({parent, name, 1, 0x20, size, modified});
        if (size < 600) b.resident_data(size);
        else b.nonresident(0x80, 0, (size + 4095) / 4096 - 1, size, size, {{-1, (size + 4095) / 4096}});
        writer_->put_file_record(record, b.build());
    }

    // As Windows logs a change to a file: the reason, then the same with the close bit.
    void logged(uint32_t reason, uint64_t record, uint64_t parent, const std::u16string& name, uint64_t time) {
        writer_->append(reason, record, parent, name, false, time);
        writer_->append(reason | kClose, record, parent, name, false, time);
    }

    std::optional<nimbalo::fixtures::TempDir> tmp_;
    fs::path dir_;
    std::string copy_;
    std::unique_ptr<nimbalo::testing::TestOnlyJournalWriter> writer_;
    std::unique_ptr<IndexService> service_;
    std::shared_ptr<const Index> held_;
    std::mutex log_lock_;
    std::string log_;
    std::vector<uint64_t> used_;
};

TEST_F(LiveService, CreateRenameExtendDeleteShowWithinASecond) {
    start_service();
    ASSERT_TRUE(find_path(*service_->current(), "C:\\test_dir").has_value()) << "the image's own tree is indexed";
    const uint64_t test_dir = [&] {
        uint64_t found = 0;
        auto ix = service_->current();
        ix->dirs.for_each([&](uint64_t r, const ArenaRange& d) {
            if (ix->names.substr(d.start, d.len) == "C:\\test_dir\\") found = r;
        });
        return found;
    }();
    ASSERT_NE(test_dir, 0u);

    // Created: found within a second, with its size and time from the FILE record.
    const uint64_t r = free_record();
    put_file(r, kRoot, u"live_new.txt", 123, kTime);
    logged(kCreate, r, kRoot, u"live_new.txt", kTime);
    auto hit = wait_for("C:\\live_new.txt", true);
    ASSERT_TRUE(hit) << log();
    EXPECT_EQ(hit->size, 123u);
    EXPECT_EQ(hit->modified, kTime);

    // Renamed into test_dir: moves.
    put_file(r, test_dir, u"moved.txt", 123, kTime + 1);
    writer_->append(kOldName, r, kRoot, u"live_new.txt", false, kTime + 1);
    writer_->append(kNewName, r, test_dir, u"moved.txt", false, kTime + 1);
    EXPECT_TRUE(wait_for("C:\\test_dir\\moved.txt", true)) << log();
    EXPECT_FALSE(wait_for("C:\\live_new.txt", false));

    // Extended: the new size.
    put_file(r, test_dir, u"moved.txt", 50000, kTime + 2);
    writer_->append(kExtend, r, test_dir, u"moved.txt", false, kTime + 2);
    const auto deadline = std::chrono::steady_clock::now() + 1s;
    while ((hit = wait_for("C:\\test_dir\\moved.txt", true)) && hit->size != 50000 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->size, 50000u);
    EXPECT_EQ(hit->modified, kTime + 2);

    // Deleted: gone.
    fixture::RecordBuilder gone;
    gone.in_use(false).standard_information(kTime);
    writer_->put_file_record(r, gone.build());
    logged(kDelete, r, test_dir, u"moved.txt", kTime + 3);
    EXPECT_FALSE(wait_for("C:\\test_dir\\moved.txt", false)) << log();
    EXPECT_EQ(service_->rebuilds_started(), 0u) << "followed, never rebuilt";
}

// A clean stop saves the position; a restart catches up from the journal (no rebuild) when the
// journal still holds it, and rebuilds (saying why) when the journal was re-created meanwhile.
TEST_F(LiveService, RestartCatchesUpOrFallsBackToOneRebuild) {
    start_service();
    service_->stop();
    service_.reset();
    auto saved = load_index_set((dir_ / "data").string(), 'C');
    ASSERT_TRUE(saved.ok()) << saved.error();
    ASSERT_TRUE(saved->position.has_value());
    EXPECT_EQ(saved->position->journal_id, writer_->journal_id());

    const uint64_t r = free_record();
    put_file(r, kRoot, u"while_stopped.txt", 77, kTime);
    logged(kCreate, r, kRoot, u"while_stopped.txt", kTime);
    start_service();
    auto hit = wait_for("C:\\while_stopped.txt", true);
    ASSERT_TRUE(hit) << log();
    EXPECT_EQ(hit->size, 77u);
    EXPECT_EQ(service_->rebuilds_started(), 0u) << log();
    service_->stop();
    service_.reset();

    writer_->set_journal_id(writer_->journal_id() + 1);
    start_service();
    service_->wait_for_rebuilds();
    EXPECT_EQ(service_->rebuilds_started(), 1u);
    EXPECT_NE(log().find("re-created"), std::string::npos) << log();
    // Following again, from the new journal.
    const uint64_t r2 = free_record();
    put_file(r2, kRoot, u"after_recreate.txt", 5, kTime);
    logged(kCreate, r2, kRoot, u"after_recreate.txt", kTime);
    EXPECT_TRUE(wait_for("C:\\after_recreate.txt", true)) << log();
}

// The journal re-created while the service runs: one background rebuild, the reason logged, and
// following goes on.
TEST_F(LiveService, RecreatedJournalWhileRunningRebuildsOnceAndFollowsOn) {
    start_service();
    writer_->set_journal_id(writer_->journal_id() + 7);
    const auto end = std::chrono::steady_clock::now() + 3s;
    while (service_->rebuilds_started() == 0 && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(20ms);
    service_->wait_for_rebuilds();
    EXPECT_EQ(service_->rebuilds_started(), 1u);
    EXPECT_NE(log().find("rebuilding the index: the change journal was re-created"), std::string::npos) << log();
    const uint64_t r = free_record();
    put_file(r, kRoot, u"later.txt", 9, kTime);
    logged(kCreate, r, kRoot, u"later.txt", kTime);
    EXPECT_TRUE(wait_for("C:\\later.txt", true)) << log();
}

}  // namespace
