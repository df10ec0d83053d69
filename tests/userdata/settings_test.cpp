#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "userdata/client_config.h"
#include "userdata/settings.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using namespace nimbalo;

namespace {
std::string read_all(const fs::path& p) { return nimbalo::fixtures::read_text(p.string()); }
}  // namespace

TEST(Settings, SwitchReadsEnabledUnlessPlainlyOff) {
    const nimbalo::fixtures::TempDir tmp("nimbalo_settings_read");
    const fs::path dir = tmp.path() / "data";  // made by the code under test
    EXPECT_TRUE(mcp_enabled_in(dir.string())) << "no file";
    fs::create_directories(dir);
    const std::vector<std::pair<std::string, bool>> rows = {
        {"", true},
        {"[]", true},
        {R"({"mcp_enabled": "no"})", true},
        {R"({"mcp_enabled": 0})", true},
        {R"({"other": false})", true},
        {R"({"mcp_enabled": false)", true},  // torn
        {R"({"mcp_enabled": true})", true},
        {R"({"mcp_enabled": false, "other": 1})", false},
        {"{\n  \"mcp_enabled\": false\n}\n", false},
    };
    for (const auto& [text, want] : rows) {
        std::ofstream(dir / "settings.json", std::ios::binary) << text;
        EXPECT_EQ(mcp_enabled_in(dir.string()), want) << text;
    }
}

TEST(Settings, SwitchWritesOnlyItsKeyAndLogs) {
    const nimbalo::fixtures::TempDir tmp("nimbalo_settings_write");
    const fs::path dir = tmp.path() / "data";  // made by the code under test
    fs::create_directories(dir);
    std::ofstream(dir / "settings.json", std::ios::binary) << R"({"mcp_enabled": false, "other": 1})";
    auto r = set_mcp_enabled_in(dir.string(), false);
    ASSERT_TRUE(r) << r.error();
    EXPECT_TRUE(*r);
    EXPECT_EQ(read_all(dir / "settings.json"), "{\n  \"mcp_enabled\": true\n}\n");
    r = set_mcp_enabled_in(dir.string(), true);
    ASSERT_TRUE(r);
    EXPECT_FALSE(*r);
    EXPECT_EQ(read_all(dir / "settings.json"), "{\n  \"mcp_enabled\": false\n}\n");
    EXPECT_FALSE(mcp_enabled_in(dir.string()));
    const std::string log = read_all(dir / "mcp.log");
    EXPECT_NE(log.find("  settings: MCP server enabled by the launcher\n"), std::string::npos);
    EXPECT_NE(log.find("  settings: MCP server disabled by the launcher\n"), std::string::npos);
    // No temporary file is left behind by the replace.
    size_t files = 0;
    for (const auto& e : fs::directory_iterator(dir)) files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 2u);
}

TEST(Settings, WriteFailureChangesNothing) {
    const nimbalo::fixtures::TempDir tmp("nimbalo_settings_fail");
    const fs::path dir = tmp.path() / "data";  // made by the code under test
    fs::create_directories(dir / "settings.json");  // a folder where the file should be
    const auto r = set_mcp_enabled_in(dir.string(), true);
    ASSERT_FALSE(r);
    EXPECT_TRUE(r.error().starts_with("cannot write settings: ")) << r.error();
    EXPECT_FALSE(fs::exists(dir / "mcp.log"));
}

TEST(ClientConfig, Fragment) {
    EXPECT_EQ(client_config_fragment_for({"C:\\Program Files\\Nimbalo\\nimbalo.exe", {"mcp"}}),
              R"("nimbalo": { "command": "C:\\Program Files\\Nimbalo\\nimbalo.exe", "args": ["mcp"] })");
    EXPECT_EQ(client_config_fragment_for({"/opt/a \"b\"/nimbalo", {"mcp", "x"}}),
              R"("nimbalo": { "command": "/opt/a \"b\"/nimbalo", "args": ["mcp","x"] })");
    EXPECT_EQ(mcp_command().args, std::vector<std::string>{"mcp"});
}
