// The Search page's states for the render harness: idle with the entry count, searching, results
// (selection, hover, scrollbar), sorted by each column, missing files, the service offline, a
// search error, a rebuild with and without progress. Icons are drawn stand-ins (the shell's
// icons are the launcher's business); one extension has none, so its rows show the glyph.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "gui/canvas/shapes.h"
#include "gui/render/render_support.h"
#include "gui/views/search_paint.h"

namespace nimbalo::gui::render {

namespace {

constexpr uint64_t kDay = 864000000000ull;
constexpr uint64_t k2026 = 134116992000000000ull;  // 2026-01-01 00:00 UTC

struct Hit {
    const char* path;
    uint64_t size;
    int days;  // after 2026-01-01
    bool folder;
    bool missing;
};

const Hit kHits[] = {
    {"C:\\Users\\me\\Documents\\Finance\\2026\\quarterly-report-2026-Q3.xlsx", 48312, 270, false, false},
    {"C:\\Users\\me\\Documents\\Board\\Quarterly Report (final, approved by the board of directors).docx", 1536, 281, false, false},
    {"C:\\Users\\me\\Documents\\Templates\\report-template.dotx", 1000, 12, false, false},
    {"C:\\Users\\me\\Downloads\\quarterly.pdf", 157286400, 301, false, false},
    {"C:\\Users\\me\\Documents\\Отчёт за квартал.docx", 220160, 190, false, false},
    {"C:\\Users\\me\\Documents\\reports", 0, 300, true, false},
    {"C:\\Users\\me\\OneDrive\\Company Shared\\Board\\Minutes and reports\\2026\\Third quarter\\report – résumé été.pptx",
     8912896, 288, false, false},
    {"C:\\Users\\me\\Notes\\Q4 report draft.md", 734, 333, false, false},
    {"C:\\Users\\me\\Desktop\\report.lnk", 2048, 20, false, false},
    {"C:\\Users\\me\\Documents\\old report.doc", 0, 0, false, true},
    {"C:\\Projects\\nimbalo\\build\\report.json", 5242880000, 330, false, false},
    {"C:\\Users\\me\\Pictures\\report cover.png", 3355443, 150, false, false},
};

Icon make_icon(uint32_t hex, bool folder) {
    Canvas c(kIconSize, kIconSize);
    if (folder) {
        fill_rounded_rect(c, 2, 6, 13, 6, 2, rgb(0xE8B84A, 1));
        fill_rounded_rect(c, 2, 9, 28, 19, 3, rgb(0xF4CB5B, 1));
    } else {
        fill_rounded_rect(c, 6, 2, 20, 28, 3, rgb(0xF2F2F2, 1));
        fill_rounded_rect(c, 6, 17, 20, 9, 2, rgb(hex, 1));
    }
    return Icon{c.pixels};
}

SearchPage results_page(const std::vector<Hit>& hits) {
    std::map<std::string, DiskEntry> disk;
    std::vector<std::string> paths;
    for (const Hit& h : hits) {
        paths.push_back(h.path);
        if (!h.missing) disk[h.path] = {h.size, h.folder ? kAttributeDirectory : 0x20u, k2026 + uint64_t(h.days) * kDay + 5400ull * 10000000, 0};
    }
    SearchPage p;
    p.query = "report";
    p.caret = 6;
    p.search_id = 1;
    p.entry_count = 1284311;
    p.reindex_state = ReindexState::Ready;
    p.apply_results({1, paths, std::nullopt}, [&disk](const std::string& path) -> std::optional<DiskEntry> {
        auto it = disk.find(path);
        if (it == disk.end()) return std::nullopt;
        return it->second;
    });
    return p;
}

}  // namespace

void render_search(const Scene& sc) {
    const WindowGeometry g = window_geometry(sc.s);
    const SearchLayout l = search_layout(g);
    const Icon folder = make_icon(0, true), red = make_icon(0xD9463B, false), blue = make_icon(0x2B6CD9, false),
               green = make_icon(0x2E9E5B, false), orange = make_icon(0xD9822B, false), grey = make_icon(0x8A8A8A, false);
    const IconLookup icons = [&](const ResultRow& row) -> const Icon* {
        if (row.is_folder) return &folder;
        const std::string key = icon_cache_key(row);
        if (key == "ext:pdf") return &red;
        if (key == "ext:docx" || key == "ext:doc" || key == "ext:dotx") return &blue;
        if (key == "ext:xlsx") return &green;
        if (key == "ext:pptx") return &orange;
        if (key == "ext:json" || key == "ext:png") return &grey;
        return nullptr;  // .md, .lnk: the glyph
    };
    auto shot = [&](const std::string& name, const SearchPage& page, SearchPaintContext ctx) {
        Canvas frame = sc.glass;
        paint_search(frame, sc.text, l, page, ctx, icons);
        write_png("search-" + name + sc.sfx, over(frame, sc.desk));
    };
    const SearchPaintContext focused{true, true, 0};

    SearchPage idle;
    idle.entry_count = 1284311;
    idle.reindex_state = ReindexState::Ready;
    shot("idle", idle, focused);

    SearchPage searching = idle;
    searching.query = "quarterly report";
    searching.caret = 16;
    searching.searching = true;
    shot("searching", searching, focused);

    const std::vector<Hit> all(std::begin(kHits), std::end(kHits));
    SearchPage results = results_page(all);
    results.selection = 2;
    results.hover_row_active = true;
    results.hover_row = 4;
    results.refresh_hover = true;
    shot("results", results, focused);

    SearchPage by_size = results_page(all);
    by_size.sort_by(SortColumn::Size, true);
    by_size.selection = 0;
    shot("sorted-size", by_size, focused);
    SearchPage by_date = results_page(all);
    by_date.sort_by(SortColumn::Modified, true);
    by_date.selection = 1;
    by_date.scroll = 3;
    shot("sorted-modified", by_date, {false, false, 0});

    std::vector<Hit> gone = {all[9], all[3], all[1]};
    gone[1].missing = gone[2].missing = true;
    SearchPage missing = results_page(gone);
    missing.selection = 1;
    shot("missing", missing, focused);

    SearchPage offline;
    offline.reindex_state = ReindexState::Unreachable;
    offline.service_reachable = false;
    offline.query = "invoice";
    offline.caret = 7;
    shot("offline", offline, focused);

    SearchPage error = idle;
    error.query = "regex:(unclosed";
    error.caret = 15;
    error.select_all = true;
    error.search_error = "regex: missing ): (unclosed";
    shot("error", error, focused);

    SearchPage rebuilding;
    rebuilding.reindex_state = ReindexState::Progress;
    rebuilding.reindex_progress = 0.42f;
    rebuilding.entry_count = 538000;
    shot("rebuilding-42", rebuilding, focused);
    rebuilding.reindex_state = ReindexState::Sweeping;
    shot("rebuilding-sweep", rebuilding, {true, false, 600});
}

void bench_search(const Scene& sc, int repaints) {
    const SearchLayout l = search_layout(window_geometry(sc.s));
    const Icon icon = make_icon(0x2B6CD9, false);
    const IconLookup icons = [&](const ResultRow&) { return &icon; };
    SearchPage page = results_page(std::vector<Hit>(std::begin(kHits), std::end(kHits)));
    page.selection = 2;
    page.hover_row_active = true;
    page.hover_row = 4;
    Canvas frame = sc.glass;
    paint_search(frame, sc.text, l, page, {true, true, 0}, icons);  // warms the caches
    double total = 0, best = 1e9;
    for (int i = 0; i < repaints; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        std::memcpy(frame.pixels.data(), sc.glass.pixels.data(), sc.glass.pixels.size() * 4);
        paint_search(frame, sc.text, l, page, {true, (i & 1) == 0, 0}, icons);  // the caret blinks
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        total += ms;
        best = std::min(best, ms);
    }
    std::printf("search page repaint %dx%d, 7 rows, warm caches: mean %.3f ms, best %.3f ms over %d\n", sc.W, sc.H,
                total / repaints, best, repaints);
}

}  // namespace nimbalo::gui::render
