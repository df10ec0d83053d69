#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "platform/sha256.h"
#include "support/temp_dir.h"
#include "update/apply.h"

using namespace nimbalo;
using namespace nimbalo::update;
using nimbalo::fixtures::read_text;
using nimbalo::fixtures::TempDir;
using nimbalo::fixtures::write_text;
namespace fs = std::filesystem;

namespace {

// A simulated machine: a clock that only moves when slept on, a scripted sc.exe and a log.
struct FakeMachine {
    bool service = false;
    bool sc_runs = true;
    // Output of successive "query" calls; the last one repeats.
    std::vector<std::string> query_outputs = {"STATE : 1  STOPPED"};
    uint64_t clock = 1000;
    uint64_t stop_cost_ms = 0;  // how long "sc stop" takes to return

    std::vector<std::string> calls;  // "sc stop", "sc query", "sleep 200", ...
    std::vector<std::string> log;
    size_t queries = 0;

    ApplyHooks hooks() {
        ApplyHooks h;
        h.service_exists = [this] { return service; };
        h.run_sc = [this](const std::vector<std::string>& args) -> Result<std::string> {
            std::string call = "sc";
            for (auto& a : args) call += " " + a;
            calls.push_back(call);
            if (!sc_runs) return fail("cannot start sc.exe");
            if (args[0] == "stop") clock += stop_cost_ms;
            if (args[0] != "query") return std::string("ok");
            const size_t i = std::min(queries++, query_outputs.size() - 1);
            return query_outputs[i];
        };
        h.sleep = [this](uint32_t ms) {
            calls.push_back("sleep " + std::to_string(ms));
            clock += ms;
        };
        h.now_ms = [this] { return clock; };
        h.log = [this](std::string_view line) { log.emplace_back(line); };
        return h;
    }

    size_t count(const std::string& call) const { return size_t(std::count(calls.begin(), calls.end(), call)); }
};

struct Files {
    TempDir dir{"nimbalo_apply"};
    std::string build = dir / "nimbalo.new.exe";
    std::string target = dir / "app/nimbalo.exe";
    std::string old = dir / "app/nimbalo.exe.old";
    Files() {
        write_text(build, "NEW BUILD");
        fs::create_directories(dir / "app");
        write_text(target, "OLD BUILD");
    }
};

}  // namespace

TEST(Apply, FallbackPathTable) {
    struct Case {
        const char* target;
        const char* want;
    };
    const Case cases[] = {
        {"C:\\Program Files\\Nimbalo\\nimbalo.exe", "C:\\Program Files\\Nimbalo\\nimbalo.exe.old"},
        {"/opt/Nimbalo/nimbalo", "/opt/Nimbalo/nimbalo.exe.old"},
        {"/opt/v1.2/nimbalo", "/opt/v1.2/nimbalo.exe.old"},
        {"C:\\x.y\\app.bin", "C:\\x.y\\app.exe.old"},
        {"nimbalo.exe", "nimbalo.exe.old"},
        {"/d/.hidden", "/d/.hidden.exe.old"},
    };
    for (const auto& c : cases) EXPECT_EQ(fallback_path(c.target), c.want) << c.target;
}

TEST(Apply, StagingFolderBesideTheTarget) {
    EXPECT_EQ(staging_folder_for("/opt/Nimbalo/nimbalo"), "/opt/Nimbalo/update");
    EXPECT_EQ(staging_folder_for("/nimbalo"), "/update");
    EXPECT_EQ(staging_folder_for("nimbalo"), "update");
}

TEST(Apply, SwapWithoutServiceRunsNoScAtAll) {
    Files f;
    FakeMachine m;
    ASSERT_TRUE(apply_update(f.build, f.target, m.hooks()).ok());
    EXPECT_EQ(read_text(f.target), "NEW BUILD");
    EXPECT_FALSE(fs::exists(f.build)) << "the new build is deleted after a good swap";
    EXPECT_FALSE(fs::exists(f.old));
    EXPECT_TRUE(m.calls.empty());
    ASSERT_EQ(m.log.size(), 1u);
    EXPECT_EQ(m.log[0], "update: installed 0.5.5 -> " + f.target);
}

TEST(Apply, MissingBuildAndMissingTarget) {
    Files f;
    FakeMachine m;
    m.service = true;
    EXPECT_EQ(apply_update(f.dir / "absent.exe", f.target, m.hooks()).error(), "the downloaded build is missing");
    EXPECT_TRUE(m.calls.empty()) << "nothing is stopped for a missing build";

    // A target that does not exist yet (nor its folder) is simply created.
    const std::string fresh = f.dir / "new/folder/nimbalo.exe";
    ASSERT_TRUE(apply_update(f.build, fresh, m.hooks()).ok());
    EXPECT_EQ(read_text(fresh), "NEW BUILD");
}

TEST(Apply, StopPollingTable) {
    struct Case {
        const char* name;
        std::vector<std::string> outputs;
        bool sc_runs;
        bool ok;
        std::vector<std::string> calls;
    };
    const std::string pending = "STATE : 3  STOP_PENDING";
    std::vector<std::string> many(80, pending);
    std::vector<std::string> late = many;
    late.resize(76);  // polls 1..76 pending: the 76th poll happens at 15,000 ms
    late.push_back("STATE : 1  STOPPED");
    const Case cases[] = {
        {"stopped at once", {"STATE : 1  STOPPED"}, true, true,
         {"sc stop Nimbalo", "sc query Nimbalo", "sleep 150", "sc start Nimbalo"}},
        {"gone (1060)", {"[SC] OpenService FAILED 1060:"}, true, true,
         {"sc stop Nimbalo", "sc query Nimbalo", "sleep 150", "sc start Nimbalo"}},
        {"sc.exe missing", {""}, false, true,
         {"sc stop Nimbalo", "sc query Nimbalo", "sleep 150", "sc start Nimbalo"}},
        {"second poll", {pending, "STOPPED"}, true, true,
         {"sc stop Nimbalo", "sc query Nimbalo", "sleep 200", "sc query Nimbalo", "sleep 150", "sc start Nimbalo"}},
    };
    for (const auto& c : cases) {
        Files f;
        FakeMachine m;
        m.service = true;
        m.sc_runs = c.sc_runs;
        m.query_outputs = c.outputs;
        const Status s = apply_update(f.build, f.target, m.hooks());
        EXPECT_EQ(s.ok(), c.ok) << c.name;
        EXPECT_EQ(m.calls, c.calls) << c.name;
    }

    {  // Never stops: 76 polls 200 ms apart, the last deciding query, no start, target untouched.
        Files f;
        FakeMachine m;
        m.service = true;
        m.stop_cost_ms = 3000;  // the 15 s count from when sc stop returned
        m.query_outputs = {pending};
        const Status s = apply_update(f.build, f.target, m.hooks());
        EXPECT_EQ(s.error(), "the search service did not stop; try again in a moment");
        EXPECT_EQ(m.count("sc query Nimbalo"), 77u);
        EXPECT_EQ(m.count("sleep 200"), 75u);
        EXPECT_EQ(m.count("sc start Nimbalo"), 0u);
        EXPECT_EQ(read_text(f.target), "OLD BUILD");
        EXPECT_TRUE(fs::exists(f.build));
    }
    {  // Stops on the deciding query: go on at once, without the settle pause.
        Files f;
        FakeMachine m;
        m.service = true;
        m.query_outputs = late;
        ASSERT_TRUE(apply_update(f.build, f.target, m.hooks()).ok());
        EXPECT_EQ(m.count("sc query Nimbalo"), 77u);
        EXPECT_EQ(m.count("sleep 150"), 0u);
        EXPECT_EQ(m.calls.back(), "sc start Nimbalo");
        EXPECT_EQ(read_text(f.target), "NEW BUILD");
    }
}

TEST(Apply, LockedTargetRetriesTwentyTimesAndStillStartsTheService) {
    Files f;
    // A fallback name taken by a folder that cannot be removed makes every rename fail, even for root.
    fs::create_directories(f.old + "/busy");
    FakeMachine m;
    m.service = true;
    const Status s = apply_update(f.build, f.target, m.hooks());
    EXPECT_EQ(s.error(), "could not replace " + f.target + ": file is locked");
    EXPECT_EQ(m.count("sleep 250"), 19u);
    EXPECT_EQ(m.calls.back(), "sc start Nimbalo");
    EXPECT_EQ(read_text(f.target), "OLD BUILD");
    EXPECT_TRUE(fs::exists(f.build));
    EXPECT_TRUE(m.log.empty());
}

TEST(Apply, FailedCopyRestoresTheOldExecutable) {
    Files f;
    fs::remove(f.build);
    fs::create_directories(f.build);  // exists, but cannot be read as a file: every copy fails
    FakeMachine m;
    const Status s = apply_update(f.build, f.target, m.hooks());
    ASSERT_FALSE(s.ok());
    EXPECT_TRUE(s.error().starts_with("could not replace " + f.target + ": ")) << s.error();
    EXPECT_NE(s.error().find("(os error "), std::string::npos) << s.error();
    EXPECT_EQ(read_text(f.target), "OLD BUILD");
    EXPECT_FALSE(fs::exists(f.old));
    EXPECT_EQ(m.count("sleep 250"), 19u);
}

TEST(Apply, RunningTargetIsReplaced) {
    Files f;
    fs::copy_file("/bin/sleep", f.target, fs::copy_options::overwrite_existing);
    const pid_t child = fork();
    if (child == 0) {
        execl(f.target.c_str(), "sleep", "30", nullptr);
        _exit(127);
    }
    ASSERT_GT(child, 0);
    usleep(100000);
    FakeMachine m;
    const Status s = apply_update(f.build, f.target, m.hooks());
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    ASSERT_TRUE(s.ok()) << s.error();
    EXPECT_EQ(read_text(f.target), "NEW BUILD");
    EXPECT_TRUE(fs::status(f.target).permissions() != fs::perms::none);
}

TEST(Apply, CreatingTheTargetFolderFailsButTheServiceStarts) {
    Files f;
    write_text(f.dir / "blocker", "a file where a folder should be");
    FakeMachine m;
    m.service = true;
    const Status s = apply_update(f.build, f.dir / "blocker/nimbalo.exe", m.hooks());
    EXPECT_TRUE(s.error().starts_with("cannot create " + (f.dir / "blocker") + ": ")) << s.error();
    EXPECT_EQ(m.calls.back(), "sc start Nimbalo");
}

TEST(Apply, VerifiedUpdateSwapsOnlyTheCheckedCopy) {
    Files f;
    platform::Sha256 h;
    h.update(std::string_view("NEW BUILD"));
    const std::string good = platform::digest_hex(h.finish());
    std::string upper = good;
    for (auto& c : upper) c = char(toupper(c));
    const std::string staging = f.dir / "program/update";

    struct Case {
        const char* name;
        std::string sha;
        std::string error;  // empty: success
    };
    const Case cases[] = {
        {"wrong digest", std::string(64, 'a'), "checksum mismatch (got " + good + ")"},
        {"not a digest", "abc", "the expected SHA-256 must be 64 hexadecimal digits"},
        {"upper-case digest", upper, ""},
    };
    for (const auto& c : cases) {
        write_text(f.build, "NEW BUILD");
        write_text(f.target, "OLD BUILD");
        FakeMachine m;
        const Status s = apply_verified_update(f.build, f.target, c.sha, staging, m.hooks());
        EXPECT_FALSE(fs::exists(staging + "/nimbalo.new.exe")) << c.name << ": the staged copy never stays";
        if (c.error.empty()) {
            ASSERT_TRUE(s.ok()) << c.name << ": " << s.error();
            EXPECT_EQ(read_text(f.target), "NEW BUILD");
            EXPECT_FALSE(fs::exists(f.build));
        } else {
            EXPECT_EQ(s.error(), c.error) << c.name;
            EXPECT_EQ(read_text(f.target), "OLD BUILD") << c.name;
            EXPECT_TRUE(fs::exists(f.build)) << c.name;
        }
    }
}

// Issue 8, mend 1: what is swapped in is the copy that was checked, even when the user's file
// changes right after the check.
TEST(Apply, Issue8_BuildReplacedAfterTheCheckIsNotInstalled) {
    Files f;
    platform::Sha256 h;
    h.update(std::string_view("NEW BUILD"));
    const std::string good = platform::digest_hex(h.finish());
    FakeMachine m;
    m.service = true;
    auto hooks = m.hooks();
    // The service stop happens after the check: the moment an attacker would swap the file.
    auto run_sc = hooks.run_sc;
    hooks.run_sc = [&](const std::vector<std::string>& args) {
        if (args[0] == "stop") write_text(f.build, "EVIL BUILD");
        return run_sc(args);
    };
    ASSERT_TRUE(apply_verified_update(f.build, f.target, good, f.dir / "program/update", hooks).ok());
    EXPECT_EQ(read_text(f.target), "NEW BUILD");
}

// Issue 8, mend 5: a build carrying set-user-ID must not become a set-user-ID file owned by the
// (elevated) updater; its execute bits stay.
TEST(Apply, Issue8_CopyDropsSetUserId) {
    Files f;
    fs::permissions(f.build, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::set_uid |
                                 fs::perms::set_gid);
    FakeMachine m;
    ASSERT_TRUE(apply_update(f.build, f.target, m.hooks()).ok());
    const auto p = fs::status(f.target).permissions();
    EXPECT_EQ(p & (fs::perms::set_uid | fs::perms::set_gid | fs::perms::sticky_bit), fs::perms::none);
    EXPECT_EQ(p & fs::perms::owner_exec, fs::perms::owner_exec);
}
