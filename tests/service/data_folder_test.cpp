#include <unistd.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "platform/data_folder.h"
#include "support/temp_dir.h"

using namespace nimbalo;
namespace fs = std::filesystem;

TEST(DataFolder, LocationFollowsProgramData) {
    const char* old = std::getenv("ProgramData");
    const std::string saved = old ? old : "";
    setenv("ProgramData", "/srv/pd", 1);
    EXPECT_EQ(platform::service_data_folder(), "/srv/pd/Nimbalo");
    unsetenv("ProgramData");
    EXPECT_EQ(platform::service_data_folder(), "/var/lib/nimbalo");
    if (old) setenv("ProgramData", saved.c_str(), 1);
}

TEST(DataFolder, ResetReplacesALinkWithAPrivateFolder) {
    const nimbalo::fixtures::TempDir tmp("nimbalo_data_folder");
    const fs::path base = tmp.path() / "base";
    fs::create_directories(base / "elsewhere");
    fs::create_directory_symlink(base / "elsewhere", base / "Nimbalo");
    const std::string folder = (base / "Nimbalo").string();
    EXPECT_FALSE(platform::folder_is_trusted(folder));

    ASSERT_TRUE(platform::create_private_folder(folder, false).ok());
    EXPECT_TRUE(fs::is_symlink(base / "Nimbalo"));  // left alone without reset

    ASSERT_TRUE(platform::create_private_folder(folder, true).ok());
    EXPECT_FALSE(fs::is_symlink(base / "Nimbalo"));
    EXPECT_TRUE(fs::exists(base / "elsewhere"));  // the link's target is untouched
    EXPECT_TRUE(platform::folder_is_trusted(folder));
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    fs::remove_all(base);
}

// A folder that others may write to is never trusted; one of ours is made private again, one of
// another owner is left alone (and stays refused).
TEST(DataFolder, WritableByOthersIsRefusedOrRepaired) {
    const nimbalo::fixtures::TempDir tmp("nimbalo_data_folder_w");
    const fs::path base = tmp.path() / "base";
    fs::create_directories(base);
    struct Case {
        mode_t mode;
        bool ours;
    };
    for (const Case c : {Case{0777, true}, Case{0770, true}, Case{0722, true}, Case{0777, false}}) {
        const fs::path dir = base / ("d" + std::to_string(c.mode) + (c.ours ? "o" : "x"));
        fs::create_directory(dir);
        ::chmod(dir.c_str(), c.mode);
        if (!c.ours) {
            ASSERT_EQ(::chown(dir.c_str(), 65534, 65534), 0);
        }
        EXPECT_FALSE(platform::folder_is_trusted(dir.string())) << dir;
        ASSERT_TRUE(platform::create_private_folder(dir.string(), false).ok());
        struct stat st {};
        ASSERT_EQ(::stat(dir.c_str(), &st), 0);
        EXPECT_EQ(platform::folder_is_trusted(dir.string()), c.ours) << dir;
        EXPECT_EQ(st.st_mode & 0777, c.ours ? 0700u : c.mode) << dir;
    }
    fs::remove_all(base);
}
