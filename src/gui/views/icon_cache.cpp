#include "gui/views/icon_cache.h"

#include "common/unicode.h"

namespace nimbalo::gui {

std::string icon_cache_key(const ResultRow& row) {
    if (row.is_folder) return "dir";
    const size_t dot = row.name.rfind('.');
    const std::string ext = dot == std::string::npos ? std::string() : to_lower_full(std::string_view(row.name).substr(dot + 1));
    for (const char* own : {"exe", "lnk", "ico", "msi", "scr", "cpl"})
        if (ext == own) return to_lower_full(row.path);
    return "ext:" + ext;
}

const std::optional<Icon>* IconCache::find(const std::string& key) const {
    const auto it = entries_.find(key);
    return it == entries_.end() ? nullptr : &it->second;
}

const std::optional<Icon>& IconCache::insert(const std::string& key, std::optional<Icon> icon) {
    if (entries_.size() > kLimit) entries_.clear();
    auto& slot = entries_[key];
    slot = std::move(icon);
    return slot;
}

Icon icon_from_drawings(std::span<const uint32_t> normal, std::optional<std::span<const uint32_t>> mask) {
    Icon icon;
    icon.pixels.assign(normal.begin(), normal.end());
    bool any_alpha = false;
    for (uint32_t p : normal) any_alpha |= (p >> 24) != 0;
    const bool use_mask = !any_alpha && mask && mask->size() >= normal.size();
    for (size_t i = 0; i < icon.pixels.size(); ++i) {
        const uint32_t p = icon.pixels[i];
        const uint32_t a = use_mask ? (((*mask)[i] & 0xFF) < 128 ? 255u : 0u) : p >> 24;
        auto mul = [a](uint32_t c) { return (c * a + 127) / 255; };
        icon.pixels[i] = (a << 24) | (mul((p >> 16) & 0xFF) << 16) | (mul((p >> 8) & 0xFF) << 8) | mul(p & 0xFF);
    }
    return icon;
}

}  // namespace nimbalo::gui
