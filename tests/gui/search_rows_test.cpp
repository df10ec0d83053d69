// Result rows from hit paths, the size and date texts, the icon cache and the alpha/mask rule,
// the page's texts (messages, footer, heads) and the Explorer command.
#include <gtest/gtest.h>

#include "gui/views/icon_cache.h"
#include "gui/views/result_rows.h"
#include "gui/views/search_texts.h"

using namespace nimbalo::gui;

namespace {
constexpr uint64_t k2026 = 134116992000000000ull;  // 2026-01-01 00:00 UTC
DiskInspector only(std::string path, DiskEntry e) {
    return [path, e](const std::string& p) -> std::optional<DiskEntry> {
        if (p == path) return e;
        return std::nullopt;
    };
}
}  // namespace

TEST(ResultRows, SplitAtTheLastBackslash) {
    struct Case {
        const char *path, *folder, *name;
    } cases[] = {
        {"C:\\Users\\me\\report.pdf", "C:\\Users\\me", "report.pdf"},
        {"C:\\", "C:", "C:\\"},  // a root keeps the whole path as its name
        {"plain", "", "plain"},
        {"C:\\a\\", "C:\\a", "C:\\a\\"},
    };
    for (const auto& c : cases) {
        std::string folder, name;
        split_path(c.path, folder, name);
        EXPECT_EQ(folder, c.folder) << c.path;
        EXPECT_EQ(name, c.name) << c.path;
    }
}

TEST(ResultRows, SizeTexts) {
    EXPECT_EQ(size_text(0), "0 B");
    EXPECT_EQ(size_text(1000), "1000 B");
    EXPECT_EQ(size_text(1023), "1023 B");
    EXPECT_EQ(size_text(1024), "1.0 KB");
    EXPECT_EQ(size_text(1536), "1.5 KB");
    EXPECT_EQ(size_text(150ull << 20), "150 MB");
    EXPECT_EQ(size_text(99ull << 30), "99.0 GB");
    EXPECT_EQ(size_text(3ull << 40), "3.0 TB");
    EXPECT_EQ(size_text(5000ull << 40), "5000 TB");  // TB is the last unit
}

TEST(ResultRows, RowsFromTheDisk) {
    // A file: size, UTC date to the minute, lower-cased sort name (Unicode).
    const ResultRow f = make_row("C:\\Users\\me\\ÉTÉ Report.PDF",
                                 only("C:\\Users\\me\\ÉTÉ Report.PDF", {1536, 0x20, k2026 + 754199999999ull, 0}));
    EXPECT_EQ(f.size_text, "1.5 KB");
    EXPECT_EQ(f.size, 1536u);
    EXPECT_EQ(f.date_text, "2026-01-01 20:56");
    EXPECT_EQ(f.sort_name, "été report.pdf");
    EXPECT_FALSE(f.missing || f.is_folder);
    // A root folder.
    const ResultRow root = make_row("C:\\", only("C:\\", {0, kAttributeDirectory, k2026, 0}));
    EXPECT_EQ(root.name, "C:\\");
    EXPECT_EQ(root.folder, "C:");
    EXPECT_TRUE(root.is_folder);
    EXPECT_EQ(root.size_text, "Folder");
    // A junction is not a folder; a directory with another reparse point is.
    const ResultRow junction = make_row("C:\\j", only("C:\\j", {0, kAttributeDirectory | kAttributeReparsePoint, k2026, 0xA0000003}));
    EXPECT_FALSE(junction.is_folder);
    EXPECT_EQ(junction.size_text, "0 B");
    const ResultRow dedup = make_row("C:\\d", only("C:\\d", {0, kAttributeDirectory | kAttributeReparsePoint, k2026, 0x80000013}));
    EXPECT_TRUE(dedup.is_folder);
    // Missing; a time before 1970 counts as unknown.
    const ResultRow gone = make_row("C:\\gone.txt", only("C:\\other", {}));
    EXPECT_TRUE(gone.missing);
    EXPECT_EQ(gone.size_text, "Missing");
    EXPECT_EQ(gone.date_text, "");
    EXPECT_EQ(gone.size + gone.modified, 0u);
    const ResultRow old = make_row("C:\\old", only("C:\\old", {5, 0, 1000, 0}));
    EXPECT_EQ(old.modified, 0u);
    EXPECT_EQ(old.date_text, "");
    EXPECT_EQ(date_text(116444736000000000ull), "1970-01-01 00:00");
}

TEST(IconCache, KeysAndTheBound) {
    auto row = [](const char* path, bool folder) {
        ResultRow r = make_row(path, nullptr);
        r.is_folder = folder;
        return r;
    };
    EXPECT_EQ(icon_cache_key(row("C:\\Docs", true)), "dir");
    EXPECT_EQ(icon_cache_key(row("C:\\Docs\\Report.DOCX", false)), "ext:docx");
    EXPECT_EQ(icon_cache_key(row("C:\\Tools\\App.EXE", false)), "c:\\tools\\app.exe");
    EXPECT_EQ(icon_cache_key(row("C:\\Desk\\Game.lnk", false)), "c:\\desk\\game.lnk");
    EXPECT_EQ(icon_cache_key(row("C:\\a.b\\Makefile", false)), "ext:");
    EXPECT_EQ(icon_cache_key(row("C:\\x\\archive.tar.GZ", false)), "ext:gz");

    IconCache cache;
    EXPECT_EQ(cache.find("ext:txt"), nullptr);
    cache.insert("ext:txt", std::nullopt);  // a failed extraction is remembered too
    ASSERT_NE(cache.find("ext:txt"), nullptr);
    EXPECT_FALSE(cache.find("ext:txt")->has_value());
    for (int i = 0; i < 600; ++i) cache.insert("k" + std::to_string(i), Icon{});
    EXPECT_EQ(cache.size(), 601u);  // emptied only when it already holds more than 600
    cache.insert("next", Icon{});
    EXPECT_EQ(cache.size(), 1u);
    EXPECT_NE(cache.find("next"), nullptr);
}

TEST(IconCache, AlphaAndMaskRule) {
    std::vector<uint32_t> normal(1024, 0x00204080), mask(1024, 0x00FFFFFF);
    mask[0] = 0x00000000;  // opaque there
    mask[1] = 0x0000007F;  // first byte 127: opaque
    mask[2] = 0x00000080;  // 128: transparent
    Icon masked = icon_from_drawings(normal, std::span<const uint32_t>(mask));
    EXPECT_EQ(masked.pixels[0], 0xFF204080u);
    EXPECT_EQ(masked.pixels[1], 0xFF204080u);
    EXPECT_EQ(masked.pixels[2], 0u);
    EXPECT_EQ(masked.pixels[3], 0u);
    // Without the mask drawing an icon without alpha stays transparent.
    EXPECT_EQ(icon_from_drawings(normal, std::nullopt).pixels[0], 0u);
    // With alpha: premultiplied by its own alpha, the mask ignored.
    normal[0] = 0x80FF0000;
    Icon alpha = icon_from_drawings(normal, std::span<const uint32_t>(mask));
    EXPECT_EQ(alpha.pixels[0], 0x80800000u);
    EXPECT_EQ(alpha.pixels[1], 0u);
}

TEST(SearchTexts, MessagesInOrder) {
    SearchPage p;
    EXPECT_EQ(search_message(p).title, "Search your PC, instantly");
    EXPECT_EQ(search_message(p).subtitle, "Type a file name to begin");
    EXPECT_EQ(footer_status(p), "Nimbalo");
    p.entry_count = 1284311;
    EXPECT_EQ(search_message(p).subtitle, "1,284,311 files and folders indexed");
    EXPECT_EQ(footer_status(p), "1,284,311 files indexed");
    p.query = "   ";  // only spaces: still idle
    EXPECT_EQ(search_message(p).title, "Search your PC, instantly");
    p.reindex_state = ReindexState::Sweeping;
    EXPECT_EQ(search_message(p).title, "Building the search index");
    EXPECT_EQ(search_message(p).subtitle, "1,284,311 files are already searchable");
    EXPECT_EQ(search_message(p).glyph, glyph::Build);
    EXPECT_EQ(footer_status(p), "Indexing C: \xE2\x80\x94 building the index");
    p.entry_count = 0;
    EXPECT_EQ(search_message(p).subtitle, "Your files will appear as you type");
    p.reindex_state = ReindexState::Progress;
    p.reindex_progress = 0.425f;
    EXPECT_EQ(footer_status(p), "Indexing C: \xE2\x80\x94 43%");
    p.query = " tax ";
    p.searching = true;
    EXPECT_EQ(search_message(p).title, "Searching for \xE2\x80\x9Ctax\xE2\x80\x9D");
    p.searching = false;
    EXPECT_EQ(search_message(p).title, "No results for \xE2\x80\x9Ctax\xE2\x80\x9D");
    p.reindex_state = ReindexState::Ready;
    EXPECT_EQ(footer_status(p), "No results");
    p.rows.resize(1);
    EXPECT_EQ(footer_status(p), "1 result");
    p.rows.resize(100);
    EXPECT_EQ(footer_status(p), "100 results");
    p.searching = true;
    EXPECT_EQ(footer_status(p), "Searching\xE2\x80\xA6");
    p.reindex_state = ReindexState::Unreachable;
    EXPECT_EQ(search_message(p).title, "The search service is not running");
    EXPECT_EQ(search_message(p).subtitle, "Run \xE2\x80\x9Cnimbalo install\xE2\x80\x9D as administrator to start it");
    EXPECT_EQ(footer_status(p), "Search service offline");
    p.search_error = "regex: missing )";
    EXPECT_EQ(search_message(p).title, "That search could not be read");
    EXPECT_EQ(search_message(p).subtitle, "regex: missing )");
    EXPECT_EQ(search_message(p).glyph, glyph::Error);

    EXPECT_EQ(column_head(p, SortColumn::Name), "Name \xE2\x86\x91");
    EXPECT_EQ(column_head(p, SortColumn::Size), "Size");
    p.sort_column = SortColumn::Modified;
    p.sort_descending = true;
    EXPECT_EQ(column_head(p, SortColumn::Modified), "Modified \xE2\x86\x93");
    EXPECT_EQ(grouped(0), "0");
    EXPECT_EQ(grouped(999), "999");
    EXPECT_EQ(grouped(1000), "1,000");
}

TEST(SearchTexts, ExplorerByItsFullPath) {
    EXPECT_EQ(explorer_path("C:\\Windows"), "C:\\Windows\\explorer.exe");
    EXPECT_EQ(explorer_path("C:\\Windows\\"), "C:\\Windows\\explorer.exe");
    EXPECT_EQ(explorer_path(""), "");  // never a bare name
    EXPECT_EQ(explorer_select_parameters("C:\\Users\\me\\a b.txt"), "/select,\"C:\\Users\\me\\a b.txt\"");
    EXPECT_EQ(quoted("a \"b\"\\"), "\"a \\\"b\\\"\\\\\"");
}
