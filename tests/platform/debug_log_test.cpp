#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <regex>
#include <thread>

#include "platform/debug_log.h"
#include "platform/system.h"
#include "support/temp_dir.h"

using nimbalo::platform::debug_log;
using nimbalo::platform::debug_log_reset_switch_for_testing;
using nimbalo::platform::format_debug_line;
namespace platform = nimbalo::platform;
namespace fs = std::filesystem;

TEST(DebugLog, LineFormat) {
    struct Case {
        uint64_t tick;
        std::string message, want;
    } cases[] = {
        {0, "hide", "[      0] hide\n"},
        {42, "show message id = 0xc0f1", "[     42] show message id = 0xc0f1\n"},
        {9'999'999, "m", "[9999999] m\n"},
        {10'000'000, "", "[      0] \n"},            // wraps every 10,000 seconds
        {12'345'678'901, "a b", "[5678901] a b\n"},
        {1'000'000'123, "paint took 3 ms", "[    123] paint took 3 ms\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(format_debug_line(c.tick, c.message), c.want);
}

namespace {

// Points the temporary folder of this process at a fresh directory for one test and restores
// the environment afterwards.
class DebugLogFile : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* v : {"TMPDIR", "TMP", "TEMP", "NIMBALO_DEBUG"}) saved_.emplace_back(v, platform::get_env(v));
        tmp_.emplace("nimbalo-debug-log");
        dir_ = tmp_->path();
        const std::string d = platform::from_path(dir_);
        for (const char* v : {"TMPDIR", "TMP", "TEMP"}) ASSERT_TRUE(platform::set_env(v, d).ok());
        ASSERT_EQ(platform::to_path(platform::temp_dir()), dir_);
        log_ = dir_ / "nimbalo.log";
        debug_log_reset_switch_for_testing();
    }
    void TearDown() override {
        for (const auto& [name, value] : saved_) (void)platform::set_env(name.c_str(), value);
        debug_log_reset_switch_for_testing();
        tmp_.reset();
    }
    std::string contents() const {
        auto r = platform::read_file(platform::from_path(log_));
        return r.ok() ? *r : std::string("<missing>");
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
    std::optional<nimbalo::fixtures::TempDir> tmp_;
    fs::path dir_, log_;
};

const std::regex kLine(R"(\[[ 0-9]{7}\] (.*))");

std::vector<std::string> messages(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        const size_t nl = text.find('\n', start);
        if (nl == std::string::npos) {
            out.push_back("<unterminated>");
            break;
        }
        std::smatch m;
        const std::string line = text.substr(start, nl - start);
        out.push_back(std::regex_match(line, m, kLine) ? m[1].str() : "<malformed: " + line + ">");
        start = nl + 1;
    }
    return out;
}

}  // namespace

TEST_F(DebugLogFile, EmptyValueSwitchesOnAndLaterChangesDoNotCount) {
    ASSERT_TRUE(platform::set_env("NIMBALO_DEBUG", std::string()).ok());
    debug_log("dark menus requested");
    ASSERT_TRUE(platform::set_env("NIMBALO_DEBUG", std::nullopt).ok());
    debug_log("hide");
    EXPECT_EQ(messages(contents()), (std::vector<std::string>{"dark menus requested", "hide"}));
}

TEST_F(DebugLogFile, AbsentVariableWritesNothingEvenIfSetLater) {
    ASSERT_TRUE(platform::set_env("NIMBALO_DEBUG", std::nullopt).ok());
    debug_log("one");
    ASSERT_TRUE(platform::set_env("NIMBALO_DEBUG", std::string("1")).ok());
    debug_log("two");
    EXPECT_FALSE(fs::exists(log_));
}

TEST_F(DebugLogFile, DeletedFileIsCreatedAgainByTheNextLine) {
    ASSERT_TRUE(platform::set_env("NIMBALO_DEBUG", std::string("1")).ok());
    debug_log("before");
    ASSERT_TRUE(fs::remove(log_));
    debug_log("after");
    EXPECT_EQ(messages(contents()), (std::vector<std::string>{"after"}));
}

TEST_F(DebugLogFile, MissingFolderDropsTheLineQuietly) {
    ASSERT_TRUE(platform::set_env("NIMBALO_DEBUG", std::string("1")).ok());
    fs::remove_all(dir_);
    debug_log("lost");  // must neither throw nor create anything
    EXPECT_FALSE(fs::exists(dir_));
}

// Each line is one append: lines of concurrent writers never mix, and each writer's lines keep
// their order.
TEST_F(DebugLogFile, ConcurrentWritersKeepLinesWhole) {
    ASSERT_TRUE(platform::set_env("NIMBALO_DEBUG", std::string("1")).ok());
    constexpr int kThreads = 6, kLines = 150;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i)
                debug_log("writer " + std::to_string(t) + " line " + std::to_string(i) + " " + std::string(60, char('a' + t)));
        });
    for (auto& th : threads) th.join();
    const auto got = messages(contents());
    ASSERT_EQ(got.size(), size_t(kThreads * kLines));
    std::vector<int> next(kThreads, 0);
    for (const auto& m : got) {
        int t = -1, i = -1;
        ASSERT_EQ(std::sscanf(m.c_str(), "writer %d line %d", &t, &i), 2) << m;
        ASSERT_TRUE(t >= 0 && t < kThreads) << m;
        EXPECT_EQ(i, next[size_t(t)]++) << m;
        EXPECT_EQ(m.substr(m.size() - 60), std::string(60, char('a' + t))) << m;
    }
}
