#include "gui/views/search_texts.h"

#include <cmath>

namespace nimbalo::gui {

namespace {
// “{}” in curly double quotes.
std::string curly(std::string_view text) { return "\xE2\x80\x9C" + std::string(text) + "\xE2\x80\x9D"; }
}  // namespace

std::string grouped(uint64_t n) {
    std::string digits = std::to_string(n), out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

SearchMessage search_message(const SearchPage& page) {
    const std::string query = page.trimmed_query();
    if (page.search_error) return {std::string(glyph::Error), "That search could not be read", *page.search_error};
    if (page.reindex_state == ReindexState::Unreachable)
        return {std::string(glyph::Error), "The search service is not running",
                "Run \xE2\x80\x9Cnimbalo install\xE2\x80\x9D as administrator to start it"};
    if (!query.empty() && page.searching)
        return {std::string(glyph::Search), "Searching for " + curly(query), "Results will appear as soon as the index answers"};
    if (!query.empty())
        return {std::string(glyph::Search), "No results for " + curly(query), "Try a shorter search, or part of the file name"};
    if (page.rebuilding())
        return {std::string(glyph::Build), "Building the search index",
                page.entry_count > 0 ? grouped(page.entry_count) + " files are already searchable"
                                     : "Your files will appear as you type"};
    return {std::string(glyph::Search), "Search your PC, instantly",
            page.entry_count > 0 ? grouped(page.entry_count) + " files and folders indexed" : "Type a file name to begin"};
}

std::string footer_status(const SearchPage& page) {
    const std::string query = page.trimmed_query();
    switch (page.reindex_state) {
        case ReindexState::Progress:
            return "Indexing C: \xE2\x80\x94 " + std::to_string(std::lround(100.0 * page.reindex_progress)) + "%";
        case ReindexState::Sweeping:
            return "Indexing C: \xE2\x80\x94 building the index";
        case ReindexState::Unreachable:
            return "Search service offline";
        default:
            break;
    }
    if (!query.empty() && page.searching) return "Searching\xE2\x80\xA6";
    if (!query.empty()) {
        if (page.rows.empty()) return "No results";
        if (page.rows.size() == 1) return "1 result";
        return grouped(page.rows.size()) + " results";
    }
    if (page.entry_count > 0) return grouped(page.entry_count) + " files indexed";
    return "Nimbalo";
}

std::string column_head(const SearchPage& page, SortColumn column) {
    static const char* const names[] = {"Name", "Size", "Modified"};
    std::string head = names[static_cast<int>(column)];
    if (page.sort_column == column) head += page.sort_descending ? " \xE2\x86\x93" : " \xE2\x86\x91";
    return head;
}

std::string explorer_path(std::string_view windows_folder) {
    std::string path(windows_folder);
    while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    if (path.empty()) return {};  // no Windows folder: no command at all
    return path + "\\explorer.exe";
}

std::string explorer_select_parameters(std::string_view path) { return "/select,\"" + std::string(path) + "\""; }

}  // namespace nimbalo::gui
