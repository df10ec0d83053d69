#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "setup/install.h"

using namespace nimbalo;

namespace {

// A scripted machine that records what the installer did, in order.
struct FakeMachine {
    std::string self = "D:\\Downloads\\nimbalo.exe";
    bool copy_ok = true;
    bool installed_exists = false;
    bool folders_ok = true;
    bool exists = false;
    bool running = false;
    bool create_ok = true;
    bool admin = true;
    bool elevated = false;
    bool elevate_ok = true;
    std::vector<std::string> log;
    std::string printed;

    InstallSystem system() {
        InstallSystem s;
        s.running_exe = [this] { return std::optional<std::string>(self); };
        s.create_folders = [this](const std::string& f) -> Status {
            log.push_back("mkdir " + f);
            return folders_ok ? Status() : fail("Access is denied. (os error 5)");
        };
        s.copy_file = [this](const std::string& a, const std::string& b) -> Status {
            log.push_back("copy " + a + " " + b);
            if (!copy_ok) return fail("The process cannot access the file because it is being used by another process. (os error 32)");
            installed_exists = true;
            return {};
        };
        s.file_exists = [this](const std::string&) { return installed_exists; };
        s.service_exists = [this] { return exists; };
        s.service_running = [this] { return running; };
        s.create_service = [this](const std::string& cmd) -> Status {
            log.push_back("create " + cmd);
            if (!create_ok) return fail("CreateServiceW failed: Access is denied.");
            exists = true;
            return {};
        };
        s.delete_service = [this]() -> Status {
            log.push_back("delete");
            return {};
        };
        s.start_service = [this] { log.push_back("sc start"); };
        s.secure_data_folder = [this] { log.push_back("secure"); };
        s.has_admin_rights = [this] { return admin; };
        s.running_elevated = [this] { return elevated; };
        s.elevate = [this] {
            log.push_back("runas install");
            return elevate_ok;
        };
        s.print = [this](std::string_view t) { printed += t; };
        return s;
    }
};

const std::string kFolder = "C:\\Program Files\\Nimbalo";
const std::string kInstalled = kFolder + "\\nimbalo.exe";

}  // namespace

TEST(Install, Sequences) {
    struct Case {
        const char* what;
        std::function<void(FakeMachine&)> setup;
        bool ok;
        std::vector<std::string> log;
    } cases[] = {
        {"fresh machine", [](FakeMachine&) {}, true,
         {"mkdir C:\\Program Files\\Nimbalo", "copy D:\\Downloads\\nimbalo.exe " + kInstalled, "secure",
          "create \"" + kInstalled + "\" service run", "sc start"}},
        {"running from the installed copy, letter case aside", [](FakeMachine& m) { m.self = "c:\\program files\\NIMBALO\\Nimbalo.EXE"; }, true,
         {"secure", "create \"" + kInstalled + "\" service run", "sc start"}},
        {"registered and running: copy only", [](FakeMachine& m) { m.exists = m.running = true; }, true,
         {"mkdir C:\\Program Files\\Nimbalo", "copy D:\\Downloads\\nimbalo.exe " + kInstalled, "secure"}},
        {"registered, stopped: start it", [](FakeMachine& m) { m.exists = true; }, true,
         {"mkdir C:\\Program Files\\Nimbalo", "copy D:\\Downloads\\nimbalo.exe " + kInstalled, "secure", "sc start"}},
        {"copy fails over a locked installed copy: silent", [](FakeMachine& m) { m.copy_ok = false; m.installed_exists = true; m.exists = m.running = true; }, true,
         {"mkdir C:\\Program Files\\Nimbalo", "copy D:\\Downloads\\nimbalo.exe " + kInstalled, "secure"}},
        {"first copy fails, nothing installed: error", [](FakeMachine& m) { m.copy_ok = false; }, false,
         {"mkdir C:\\Program Files\\Nimbalo", "copy D:\\Downloads\\nimbalo.exe " + kInstalled}},
        {"program folder cannot be made", [](FakeMachine& m) { m.folders_ok = false; }, false, {"mkdir C:\\Program Files\\Nimbalo"}},
        {"registration refused", [](FakeMachine& m) { m.create_ok = false; }, false,
         {"mkdir C:\\Program Files\\Nimbalo", "copy D:\\Downloads\\nimbalo.exe " + kInstalled, "secure", "create \"" + kInstalled + "\" service run"}},
    };
    for (auto& c : cases) {
        FakeMachine m;
        c.setup(m);
        const Status st = install_service(m.system(), kFolder, kInstalled);
        EXPECT_EQ(st.ok(), c.ok) << c.what;
        EXPECT_EQ(m.log, c.log) << c.what;
    }
}

TEST(Install, Issue6_FailedFirstCopyReportsTheIoError) {
    FakeMachine m;
    m.copy_ok = false;
    const Status st = install_service(m.system(), kFolder, kInstalled);
    ASSERT_FALSE(st.ok());
    EXPECT_EQ(st.error(), "The process cannot access the file because it is being used by another process. (os error 32)");
}

TEST(Install, CommandPrintsOrElevates) {
    FakeMachine admin;
    ASSERT_TRUE(install_command(admin.system(), kFolder, kInstalled).ok());
    EXPECT_EQ(admin.printed, "Nimbalo installed to " + kInstalled + " and the service is starting.\n");

    FakeMachine user;
    user.admin = false;
    ASSERT_TRUE(install_command(user.system(), kFolder, kInstalled).ok());
    EXPECT_EQ(user.printed, "UAC requested \xE2\x80\x94 approve the prompt to install Nimbalo.\n");
    EXPECT_EQ(user.log, std::vector<std::string>{"runas install"});

    FakeMachine refused;
    refused.admin = false;
    refused.elevate_ok = false;
    const Status st = install_command(refused.system(), kFolder, kInstalled);
    ASSERT_FALSE(st.ok());
    EXPECT_EQ(st.error(), "UAC was cancelled; no changes made.");
    EXPECT_EQ(refused.printed, "");

    FakeMachine failing;
    failing.folders_ok = false;
    EXPECT_FALSE(install_command(failing.system(), kFolder, kInstalled).ok());
    EXPECT_EQ(failing.printed, "");
}

TEST(Install, InstalledCopyIsRecognisedWhateverTheLetterCase) {
    FakeMachine m;
    m.self = "C:\\PROGRAMME\\\xC3\x84RGER\\NIMBALO.EXE";  // ÄRGER
    m.exists = m.running = true;
    ASSERT_TRUE(install_service(m.system(), "C:\\Programme\\\xC3\xA4rger", "C:\\Programme\\\xC3\xA4rger\\nimbalo.exe").ok());
    EXPECT_EQ(m.log, std::vector<std::string>{"secure"});  // no copy onto itself
}

TEST(Install, ElevatedCopyNeverAsksForElevationAgain) {
    // Drive C does not open raw (say it is not NTFS) in the elevated copy: install, do not re-elevate.
    FakeMachine m;
    m.admin = false;
    m.elevated = true;
    ASSERT_TRUE(install_command(m.system(), kFolder, kInstalled).ok());
    EXPECT_EQ(std::count(m.log.begin(), m.log.end(), "runas install"), 0);
    EXPECT_EQ(m.printed, "Nimbalo installed to " + kInstalled + " and the service is starting.\n");
}

TEST(Install, UninstallOnlyDeletesTheRegistration) {
    FakeMachine m;
    ASSERT_TRUE(uninstall_service(m.system()).ok());
    EXPECT_EQ(m.log, std::vector<std::string>{"delete"});
}
