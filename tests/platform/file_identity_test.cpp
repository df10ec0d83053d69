#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file_identity.h"
#include "support/temp_dir.h"

using namespace nimbalo::platform;
namespace fs = std::filesystem;

namespace {
// a.exe and b.exe (equal contents) and the folder sub.
struct Folder {
    nimbalo::fixtures::TempDir dir{"nimbalo_identity"};
    const fs::path& root = dir.path();
    Folder() {
        fs::create_directories(root / "sub");
        nimbalo::fixtures::write_text(dir / "a.exe", "a");
        nimbalo::fixtures::write_text(dir / "b.exe", "a");
    }
    std::string operator/(const char* name) const { return dir / name; }
};
}  // namespace

TEST(FileIdentity, SameFileByIdentityNotBySpelling) {
    Folder f;
    std::error_code ec;
    fs::create_hard_link(f.root / "a.exe", f.root / "hard.exe", ec);
    const bool have_hard_link = !ec;
    struct Case {
        std::string a, b;
        bool same;
    } cases[] = {
        {f / "a.exe", f / "a.exe", true},
        {f / "a.exe", (f.root / "sub" / ".." / "a.exe").string(), true},
        {f / "a.exe", f / "b.exe", false},  // equal contents are not one file
        {f / "a.exe", f / "missing.exe", false},
        {f / "missing.exe", f / "missing.exe", false},
        {f / "sub", f / "a.exe", false},
    };
    for (const auto& c : cases) EXPECT_EQ(same_file(c.a, c.b), c.same) << c.a << " / " << c.b;
    if (have_hard_link) {
        EXPECT_TRUE(same_file(f / "a.exe", f / "hard.exe"));
    }
}

TEST(FileIdentity, EntryKinds) {
    Folder f;
    EXPECT_EQ(entry_kind(f / "a.exe"), EntryKind::regular_file);
    EXPECT_EQ(entry_kind(f / "sub"), EntryKind::other);
    EXPECT_EQ(entry_kind(f / "missing.exe"), EntryKind::missing);
    EXPECT_EQ(entry_kind(f / "missing/x.exe"), EntryKind::missing);
}

TEST(FileIdentity, OnlyEmptyFoldersAreRemoved) {
    Folder f;
    nimbalo::fixtures::write_text(f / "sub/x", "x");
    EXPECT_FALSE(remove_empty_folder(f / "sub"));
    EXPECT_TRUE(fs::exists(f.root / "sub" / "x"));
    fs::remove(f.root / "sub" / "x");
    EXPECT_TRUE(remove_empty_folder(f / "sub"));
    EXPECT_FALSE(fs::exists(f.root / "sub"));
    EXPECT_FALSE(remove_empty_folder(f / "sub"));
}
