#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "userdata/activity_log.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {
void write_bytes(const fs::path& p, size_t n, char c) {
    std::ofstream(p, std::ios::binary) << std::string(n, c);
}
std::string read_all(const fs::path& p) { return nimbalo::fixtures::read_text(p.string()); }
}  // namespace

TEST(ActivityLog, LineFormat) {
    const nimbalo::fixtures::TempDir tmp("nimbalo_log_format");
    const fs::path dir = tmp.path() / "data";  // made by the code under test
    nimbalo::log_line_in(dir.string(), "start  pid=1");
    const std::string s = read_all(dir / "mcp.log");
    // "YYYY-MM-DD HH:MM:SS  text\n"
    ASSERT_EQ(s.size(), 19u + 2 + 12 + 1);
    EXPECT_EQ(s[4], '-');
    EXPECT_EQ(s[10], ' ');
    EXPECT_EQ(s.substr(19), "  start  pid=1\n");
}

TEST(ActivityLog, RotatesAtTheLimitNotBelow) {
    const nimbalo::fixtures::TempDir tmp("nimbalo_log_rotate");
    const fs::path dir = tmp.path() / "data";  // made by the code under test
    fs::create_directories(dir);
    write_bytes(dir / "mcp.log", nimbalo::kLogRotateBytes - 1, 'a');
    nimbalo::log_line_in(dir.string(), "x");
    EXPECT_FALSE(fs::exists(dir / "mcp.log.1"));
    EXPECT_GT(fs::file_size(dir / "mcp.log"), nimbalo::kLogRotateBytes - 1);

    write_bytes(dir / "mcp.log", nimbalo::kLogRotateBytes, 'b');
    write_bytes(dir / "mcp.log.1", 10, '1');  // .2 absent
    nimbalo::log_line_in(dir.string(), "y");
    EXPECT_EQ(read_all(dir / "mcp.log.2"), std::string(10, '1'));
    EXPECT_EQ(fs::file_size(dir / "mcp.log.1"), nimbalo::kLogRotateBytes);
    EXPECT_FALSE(fs::exists(dir / "mcp.log.3"));
    EXPECT_EQ(read_all(dir / "mcp.log").substr(19), "  y\n");
}

TEST(ActivityLog, KeepsThreeRotations) {
    const nimbalo::fixtures::TempDir tmp("nimbalo_log_keep");
    const fs::path dir = tmp.path() / "data";  // made by the code under test
    fs::create_directories(dir);
    for (int i = 1; i <= 3; ++i) write_bytes(dir / ("mcp.log." + std::to_string(i)), size_t(i), char('0' + i));
    write_bytes(dir / "mcp.log", nimbalo::kLogRotateBytes + 5, 'z');
    nimbalo::log_line_in(dir.string(), "z");
    EXPECT_EQ(read_all(dir / "mcp.log.3"), "22");
    EXPECT_EQ(read_all(dir / "mcp.log.2"), "1");
    EXPECT_EQ(fs::file_size(dir / "mcp.log.1"), nimbalo::kLogRotateBytes + 5);
    EXPECT_FALSE(fs::exists(dir / "mcp.log.4"));
}
