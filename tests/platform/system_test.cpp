// The system.h contract, checked the same way on every platform (natively and, cross-built,
// under Wine). The binary doubles as the child of the run_process tests: started with
// "--echo-args-child" it prints the arguments it received, one "<length>:<text>" line each, as
// the platform's own process_arguments saw them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/console.h"
#include "platform/system.h"
#include "support/temp_dir.h"

namespace platform = nimbalo::platform;
namespace fs = std::filesystem;

namespace {

constexpr const char* kEchoChild = "--echo-args-child";

int echo_child(const std::vector<std::string>& args) {
    std::string out;
    for (size_t i = 1; i < args.size(); ++i) out += std::to_string(args[i].size()) + ":" + args[i] + "\n";
    platform::write_stdout(out);
    if (args.size() > 1 && args[1] == "exit-7") return 7;
    return 0;
}

std::vector<std::string> parse_echo(const std::string& text) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t colon = text.find(':', pos);
        if (colon == std::string::npos) return {"<bad echo>"};
        const size_t len = std::stoul(text.substr(pos, colon - pos));
        out.push_back(text.substr(colon + 1, len));
        pos = colon + 1 + len + 1;
    }
    return out;
}

class TempDir : public ::testing::Test {
protected:
    nimbalo::fixtures::TempDir tmp_{"nimbalo-system-test"};
    const fs::path& dir_ = tmp_.path();
    std::string path(const std::string& name) const { return tmp_ / name; }
};

}  // namespace

TEST(RunProcess, ArgumentsArriveUnchanged) {
    const auto self = platform::executable_path();
    ASSERT_TRUE(self.has_value());
    const std::vector<std::string> args{
        "plain", "", "two words", "tab\there", "quote\"inside", "\"", "trailing\\", "C:\\Program Files\\",
        "\\\\server\\share", "a\\\\\"b", "\xc3\xa9t\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x93\x81", "--tray", "-"};
    std::vector<std::string> child_args{kEchoChild};
    child_args.insert(child_args.end(), args.begin(), args.end());
    auto r = platform::run_process(*self, child_args, true);
    ASSERT_TRUE(r.ok()) << r.error();
    EXPECT_EQ(r->exit_code, 0);
    EXPECT_EQ(parse_echo(r->output), args);
}

TEST(RunProcess, ExitCodeAndFailureToStart) {
    const auto self = platform::executable_path();
    ASSERT_TRUE(self.has_value());
    auto r = platform::run_process(*self, {kEchoChild, "exit-7"}, true);
    ASSERT_TRUE(r.ok()) << r.error();
    EXPECT_EQ(r->exit_code, 7);
    EXPECT_EQ(parse_echo(r->output), (std::vector<std::string>{"exit-7"}));

    auto missing = platform::run_process(platform::from_path(fs::temp_directory_path() / "no-such-program-nimbalo"), {}, true);
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.error().find(" (os error "), std::string::npos) << missing.error();
}

TEST(Environment, EmptyIsNotUnset) {
    const char* name = "NIMBALO_TEST_VARIABLE";
    ASSERT_TRUE(platform::set_env(name, std::string()).ok());
    EXPECT_EQ(platform::get_env(name), std::optional<std::string>(""));
    ASSERT_TRUE(platform::set_env(name, std::string("v\xc3\xa4lue with spaces")).ok());
    EXPECT_EQ(platform::get_env(name), std::optional<std::string>("v\xc3\xa4lue with spaces"));
    const std::string long_value(5000, 'x');  // beyond any first guess of a buffer size
    ASSERT_TRUE(platform::set_env(name, long_value).ok());
    EXPECT_EQ(platform::get_env(name), std::optional<std::string>(long_value));
    ASSERT_TRUE(platform::set_env(name, std::nullopt).ok());
    EXPECT_EQ(platform::get_env(name), std::nullopt);
}

TEST(DetachedThreads, RunWithTheStackAskedFor) {
    // Each thread uses most of a 256 KiB stack, as a deep request would; all must run, once.
    static std::atomic<int> ran{0};
    static std::atomic<uint32_t> sum{0};
    ran = 0;
    sum = 0;
    constexpr int kThreads = 64;
    for (int i = 0; i < kThreads; ++i) {
        const auto body = [](void* arg) {
            volatile unsigned char deep[192 * 1024];
            std::memset(const_cast<unsigned char*>(deep), int(reinterpret_cast<uintptr_t>(arg) & 0x7F), sizeof deep);
            sum += deep[sizeof deep - 1];
            ++ran;
        };
        ASSERT_TRUE(platform::start_detached_thread(body, reinterpret_cast<void*>(uintptr_t(i)), 256 * 1024)) << i;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (ran < kThreads && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(ran, kThreads);
    EXPECT_EQ(sum, uint32_t(kThreads * (kThreads - 1) / 2));
}

TEST(ProcessFacts, PathsAndClocks) {
    const auto self = platform::executable_path();
    ASSERT_TRUE(self.has_value());
    EXPECT_TRUE(fs::is_regular_file(platform::to_path(*self))) << *self;
    const std::string tmp = platform::temp_dir();
    ASSERT_FALSE(tmp.empty());
    EXPECT_TRUE(fs::is_directory(platform::to_path(tmp))) << tmp;
    if (tmp.size() > 3) {
        EXPECT_TRUE(tmp.back() != '/' && tmp.back() != '\\') << tmp;
    }
    const uint64_t a = platform::tick_count_ms(), b = platform::tick_count_ms();
    EXPECT_LE(a, b);
    const auto now = platform::local_time_now();
    EXPECT_GE(now.year, 2024);
    EXPECT_TRUE(now.month >= 1 && now.month <= 12 && now.day >= 1 && now.day <= 31);
    EXPECT_NE(platform::process_id(), 0u);
}

TEST_F(TempDir, ErrorTextsNameTheSystemMessageAndCode) {
    auto r = platform::read_file(path("missing.txt"));
    ASSERT_FALSE(r.ok());
    const std::string& e = r.error();
    const size_t at = e.find(" (os error ");
    ASSERT_NE(at, std::string::npos) << e;
    ASSERT_GT(at, 0u) << "no system message in: " << e;
    EXPECT_NE(e[at - 1], ' ');
    EXPECT_NE(e[at - 1], '\n');
    EXPECT_NE(e[at - 1], '\r');
    EXPECT_EQ(e.back(), ')');
    const int code = std::stoi(e.substr(at + 11));
    EXPECT_EQ(e, platform::io_error_text(code));
    EXPECT_EQ(e.substr(0, at), platform::system_error_text(code));
}

TEST_F(TempDir, AtomicWriteReplacesAndLeavesNothingBehind) {
    const std::string file = path("sub\xc3\xa9/deeper/index.bin");  // parents are created
    ASSERT_TRUE(platform::write_file_atomic(file, "first version").ok());
    ASSERT_TRUE(platform::write_file_atomic(file, std::string("second\0version", 14)).ok());
    auto r = platform::read_file(file);
    ASSERT_TRUE(r.ok()) << r.error();
    EXPECT_EQ(*r, std::string("second\0version", 14));
    size_t entries = 0;
    for (const auto& e : fs::directory_iterator(platform::to_path(file).parent_path())) ++entries, (void)e;
    EXPECT_EQ(entries, 1u);

    auto capped = platform::read_file(file, 13);
    ASSERT_FALSE(capped.ok());
    EXPECT_NE(capped.error().find("larger than 13 bytes"), std::string::npos) << capped.error();
    EXPECT_TRUE(platform::read_file(file, 14).ok());
}

TEST_F(TempDir, SharedAppendCreatesAndAppends) {
    const std::string file = path("\xe6\x97\xa5\xe6\x9c\xac.log");
    ASSERT_TRUE(platform::append_to_file_shared(file, "one\n").ok());
    ASSERT_TRUE(platform::append_to_file_shared(file, "two\n").ok());
    auto r = platform::read_file(file);
    ASSERT_TRUE(r.ok()) << r.error();
    EXPECT_EQ(*r, "one\ntwo\n");
    // The UTF-8 name reached the file system as the same name.
    bool found = false;
    for (const auto& e : fs::directory_iterator(dir_)) found |= platform::from_path(e.path().filename()) == "\xe6\x97\xa5\xe6\x9c\xac.log";
    EXPECT_TRUE(found);
    EXPECT_FALSE(platform::append_to_file_shared(path("no-such-folder/x.log"), "x").ok());
}

int main(int argc, char** argv) {
    const std::vector<std::string> args = platform::process_arguments(argc, argv);
    if (!args.empty() && args[0] == kEchoChild) return echo_child(args);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
