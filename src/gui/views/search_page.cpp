#include "gui/views/search_page.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/text.h"
#include "common/unicode.h"

namespace nimbalo::gui {

namespace {

// Byte offset of character `index` (clamped to the end).
size_t byte_offset(std::string_view text, uint32_t index) {
    size_t pos = 0;
    for (uint32_t i = 0; i < index && pos < text.size(); ++i) pos += utf8_decode_step(text, pos).len;
    return pos;
}

uint32_t count_chars(std::string_view text) {
    uint32_t n = 0;
    for (size_t pos = 0; pos < text.size(); ++n) pos += utf8_decode_step(text, pos).len;
    return n;
}

bool is_ignored_control(char32_t cp) { return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F); }

}  // namespace

uint32_t SearchPage::char_count() const { return count_chars(query); }

std::string SearchPage::trimmed_query() const {
    std::string_view q = query;
    size_t begin = 0, end = q.size();
    while (begin < end) {
        const Utf8Step st = utf8_decode_step(q, begin);
        if (!is_white_space(st.cp)) break;
        begin += st.len;
    }
    while (end > begin) {
        size_t start = end - 1;
        while (start > begin && !is_utf8_boundary(q, start)) --start;
        if (!is_white_space(utf8_decode_step(q, start).cp)) break;
        end = start;
    }
    return std::string(q.substr(begin, end - begin));
}

void SearchPage::type_unit(char16_t unit, uint64_t now) {
    char32_t cp = unit;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        if (pending_high_surrogate)
            pending_high_surrogate.reset();  // two high halves: both dropped
        else
            pending_high_surrogate = unit;
        return;
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
        if (!pending_high_surrogate) return;  // a low half alone
        cp = 0x10000 + ((char32_t(*pending_high_surrogate) - 0xD800) << 10) + (char32_t(unit) - 0xDC00);
        pending_high_surrogate.reset();
    } else if (pending_high_surrogate) {
        pending_high_surrogate.reset();  // the high half and this character are both dropped
        return;
    }
    if (is_ignored_control(cp)) return;
    std::string utf8;
    append_utf8(utf8, cp);
    insert_text(utf8, now);
}

void SearchPage::insert_text(std::string_view text, uint64_t now) {
    if (select_all) {
        query.clear();
        caret = 0;
        select_all = false;
    }
    caret = std::min(caret, char_count());
    query.insert(byte_offset(query, caret), text);
    caret += count_chars(text);
    query_dirty = true;
    last_edit_tick = now;
}

void SearchPage::paste(std::u16string_view clipboard, uint64_t now) {
    std::string text = utf16_to_utf8(clipboard.substr(0, std::min(clipboard.size(), kPasteMaxUnits)));
    std::replace(text.begin(), text.end(), '\r', ' ');
    std::replace(text.begin(), text.end(), '\n', ' ');
    if (!text.empty()) insert_text(text, now);
}

SearchCommand SearchPage::key(uint32_t virtual_key, bool ctrl, uint32_t rows_per_page, uint64_t now) {
    pending_high_surrogate.reset();
    const uint32_t count = char_count();
    auto edited = [&] {
        query_dirty = true;
        last_edit_tick = now;
    };
    auto erase_char = [&](uint32_t index) {
        const size_t from = byte_offset(query, index);
        query.erase(from, byte_offset(query, index + 1) - from);
    };
    const auto last_row = [&] { return rows.empty() ? 0u : static_cast<uint32_t>(rows.size() - 1); };
    switch (virtual_key) {
        case vk::Back:
        case vk::Delete:
            if (select_all) {
                query.clear();
                caret = 0;
                select_all = false;
            } else {
                caret = std::min(caret, count);
                if (virtual_key == vk::Back && caret > 0) erase_char(--caret);
                if (virtual_key == vk::Delete && caret < count) erase_char(caret);
            }
            edited();
            return SearchCommand::None;
        case vk::Left:
        case vk::Right:
            caret = std::min(caret, count);
            if (virtual_key == vk::Left && caret > 0) --caret;
            if (virtual_key == vk::Right && caret < count) ++caret;
            select_all = false;
            return SearchCommand::None;
        case vk::Home:
        case vk::End:
            caret = virtual_key == vk::Home ? 0 : count;
            select_all = false;
            return SearchCommand::None;
        case vk::A:
            if (ctrl && count > 0) {
                select_all = true;
                caret = count;
            }
            return SearchCommand::None;
        case vk::C:
            return ctrl ? SearchCommand::CopyPath : SearchCommand::None;
        case vk::V:
            return ctrl ? SearchCommand::Paste : SearchCommand::None;
        case vk::Up:
        case vk::Down:
            if (rows.empty()) return SearchCommand::None;
            if (virtual_key == vk::Up && selection > 0) --selection;
            if (virtual_key == vk::Down) ++selection;
            selection = std::min(selection, last_row());
            keep_visible(rows_per_page);
            return SearchCommand::None;
        case vk::Prior:
        case vk::Next: {
            const uint32_t step = std::max(rows_per_page, 1u);
            if (virtual_key == vk::Prior)
                selection = selection > step ? selection - step : 0;
            else
                selection = selection + step;
            selection = std::min(selection, last_row());
            keep_visible(rows_per_page);
            return SearchCommand::None;
        }
        case vk::Return:
            return ctrl ? SearchCommand::OpenLocation : SearchCommand::Open;
        case vk::F5:
            return SearchCommand::Rebuild;
        case vk::Escape:
            return SearchCommand::Hide;
        default:
            return SearchCommand::None;
    }
}

void SearchPage::keep_visible(uint32_t page) {
    if (page == 0) return;
    if (selection < scroll)
        scroll = selection;
    else if (selection >= scroll + page)
        scroll = selection + 1 - page;
    const uint32_t count = static_cast<uint32_t>(rows.size());
    scroll = std::min(scroll, count > page ? count - page : 0u);
}

void SearchPage::wheel(int delta, uint32_t page) {
    const uint32_t count = static_cast<uint32_t>(rows.size());
    const int64_t limit = count > page ? count - page : 0;
    scroll = static_cast<uint32_t>(std::clamp<int64_t>(int64_t{scroll} + delta, 0, limit));
}

SearchPage::Tick SearchPage::tick(uint64_t now) {
    Tick t;
    if (!query_dirty || now < last_edit_tick || now - last_edit_tick < kSearchDebounceMs) return t;
    query_dirty = false;
    std::string trimmed = trimmed_query();
    if (!trimmed.empty()) {
        ++search_id;
        searching = true;
        search_error.reset();
        t.search = job::Search{search_id, std::move(trimmed)};
    } else {
        rows.clear();
        searching = false;
        selection = scroll = 0;
        hover_row_active = false;
    }
    t.repaint = true;
    return t;
}

bool SearchPage::apply_results(const event::SearchResults& results, const DiskInspector& inspect, uint32_t rows_per_page) {
    if (results.id != search_id) return false;
    searching = false;
    search_error = results.error && !results.error->empty() ? results.error : std::nullopt;
    if (!results.hits) {
        service_reachable = false;
        reindex_state = ReindexState::Unreachable;
        rows.clear();
        selection = scroll = 0;
        hover_row_active = false;
        return true;
    }
    service_reachable = true;
    // The selection follows the path it was on (a refresh or a narrower query keeps it), never a
    // row the service happened to list at the old index: that row sorts anywhere, out of view.
    const std::string selected = selected_row() ? selected_row()->path : std::string();
    rows = make_rows(*results.hits, inspect);
    (void)sort_rows(rows, sort_column, sort_descending, 0);
    selection = 0;
    for (size_t i = 0; i < rows.size() && !selected.empty(); ++i)
        if (rows[i].path == selected) {
            selection = static_cast<uint32_t>(i);
            break;
        }
    scroll = 0;
    keep_visible(rows_per_page);
    hover_row_active = false;
    if (reindex_state == ReindexState::Unreachable) reindex_state = ReindexState::Ready;
    return true;
}

bool SearchPage::apply_status(const event::ServiceStatus& status) {
    const ReindexState before = reindex_state;
    const long before_progress = std::lround(1000.0 * reindex_progress);
    const uint64_t before_count = entry_count;
    switch (status.state) {
        case 1:
            reindex_state = ReindexState::Progress;
            if (status.total > 0)
                reindex_progress = static_cast<float>(std::min(1.0, double(status.done) / double(status.total)));
            break;
        case 2:
            reindex_state = ReindexState::Sweeping;
            break;
        case event::ServiceStatus::kUnreachable:
            reindex_state = ReindexState::Unreachable;
            break;
        default:
            reindex_state = ReindexState::Ready;
            reindex_progress = 1;
            break;
    }
    service_reachable = status.state != event::ServiceStatus::kUnreachable;
    if (status.entries) entry_count = *status.entries;
    return reindex_state != before || std::lround(1000.0 * reindex_progress) != before_progress || entry_count != before_count;
}

void SearchPage::rebuild_requested() {
    reindex_state = ReindexState::Progress;
    reindex_progress = 0;
}

void SearchPage::sort_by(SortColumn column, bool descending) {
    sort_column = column;
    sort_descending = descending;
    selection = sort_rows(rows, column, descending, selection);
}

void SearchPage::reset_for_show() {
    query.clear();
    caret = 0;
    select_all = query_dirty = false;
    pending_high_surrogate.reset();
    rows.clear();
    selection = scroll = 0;
    hover_row_active = refresh_hover = false;
    hover_row = 0;
    // A search still on its way belongs to the query just cleared: its result is stale now.
    if (searching) ++search_id;
    searching = false;
    search_error.reset();
}

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u{%x}", static_cast<unsigned>(c));
                    out += buf;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

std::string search_request_log(const job::Search& search) {
    return "search request #" + std::to_string(search.id) + " " + quoted(search.query);
}

std::string search_result_log(const event::SearchResults& results, uint64_t current) {
    return "search result #" + std::to_string(results.id) + " (current #" + std::to_string(current) + ") -> " +
           std::to_string(results.hits ? results.hits->size() : 0) + " hits";
}

}  // namespace nimbalo::gui
