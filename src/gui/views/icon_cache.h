// Shell icons of the result list: the cache key of a row (one icon per extension, one per file
// for the few types whose icon is their own), the bounded cache (emptied wholesale when it holds
// more than 600 entries) and the rule that turns the two drawings of an icon (DI_NORMAL, DI_MASK
// into a black 32 x 32 DIB) into premultiplied pixels. The extraction itself is the Win32
// layer's. Pure; not thread-safe (the window thread owns the cache).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "gui/views/result_rows.h"

namespace nimbalo::gui {

inline constexpr int kIconSize = 32;

// 32 x 32 premultiplied BGRA pixels, top row first.
struct Icon {
    std::vector<uint32_t> pixels;
};

// "dir" for folders; the lower-cased full path for exe, lnk, ico, msi, scr and cpl files;
// otherwise "ext:" and the lower-cased extension ("ext:" alone without one).
std::string icon_cache_key(const ResultRow& row);

class IconCache {
public:
    static constexpr size_t kLimit = 600;
    // Null when the key was never looked up.
    const std::optional<Icon>* find(const std::string& key) const;
    // Stores an icon or the mark that there is none; a cache already holding more than kLimit
    // entries is emptied first.
    const std::optional<Icon>& insert(const std::string& key, std::optional<Icon> icon);
    size_t size() const { return entries_.size(); }

private:
    std::unordered_map<std::string, std::optional<Icon>> entries_;
};

// The pixels of an icon from its DI_NORMAL drawing and, when that succeeded, its DI_MASK drawing
// (both 32 x 32, drawn over black, alpha in the top byte). An icon without alpha (every alpha 0)
// with a mask: alpha 255 where the mask's first byte is below 128, else 0, colours multiplied by
// it. Otherwise the colours are premultiplied by their own alpha.
Icon icon_from_drawings(std::span<const uint32_t> normal, std::optional<std::span<const uint32_t>> mask);

}  // namespace nimbalo::gui
