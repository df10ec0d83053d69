// Autostart and the desktop shortcut: the rules against a fake machine on every platform, and the
// real Run key and shell link object where the program runs on Windows (under Wine in CI).
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "platform/os.h"
#include "platform/run_key.h"
#include "platform/shell_link.h"
#include "platform/system.h"
#include "setup/autostart.h"
#include "setup/desktop_shortcut.h"
#include "setup/user_entries.h"
#include "support/temp_dir.h"

using namespace nimbalo;

namespace {

struct FakeRunKey {
    std::optional<std::string> value;
    bool off = false;
    bool fail_writes = false;
    std::vector<std::string> log;
    AutostartSystem sys() {
        AutostartSystem s;
        s.read_value = [this] { return value && value->size() < 2048 ? value : std::nullopt; };
        s.write_value = [this](const std::string& d) -> Status {
            if (fail_writes) return fail("cannot update the Run key (0x5)");
            value = d;
            return {};
        };
        s.delete_value = [this]() -> Status {
            value.reset();
            return {};
        };
        s.installed_exe = [] { return std::string("C:\\Program Files\\Nimbalo\\nimbalo.exe"); };
        s.off_marked = [this] { return off; };
        s.mark_off = [this](bool o) { off = o; };
        s.log_line = [this](std::string_view l) { log.emplace_back(l); };
        return s;
    }
};

const std::string kData = "\"C:\\Program Files\\Nimbalo\\nimbalo.exe\" --tray";

}  // namespace

TEST(Autostart, RepairRewritesWhatIsMissingOrWrong) {
    struct Case {
        const char* what;
        std::optional<std::string> before;
        bool rewritten;
    } cases[] = {
        {"missing", std::nullopt, true},
        {"blank", "  \t", true},
        {"right path without --tray", "\"C:\\Program Files\\Nimbalo\\nimbalo.exe\"", true},
        {"too long for the buffer", std::string(2500, 'x') + " --tray", true},
        {"good", kData, false},
        {"another path, still --tray", "\"D:\\x.exe\" --tray", false},
    };
    for (const auto& c : cases) {
        FakeRunKey k;
        k.value = c.before;
        repair_autostart(k.sys());
        EXPECT_EQ(k.value == kData, c.rewritten || c.before == kData) << c.what;
        EXPECT_EQ(k.log.size(), c.rewritten ? 1u : 0u) << c.what;
    }
}

// Issue 13, mend 4: "Start with Windows: off" chosen by the user sticks across starts.
TEST(Autostart, SwitchedOffStaysOffUntilSwitchedOn) {
    FakeRunKey k;
    k.value = kData;
    ASSERT_TRUE(set_autostart(k.sys(), false).ok());
    EXPECT_FALSE(autostart_enabled(k.sys()));
    EXPECT_EQ(k.log, std::vector<std::string>{"autostart: disabled (" + kData + ")"});
    repair_autostart(k.sys());  // the next start of the installed launcher
    EXPECT_FALSE(k.value) << "the repair must not undo the user's choice";
    ASSERT_TRUE(set_autostart(k.sys(), true).ok());
    EXPECT_EQ(k.value, kData);
    EXPECT_FALSE(k.off);
    ASSERT_TRUE(set_autostart(k.sys(), false).ok());  // disabling twice: no value, still fine
    ASSERT_TRUE(set_autostart(k.sys(), false).ok());
    EXPECT_EQ(k.log.size(), 4u);
}

TEST(Autostart, FailedWriteIsReportedAndChangesNothing) {
    FakeRunKey k;
    k.fail_writes = true;
    k.off = true;
    const Status s = set_autostart(k.sys(), true);
    EXPECT_EQ(s.error(), "cannot update the Run key (0x5)");
    EXPECT_TRUE(k.off) << "the off choice stays while the switch-on failed";
    EXPECT_TRUE(k.log.empty());
}

TEST(DesktopShortcut, MarkerClassification) {
    struct Case {
        std::optional<std::string> text;
        MarkerState want;
    } cases[] = {
        {std::nullopt, MarkerState::Unmarked},      {"rev=2\nC:\\x\n", MarkerState::Current},
        {"rev=3", MarkerState::Current},            {"rev=+2\r\n", MarkerState::Current},
        {"rev= 2 \n", MarkerState::Current},        {"rev=1\nC:\\x\n", MarkerState::Outdated},
        {"", MarkerState::Outdated},                {"C:\\x\n", MarkerState::Outdated},
        {"rev=x\n", MarkerState::Unmarked},         {"rev=4294967296\n", MarkerState::Unmarked},
        {"# old\nrev=2\nrev=1\n", MarkerState::Current},
    };
    for (const auto& c : cases) EXPECT_EQ(classify_marker(c.text), c.want) << c.text.value_or("(none)");
    EXPECT_EQ(marker_text("D:\\Desktop\\Nimbalo.lnk"), "rev=2\nD:\\Desktop\\Nimbalo.lnk\n");
}

namespace {

struct FakeDesktop {
    std::map<std::string, std::string> files;
    std::vector<std::string> log, written;
    std::string running = "c:\\program files\\nimbalo\\NIMBALO.EXE";
    ShortcutSystem sys() {
        ShortcutSystem s;
        s.running_exe = [this] { return std::optional<std::string>(running); };
        s.installed_exe = [] { return std::string("C:\\Program Files\\Nimbalo\\nimbalo.exe"); };
        s.program_folder = [] { return std::string("C:\\Program Files\\Nimbalo"); };
        s.local_app_data = [] { return std::optional<std::string>("L"); };
        s.desktop_folder = [] { return Result<std::string>(std::string("D")); };
        s.file_exists = [this](const std::string& p) { return files.count(p) > 0; };
        s.read_text = [this](const std::string& p) -> std::optional<std::string> {
            if (!files.count(p)) return std::nullopt;
            return files[p];
        };
        s.write_text = [this](const std::string& p, const std::string& t) { files[p] = t; };
        s.create_folders = [](const std::string&) {};
        s.create_shortcut = [this](const std::string& p, const platform::ShortcutSpec& spec) -> Status {
            EXPECT_EQ(spec.description, "Nimbalo - instant search over this PC");
            files[p] = "link to " + spec.target;
            written.push_back(p);
            return {};
        };
        s.log_line = [this](std::string_view l) { log.emplace_back(l); };
        return s;
    }
};

}  // namespace

TEST(DesktopShortcut, RepairByMarkerAndShortcut) {
    const std::string lnk = "D\\Nimbalo.lnk", marker = platform::join_path(platform::join_path("L", "Nimbalo"), "desktop-shortcut");
    struct Case {
        const char* what;
        std::optional<std::string> marker;
        bool shortcut_exists;
        bool written;
        const char* log;
    } cases[] = {
        {"first start", std::nullopt, false, true, "desktop shortcut: D\\Nimbalo.lnk"},
        {"unmarked, shortcut kept", std::nullopt, true, false, nullptr},
        {"rev=x counts as unmarked", "rev=x\n", true, false, nullptr},
        {"outdated with a shortcut", "rev=1\n", true, true, "desktop shortcut repaired: D\\Nimbalo.lnk"},
        {"outdated, deleted by the user", "rev=1\n", false, false, nullptr},
        {"current, deleted by the user", "rev=2\n", false, false, nullptr},
    };
    for (const auto& c : cases) {
        FakeDesktop d;
        if (c.marker) d.files[marker] = *c.marker;
        if (c.shortcut_exists) d.files[lnk] = "old";
        repair_desktop_shortcut(d.sys());
        EXPECT_EQ(!d.written.empty(), c.written) << c.what;
        EXPECT_EQ(d.log, c.log ? std::vector<std::string>{c.log} : std::vector<std::string>{}) << c.what;
        const bool current = c.marker && classify_marker(c.marker) == MarkerState::Current;
        EXPECT_EQ(d.files[marker], current ? *c.marker : marker_text(lnk)) << c.what;
    }
    FakeDesktop portable;
    portable.running = "C:\\Users\\me\\Downloads\\nimbalo.exe";
    repair_desktop_shortcut(portable.sys());
    EXPECT_TRUE(portable.files.empty() && portable.log.empty()) << "a portable copy touches nothing";
    FakeDesktop failing;
    auto sys = failing.sys();
    sys.create_shortcut = [](const std::string&, const platform::ShortcutSpec&) -> Status { return fail("Save: denied (0x80070005)"); };
    repair_desktop_shortcut(sys);
    EXPECT_EQ(failing.log, std::vector<std::string>{"desktop shortcut failed: Save: denied (0x80070005)"});
    EXPECT_FALSE(failing.files.count(marker)) << "no marker after a failure: the next start tries again";
}

// The real Run key and shell link object (Windows, or Wine in CI).
TEST(DesktopShortcut, RealRunKeyAndShellLink) {
    if (!platform::kWindows) GTEST_SKIP() << "Windows only";
    const std::string name = "NimbaloTest." + std::to_string(platform::process_id());
    ASSERT_TRUE(platform::write_run_value(name, kData).ok());
    EXPECT_EQ(platform::read_run_value(name), kData);
    ASSERT_TRUE(platform::write_run_value(name, std::string(2500, 'x')).ok());
    EXPECT_FALSE(platform::read_run_value(name)) << "too long for the 4,096-byte buffer reads as off";
    ASSERT_TRUE(platform::delete_run_value(name).ok());
    EXPECT_TRUE(platform::delete_run_value(name).ok()) << "deleting a missing value is no error";
    EXPECT_FALSE(platform::read_run_value(name));

    const fixtures::TempDir dir("nimbalo_shortcut");
    const std::string lnk = dir / "Nimbalo.lnk";
    const std::string target = platform::executable_path().value_or("C:\\windows\\notepad.exe");
    ASSERT_TRUE(platform::create_shortcut(lnk, {target, dir.str(), "Nimbalo - instant search over this PC"}).ok());
    auto back = platform::shortcut_target(lnk);
    ASSERT_TRUE(back.ok()) << back.error();
    EXPECT_EQ(*back, target);
    EXPECT_TRUE(platform::desktop_folder().ok());
}

TEST(Uninstall, RemovesOnlyOurOwnUserEntries) {
    std::map<std::string, std::string> files{{"D\\Nimbalo.lnk", "C:\\PROGRAM FILES\\Nimbalo\\nimbalo.exe"},
                                             {platform::join_path("L", "desktop-shortcut"), "rev=2\n"}};
    std::optional<std::string> run = kData;
    UserEntriesSystem s;
    s.installed_exe = [] { return std::string("C:\\Program Files\\Nimbalo\\nimbalo.exe"); };
    s.read_run_value = [&] { return run; };
    s.delete_run_value = [&]() -> Status {
        run.reset();
        return {};
    };
    s.desktop_folder = [] { return Result<std::string>(std::string("D")); };
    s.shortcut_target = [&](const std::string& p) -> Result<std::string> { return files.at(p); };
    s.data_folder = [] { return std::optional<std::string>("L"); };
    s.file_exists = [&](const std::string& p) { return files.count(p) > 0; };
    s.remove_file = [&](const std::string& p) -> Status {
        files.erase(p);
        return {};
    };
    const auto said = remove_user_entries(s);
    EXPECT_EQ(said.size(), 3u);
    EXPECT_FALSE(run);
    EXPECT_TRUE(files.empty());

    // Entries that name another program stay.
    run = "\"D:\\other.exe\" --tray";
    files = {{"D\\Nimbalo.lnk", "D:\\other.exe"}};
    EXPECT_TRUE(remove_user_entries(s).empty());
    EXPECT_TRUE(run);
    EXPECT_EQ(files.size(), 1u);
}
