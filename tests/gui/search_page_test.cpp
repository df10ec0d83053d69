// The Search page's rules with an injected clock and a fake disk: editing, keys, the debounce
// and search ids, results and statuses, sorting by head clicks, the mouse and keep-visible.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

#include "gui/fake_text_backend.h"
#include "gui/views/search_layout.h"
#include "gui/views/search_page.h"

using namespace nimbalo::gui;

namespace {

// A fake file system: paths it knows are files of the given size and time; others are missing.
struct FakeDisk {
    std::map<std::string, DiskEntry> entries;
    DiskInspector inspector() const {
        return [this](const std::string& p) -> std::optional<DiskEntry> {
            auto it = entries.find(p);
            if (it == entries.end()) return std::nullopt;
            return it->second;
        };
    }
};

constexpr uint64_t kDay = 864000000000ull;  // FILETIME ticks per day
constexpr uint64_t k2026 = 134116992000000000ull;  // 2026-01-01 00:00 UTC

event::SearchResults hits(uint64_t id, std::vector<std::string> paths) { return {id, std::move(paths), std::nullopt}; }

std::vector<std::string> names_of(const SearchPage& p) {
    std::vector<std::string> out;
    for (const auto& r : p.rows) out.push_back(r.name);
    return out;
}

const SearchLayout k100 = search_layout(window_geometry(1.0f));

void type(SearchPage& p, std::u16string_view text, uint64_t now) {
    for (char16_t u : text) p.type_unit(u, now);
}

}  // namespace

TEST(SearchPage, DebounceSendsOneSearchAfterTheLastKey) {
    SearchPage p;
    p.type_unit(u'a', 1000);
    p.type_unit(u'b', 1100);
    p.type_unit(u'c', 1200);
    EXPECT_FALSE(p.tick(1300).search);
    EXPECT_FALSE(p.tick(1459).search);  // 259 ms after the last key
    const auto t = p.tick(1460);
    ASSERT_TRUE(t.search);
    EXPECT_EQ(t.search->id, 1u);
    EXPECT_EQ(t.search->query, "abc");
    EXPECT_TRUE(t.repaint);
    EXPECT_TRUE(p.searching);
    EXPECT_FALSE(p.tick(2000).search);  // sent once
    EXPECT_EQ(search_request_log(*t.search), "search request #1 \"abc\"");

    // Clearing the box clears the list without a search.
    ASSERT_TRUE(p.apply_results(hits(1, {"C:\\a\\abc.txt"}), FakeDisk{}.inspector()));
    EXPECT_EQ(p.rows.size(), 1u);
    for (int i = 0; i < 3; ++i) p.key(vk::Back, false, 7, 2100);
    EXPECT_EQ(p.query, "");
    const auto cleared = p.tick(2360);
    EXPECT_FALSE(cleared.search);
    EXPECT_TRUE(cleared.repaint);
    EXPECT_TRUE(p.rows.empty());
    EXPECT_FALSE(p.searching);
    EXPECT_EQ(p.search_id, 1u);

    // Only spaces: nothing is sent, the idle state stays.
    type(p, u"   ", 3000);
    EXPECT_FALSE(p.tick(3300).search);
    EXPECT_EQ(p.search_id, 1u);
    // Leading and trailing white space is trimmed from what is sent.
    type(p, u"x ", 3400);
    const auto trimmed = p.tick(3700);
    ASSERT_TRUE(trimmed.search);
    EXPECT_EQ(trimmed.search->query, "x");
    EXPECT_EQ(trimmed.search->id, 2u);
}

TEST(SearchPage, StaleResultsAreDropped) {
    SearchPage p;
    FakeDisk disk;
    type(p, u"re", 0);
    ASSERT_TRUE(p.tick(300).search);  // #1
    type(p, u"p", 400);
    ASSERT_TRUE(p.tick(700).search);  // #2
    EXPECT_FALSE(p.apply_results(hits(1, {"C:\\old.txt"}), disk.inspector()));
    EXPECT_TRUE(p.rows.empty());
    EXPECT_TRUE(p.searching);
    EXPECT_EQ(search_result_log(hits(1, {"C:\\old.txt"}), p.search_id), "search result #1 (current #2) -> 1 hits");
    EXPECT_TRUE(p.apply_results(hits(2, {"C:\\rep.txt"}), disk.inspector()));
    EXPECT_EQ(names_of(p), std::vector<std::string>{"rep.txt"});
    EXPECT_FALSE(p.searching);

    // A show while a search is on its way: its result no longer belongs to the (empty) box.
    type(p, u"q", 800);
    ASSERT_TRUE(p.tick(1100).search);  // #3
    p.reset_for_show();
    EXPECT_FALSE(p.apply_results(hits(3, {"C:\\q.txt"}), disk.inspector()));
    EXPECT_TRUE(p.rows.empty());
}

TEST(SearchPage, UnreachableServiceAndErrors) {
    SearchPage p;
    type(p, u"x", 0);
    ASSERT_TRUE(p.tick(260).search);
    p.apply_results({1, std::nullopt, std::nullopt}, FakeDisk{}.inspector());
    EXPECT_FALSE(p.service_reachable);
    EXPECT_EQ(p.reindex_state, ReindexState::Unreachable);
    // The next good result brings it back.
    type(p, u"y", 300);
    ASSERT_TRUE(p.tick(600).search);
    p.apply_results({2, std::vector<std::string>{}, std::string("empty query")}, FakeDisk{}.inspector());
    EXPECT_TRUE(p.service_reachable);
    EXPECT_EQ(p.reindex_state, ReindexState::Ready);
    EXPECT_EQ(p.search_error, std::optional<std::string>("empty query"));
    // An empty error text counts as none; a new search clears the error.
    type(p, u"z", 700);
    ASSERT_TRUE(p.tick(1000).search);
    EXPECT_FALSE(p.search_error);
    p.apply_results({3, std::vector<std::string>{"C:\\z"}, std::string()}, FakeDisk{}.inspector());
    EXPECT_FALSE(p.search_error);
}

TEST(SearchPage, StatusMapping) {
    SearchPage p;
    EXPECT_TRUE(p.apply_status({1, 25, 100, std::nullopt}));
    EXPECT_EQ(p.reindex_state, ReindexState::Progress);
    EXPECT_FLOAT_EQ(p.reindex_progress, 0.25f);
    EXPECT_FALSE(p.apply_status({1, 25, 100, std::nullopt}));  // nothing changed: no repaint
    EXPECT_TRUE(p.apply_status({1, 26, 100, std::nullopt}));
    p.apply_status({1, 500, 100, std::nullopt});
    EXPECT_FLOAT_EQ(p.reindex_progress, 1.0f);  // at most 1
    p.apply_status({1, 5, 0, std::nullopt});    // total 0 keeps the progress
    EXPECT_FLOAT_EQ(p.reindex_progress, 1.0f);
    p.apply_status({2, 0, 0, uint64_t{1234}});
    EXPECT_EQ(p.reindex_state, ReindexState::Sweeping);
    EXPECT_EQ(p.entry_count, 1234u);
    p.apply_status({255, 0, 0, std::nullopt});
    EXPECT_EQ(p.reindex_state, ReindexState::Unreachable);
    EXPECT_FALSE(p.service_reachable);
    EXPECT_EQ(p.entry_count, 1234u);  // a poll without a count keeps the last one
    p.apply_status({3, 9, 9, std::nullopt});
    EXPECT_EQ(p.reindex_state, ReindexState::Ready);
    EXPECT_FLOAT_EQ(p.reindex_progress, 1.0f);
    EXPECT_TRUE(p.service_reachable);
    p.apply_status({0, 0, 0, std::nullopt});
    EXPECT_EQ(p.reindex_state, ReindexState::Ready);
    p.rebuild_requested();
    EXPECT_EQ(p.reindex_state, ReindexState::Progress);
    EXPECT_FLOAT_EQ(p.reindex_progress, 0.0f);
    EXPECT_TRUE(p.rebuilding());
}

TEST(SearchPage, EditingCharactersSurrogatesAndPaste) {
    SearchPage p;
    // A surrogate pair is one character; control characters are ignored.
    p.type_unit(u'a', 0);
    p.type_unit(0xD83D, 0);
    p.type_unit(0xDE00, 0);  // U+1F600
    p.type_unit(0x0009, 0);
    p.type_unit(0x007F, 0);
    p.type_unit(0x0085, 0);
    p.type_unit(u'b', 0);
    EXPECT_EQ(p.query, "a\xF0\x9F\x98\x80" "b");
    EXPECT_EQ(p.caret, 3u);
    EXPECT_EQ(p.char_count(), 3u);
    // A high half followed by anything but a low half: both dropped. A low half alone: dropped.
    p.type_unit(0xD83D, 0);
    p.type_unit(u'c', 0);
    p.type_unit(0xDE00, 0);
    EXPECT_EQ(p.char_count(), 3u);
    // Two high halves: both dropped, and the low half after them is alone.
    p.type_unit(0xD83D, 0);
    p.type_unit(0xD83D, 0);
    p.type_unit(0xDE00, 0);
    EXPECT_EQ(p.char_count(), 3u);
    // A key press between the halves forgets the high half.
    p.type_unit(0xD83D, 0);
    p.key(vk::Left, false, 7, 0);
    p.type_unit(0xDE00, 0);
    EXPECT_EQ(p.char_count(), 3u);
    // Left moved the caret before "b"; Backspace removes the whole emoji.
    p.key(vk::Back, false, 7, 10);
    EXPECT_EQ(p.query, "ab");
    EXPECT_EQ(p.caret, 1u);
    EXPECT_TRUE(p.query_dirty);
    EXPECT_EQ(p.last_edit_tick, 10u);
    p.key(vk::Delete, false, 7, 11);
    EXPECT_EQ(p.query, "a");
    p.key(vk::Delete, false, 7, 11);  // at the end: nothing to delete
    EXPECT_EQ(p.query, "a");
    p.key(vk::Home, false, 7, 12);
    p.type_unit(u'x', 13);
    EXPECT_EQ(p.query, "xa");
    p.key(vk::End, false, 7, 14);
    EXPECT_EQ(p.caret, 2u);
    p.key(vk::Right, false, 7, 14);
    EXPECT_EQ(p.caret, 2u);  // limited

    // Pasting a and b separated by CR LF inserts a, two spaces and b.
    p.paste(u"a\r\nb", 20);
    EXPECT_EQ(p.query, "xaa  b");
    EXPECT_EQ(p.caret, 6u);
    // Ctrl+A selects all (and puts the caret at the end); typing replaces everything.
    EXPECT_EQ(p.key(vk::A, false, 7, 0), SearchCommand::None);
    EXPECT_FALSE(p.select_all);
    p.key(vk::Home, false, 7, 0);
    p.key(vk::A, true, 7, 0);
    EXPECT_TRUE(p.select_all);
    EXPECT_EQ(p.caret, 6u);
    p.type_unit(u'q', 30);
    EXPECT_EQ(p.query, "q");
    EXPECT_FALSE(p.select_all);
    // Backspace and Delete with everything selected clear it.
    p.key(vk::A, true, 7, 0);
    p.key(vk::Delete, false, 7, 40);
    EXPECT_EQ(p.query, "");
    // Ctrl+A on an empty query selects nothing.
    p.key(vk::A, true, 7, 0);
    EXPECT_FALSE(p.select_all);
    // A paste is cut at 65,536 units; an unpaired surrogate becomes U+FFFD.
    std::u16string big(70000, u'z');
    p.paste(big, 50);
    EXPECT_EQ(p.char_count(), 65536u);
    p.reset_for_show();
    p.paste(u"\xD800x", 60);
    EXPECT_EQ(p.query, "\xEF\xBF\xBDx");
}

TEST(SearchPage, KeysReturnCommands) {
    SearchPage p;
    EXPECT_EQ(p.key(vk::Return, false, 7, 0), SearchCommand::Open);
    EXPECT_EQ(p.key(vk::Return, true, 7, 0), SearchCommand::OpenLocation);
    EXPECT_EQ(p.key(vk::C, true, 7, 0), SearchCommand::CopyPath);
    EXPECT_EQ(p.key(vk::V, true, 7, 0), SearchCommand::Paste);
    EXPECT_EQ(p.key(vk::F5, false, 7, 0), SearchCommand::Rebuild);
    EXPECT_EQ(p.key(vk::Escape, false, 7, 0), SearchCommand::Hide);
    EXPECT_EQ(p.key(0x70, false, 7, 0), SearchCommand::None);  // F1
    EXPECT_FALSE(p.query_dirty);
    // Page Up on an empty list gives 0; Down and Page Down on it do nothing.
    p.key(vk::Prior, false, 7, 0);
    p.key(vk::Next, false, 7, 0);
    p.key(vk::Down, false, 7, 0);
    EXPECT_EQ(p.selection, 0u);
    EXPECT_EQ(p.selected_row(), nullptr);
}

TEST(SearchPage, KeepVisibleWithEightRowsAt100) {
    ASSERT_EQ(k100.rows_per_page, 7u);
    SearchPage p;
    type(p, u"r", 0);
    ASSERT_TRUE(p.tick(260).search);
    std::vector<std::string> paths;
    for (char c = 'a'; c < 'a' + 8; ++c) paths.push_back(std::string("C:\\d\\") + c);
    p.apply_results(hits(1, paths), FakeDisk{}.inspector());
    const uint32_t page = k100.rows_per_page;
    for (int i = 0; i < 6; ++i) p.key(vk::Down, false, page, 0);
    EXPECT_EQ(p.selection, 6u);
    EXPECT_EQ(p.scroll, 0u);
    p.key(vk::Down, false, page, 0);  // from the last visible row: scrolls by one
    EXPECT_EQ(p.selection, 7u);
    EXPECT_EQ(p.scroll, 1u);
    p.key(vk::Down, false, page, 0);
    EXPECT_EQ(p.selection, 7u);  // limited
    p.key(vk::Prior, false, page, 0);
    EXPECT_EQ(p.selection, 0u);
    EXPECT_EQ(p.scroll, 0u);
    p.key(vk::Next, false, page, 0);
    EXPECT_EQ(p.selection, 7u);
    EXPECT_EQ(p.scroll, 1u);
    // The wheel: limited to 0..rows - page.
    p.wheel(-3, page);
    EXPECT_EQ(p.scroll, 0u);
    p.wheel(3, page);
    EXPECT_EQ(p.scroll, 1u);
    // Page 0 (a panel too small for one row): keep-visible does nothing.
    p.scroll = 0;
    p.keep_visible(0);
    EXPECT_EQ(p.scroll, 0u);
}

TEST(SearchPage, HeadClicksSortAndTheSelectionFollowsItsRow) {
    FakeDisk disk;
    disk.entries["C:\\d\\b.txt"] = {1536, 0, k2026 + kDay, 0};
    disk.entries["C:\\d\\A.txt"] = {1000, 0, k2026 + 3 * kDay, 0};
    disk.entries["C:\\d\\c.txt"] = {150ull << 20, 0, k2026 + 2 * kDay, 0};
    disk.entries["C:\\d\\sub"] = {0, kAttributeDirectory, k2026, 0};
    SearchPage p;
    type(p, u"x", 0);
    ASSERT_TRUE(p.tick(260).search);
    p.apply_results(hits(1, {"C:\\d\\b.txt", "C:\\d\\c.txt", "C:\\d\\A.txt", "C:\\d\\sub"}), disk.inspector());
    // Name ascending at start-up: the service's order is never shown as such.
    EXPECT_EQ(names_of(p), (std::vector<std::string>{"A.txt", "b.txt", "c.txt", "sub"}));
    const float heads_y = k100.heads_centre;
    TextEngine text(std::make_unique<nimbalo::gui::testing::FakeTextBackend>(802, 562, 1.0f));
    // Size: largest first, then smallest first.
    p.selection = 2;
    p.click(k100, text, k100.size_right - 10, heads_y, false);
    EXPECT_EQ(names_of(p), (std::vector<std::string>{"c.txt", "b.txt", "A.txt", "sub"}));
    EXPECT_EQ(p.sort_column, SortColumn::Size);
    EXPECT_TRUE(p.sort_descending);
    EXPECT_EQ(p.selection, 0u);
    p.click(k100, text, k100.size_right - 10, heads_y, false);
    EXPECT_EQ(names_of(p), (std::vector<std::string>{"sub", "A.txt", "b.txt", "c.txt"}));
    // Modified: newest first.
    p.click(k100, text, k100.date_right - 10, heads_y, false);
    EXPECT_EQ(names_of(p), (std::vector<std::string>{"A.txt", "c.txt", "b.txt", "sub"}));
    // Name: A to Z, then Z to A.
    p.click(k100, text, 100, heads_y, false);
    EXPECT_EQ(names_of(p), (std::vector<std::string>{"A.txt", "b.txt", "c.txt", "sub"}));
    EXPECT_FALSE(p.sort_descending);
    p.click(k100, text, 100, heads_y, false);
    EXPECT_EQ(names_of(p), (std::vector<std::string>{"sub", "c.txt", "b.txt", "A.txt"}));

    // sort_by keeps the selection on its row; a selection past the end becomes the last row.
    p.selection = 1;  // c.txt
    p.sort_by(SortColumn::Size, false);
    EXPECT_EQ(p.rows[p.selection].name, "c.txt");
    p.selection = 9;
    p.sort_by(SortColumn::Name, false);
    EXPECT_EQ(p.selection, 3u);
    // Equal keys keep their order (stable), also descending.
    std::vector<ResultRow> same(3);
    same[0].path = "1", same[1].path = "2", same[2].path = "3";
    sort_rows(same, SortColumn::Size, true, 0);
    EXPECT_EQ(same[0].path + same[1].path + same[2].path, "123");

    // A refreshed result keeps the selection on the same path.
    p.selection = 2;  // b.txt in Name ascending
    const std::string chosen = p.rows[2].path;
    type(p, u"y", 1000);
    ASSERT_TRUE(p.tick(1300).search);
    p.apply_results(hits(2, {"C:\\d\\sub", "C:\\d\\b.txt", "C:\\d\\c.txt", "C:\\d\\A.txt"}), disk.inspector(), 7);
    EXPECT_EQ(p.rows[p.selection].path, chosen);
    // A new result without the selected path starts at the top row, whatever the service's order.
    type(p, u"z", 2000);
    ASSERT_TRUE(p.tick(2300).search);
    p.apply_results(hits(3, {"C:\\d\\sub", "C:\\d\\b.txt"}), disk.inspector(), 7);
    EXPECT_EQ(p.selection, 0u);
    EXPECT_EQ(p.rows[0].name, "b.txt");
    // The followed row is scrolled into view: 20 rows, the selected one sorting last.
    std::vector<std::string> many;
    for (int i = 0; i < 20; ++i) many.push_back("C:\\m\\" + std::string(1, char('a' + i)));
    type(p, u"m", 3000);
    ASSERT_TRUE(p.tick(3300).search);
    p.apply_results(hits(4, many), disk.inspector(), 7);
    p.selection = 19;  // "t"
    type(p, u"m", 4000);
    ASSERT_TRUE(p.tick(4300).search);
    std::reverse(many.begin(), many.end());
    p.apply_results(hits(5, many), disk.inspector(), 7);
    EXPECT_EQ(p.selection, 19u);
    EXPECT_EQ(p.scroll, 13u);
}

TEST(SearchPage, MouseHitsHoverAndCaret) {
    const SearchLayout& l = k100;
    SearchPage p;
    TextEngine text(std::make_unique<nimbalo::gui::testing::FakeTextBackend>(802, 562, 1.0f));
    int cursor = -1;
    // The button (within 21 px of its centre), the query box, elsewhere.
    EXPECT_TRUE(p.mouse_move(l, l.button_x + 20, l.button_y, cursor));
    EXPECT_EQ(cursor, 1);
    EXPECT_TRUE(p.refresh_hover);
    EXPECT_FALSE(p.mouse_move(l, l.button_x + 19, l.button_y, cursor));  // no change, no repaint
    EXPECT_EQ(p.click(l, text, l.button_x, l.button_y + 21, false), SearchCommand::Rebuild);
    EXPECT_TRUE(p.mouse_move(l, 100, 40, cursor));
    EXPECT_EQ(cursor, 2);
    p.mouse_move(l, 30, 300, cursor);
    EXPECT_EQ(cursor, 0);
    // No rows: the head band is not a head.
    EXPECT_EQ(hit_test(l, 100, l.heads_centre, 0, 0).kind, SearchHit::None);
    EXPECT_EQ(hit_test(l, 100, l.heads_centre, 3, 0).kind, SearchHit::HeadName);
    EXPECT_EQ(hit_test(l, l.size_column_x - 1, l.heads_centre, 3, 0).kind, SearchHit::HeadName);
    EXPECT_EQ(hit_test(l, l.size_column_x, l.heads_centre, 3, 0).kind, SearchHit::HeadSize);
    EXPECT_EQ(hit_test(l, l.date_column_x, l.heads_centre, 3, 0).kind, SearchHit::HeadModified);
    EXPECT_EQ(hit_test(l, l.heads_x1, l.heads_centre, 3, 0).kind, SearchHit::None);

    type(p, u"abcd", 0);
    ASSERT_TRUE(p.tick(300).search);
    std::vector<std::string> paths;
    for (int i = 0; i < 10; ++i) paths.push_back("C:\\f\\" + std::to_string(i));
    p.apply_results(hits(1, paths), FakeDisk{}.inspector());
    // Rows: the gap between boxes is no row; scroll counts.
    EXPECT_EQ(hit_test(l, 100, 103, 10, 0).kind, SearchHit::Row);
    EXPECT_EQ(hit_test(l, 100, 153, 10, 0).kind, SearchHit::None);  // 103 + 50: between rows
    EXPECT_EQ(hit_test(l, 100, 157, 10, 2).row, 3u);
    EXPECT_EQ(hit_test(l, 100, 157, 2, 1).kind, SearchHit::None);  // past the last row
    EXPECT_TRUE(p.mouse_move(l, 100, 160, cursor));
    EXPECT_EQ(cursor, 1);
    EXPECT_TRUE(p.hover_row_active);
    EXPECT_EQ(p.hover_row, 1u);
    EXPECT_EQ(p.click(l, text, 100, 160, false), SearchCommand::None);
    EXPECT_EQ(p.selection, 1u);
    EXPECT_EQ(p.click(l, text, 100, 215, true), SearchCommand::Open);
    EXPECT_EQ(p.selection, 2u);
    EXPECT_EQ(p.right_click(l, 100, 270), std::optional<uint32_t>(3));
    EXPECT_EQ(p.selection, 3u);
    EXPECT_FALSE(p.right_click(l, 100, 40));

    // The caret goes to the nearest boundary: the fake font advances 11.55 px per character
    // with a 1 px bearing; "ab" measures 22.1, "abc" 33.65.
    p.click(l, text, l.query_x + 24, 40, false);
    EXPECT_EQ(p.caret, 2u);
    p.click(l, text, l.query_x + 30, 40, false);
    EXPECT_EQ(p.caret, 3u);
    p.click(l, text, l.query_x - 30, 40, false);
    EXPECT_EQ(p.caret, 0u);
    p.click(l, text, l.query_x + 500, 40, false);
    EXPECT_EQ(p.caret, 4u);
    // A double click selects all with the caret at the end; a single click clears that.
    p.key(vk::Home, false, 7, 0);
    p.click(l, text, 300, 40, true);
    EXPECT_TRUE(p.select_all);
    EXPECT_EQ(p.caret, 4u);
    p.click(l, text, l.query_x + 1, 40, false);
    EXPECT_FALSE(p.select_all);
    EXPECT_EQ(p.caret, 0u);
}

TEST(SearchPage, ShowResetsTheQueryButKeepsSortAndService) {
    SearchPage p;
    type(p, u"abc", 0);
    p.tick(300);
    p.apply_results(hits(1, {"C:\\x"}), FakeDisk{}.inspector());
    p.sort_by(SortColumn::Size, true);
    p.apply_status({2, 0, 0, uint64_t{77}});
    p.icon_cache.insert("dir", std::nullopt);
    p.hover_row_active = p.refresh_hover = p.select_all = true;
    p.reset_for_show();
    EXPECT_EQ(p.query, "");
    EXPECT_EQ(p.caret, 0u);
    EXPECT_FALSE(p.select_all || p.hover_row_active || p.refresh_hover || p.query_dirty);
    EXPECT_TRUE(p.rows.empty());
    EXPECT_EQ(p.selection + p.scroll, 0u);
    EXPECT_EQ(p.sort_column, SortColumn::Size);
    EXPECT_TRUE(p.sort_descending);
    EXPECT_EQ(p.entry_count, 77u);
    EXPECT_EQ(p.reindex_state, ReindexState::Sweeping);
    EXPECT_EQ(p.icon_cache.size(), 1u);
}

TEST(SearchPage, LongQueryScrollsAndClicksLandWhereTheTextIs) {
    const SearchLayout& l = k100;
    TextEngine text(std::make_unique<nimbalo::gui::testing::FakeTextBackend>(802, 562, 1.0f));
    SearchPage p;
    // 80 characters of 11.55 px: 923 px of text in 664 px of room.
    type(p, std::u16string(80, u'w'), 0);
    const float width = 80 * 11.55f - 1;
    EXPECT_NEAR(p.query_offset(l, text), 7 + width - 664, 0.01);
    p.key(vk::Home, false, 7, 0);
    EXPECT_FLOAT_EQ(p.query_offset(l, text), 0);
    // With the caret at the end, the text is shifted left by the offset: a click at the box's
    // right edge lands near the end of the text, not at character 57 of the unshifted text.
    p.key(vk::End, false, 7, 0);
    const float u = p.query_offset(l, text);
    p.click(l, text, l.query_x + 600, 40, false);
    EXPECT_EQ(p.caret, static_cast<uint32_t>(std::lround((600 + u + 1) / 11.55f)));
    EXPECT_GT(p.caret, 70u);
}
