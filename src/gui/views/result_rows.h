// The rows of the result list: one per hit path, built once when a result arrives (the path split
// into name and folder, the file inspected on disk for its size and last-write time, both turned
// into the texts the list shows), and the stable sort by the chosen column with the selection
// following its row. The disk is reached only through an injected inspector, so everything here
// is pure and testable with a fake file system. Thread-safe as plain functions over values.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbalo::gui {

struct ResultRow {
    std::string path;       // the full path as the service returned it
    std::string name;       // last path component
    std::string folder;     // the path before the last "\"
    std::string size_text;  // "Folder", "Missing" or the formatted size
    std::string date_text;  // "YYYY-MM-DD HH:MM" (UTC), or empty
    std::string sort_name;  // name, Unicode lower-cased
    uint64_t size = 0;      // bytes; 0 for folders and missing files
    uint64_t modified = 0;  // last-write FILETIME; 0 when unknown or before 1970
    bool is_folder = false; // a directory that is not a symbolic link or junction
    bool missing = false;   // the path could not be inspected
};

// What the file system says about one path.
struct DiskEntry {
    uint64_t size = 0;
    uint32_t attributes = 0;   // FILE_ATTRIBUTE_* bits
    uint64_t last_write = 0;   // FILETIME
    uint32_t reparse_tag = 0;  // meaningful only with the reparse-point attribute
};
inline constexpr uint32_t kAttributeDirectory = 0x10;
inline constexpr uint32_t kAttributeReparsePoint = 0x400;
inline constexpr uint32_t kReparseTagNameSurrogate = 0x20000000;  // symbolic links, junctions

// None when the path cannot be inspected (deleted since indexing, or inaccessible).
using DiskInspector = std::function<std::optional<DiskEntry>(const std::string& path)>;

// Splits at the last "\": folder before it, name after it; without one the name is the whole
// path; a trailing "\" (a root such as "C:\") keeps the whole path as the name.
void split_path(std::string_view path, std::string& folder, std::string& name);

// "{} B" below 1024 bytes; else KB, MB, GB or TB, one decimal below 100, none from 100 on.
std::string size_text(uint64_t bytes);
// The first 16 characters of "YYYY-MM-DD HH:MM:SS" in UTC; empty for 0.
std::string date_text(uint64_t filetime);

ResultRow make_row(const std::string& path, const DiskInspector& inspect);
std::vector<ResultRow> make_rows(const std::vector<std::string>& paths, const DiskInspector& inspect);

enum class SortColumn : uint8_t { Name = 0, Size = 1, Modified = 2 };

// Stable sort by the column (descending reverses the comparison). The selection index follows
// the row it pointed at (the first row with that path); an index past the end becomes the last
// index (0 for an empty list). Returns the new selection.
uint32_t sort_rows(std::vector<ResultRow>& rows, SortColumn column, bool descending, uint32_t selection);

}  // namespace nimbalo::gui
