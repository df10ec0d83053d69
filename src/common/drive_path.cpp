#include "common/drive_path.h"

namespace nimbalo {

bool is_drive_path(std::string_view path) {
    if (path.size() < 3 || path[1] != ':' || path[2] != '\\') return false;
    const char c = path[0];
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::string_view last_component(std::string_view path) {
    const size_t cut = path.find_last_of('\\');
    if (cut == std::string_view::npos || cut + 1 >= path.size()) return path;
    return path.substr(cut + 1);
}

}  // namespace nimbalo
