#include "mcp/tools.h"

#include <chrono>

#include "common/text.h"
#include "common/drive_path.h"
#include "common/percent_encoding.h"
#include "mcp/rows.h"

namespace nimbalo::mcp {

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

const Json* member(const Json& args, const char* key) {
    if (!args.is_object()) return nullptr;
    const auto it = args.find(key);
    return it == args.end() ? nullptr : &*it;
}

std::optional<uint64_t> non_negative_integer(const Json* v) {
    if (!v) return std::nullopt;
    if (v->is_number_unsigned()) return v->get<uint64_t>();
    if (v->is_number_integer() && v->get<int64_t>() >= 0) return uint64_t(v->get<int64_t>());
    return std::nullopt;
}

// The letter of a non-empty `drive` string, upper-cased; nullopt when absent or empty.
std::optional<char> requested_drive(const Json& args) {
    const Json* v = member(args, "drive");
    if (!v || !v->is_string()) return std::nullopt;
    const auto& s = v->get_ref<const std::string&>();
    if (s.empty()) return std::nullopt;
    char c = s[0];
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return c;
}

std::string letter_text(char c) { return sanitize_utf8(std::string(1, c)); }

}  // namespace

Tools::Tools(IndexBackend backend, ServiceLink& service, FileProbe probe)
    : backend_(std::move(backend)), service_(service), probe_(probe ? std::move(probe) : FileProbe(platform::file_info)) {}

char Tools::drive_arg(const Json& args) const { return requested_drive(args).value_or(cache_letter_); }

Result<std::string> Tools::build_into_cache(char letter) {
    const auto start = Clock::now();
    auto built = backend_.index_volume(letter);
    if (!built) return std::move(built).take_error();
    uint64_t dirs = 0;
    for (const auto& e : built->entries) dirs += e.is_dir ? 1 : 0;
    const uint64_t entries = built->entries.size();
    cache_ = std::move(*built);
    cache_letter_ = letter;
    return "indexed " + letter_text(letter) + ": " + std::to_string(entries) + " entries (" + std::to_string(dirs) +
           " dirs, " + std::to_string(entries - dirs) + " files) in " + fixed(ms_since(start) / 1000.0, 2) + "s";
}

Status Tools::ensure_index(char letter) {
    if (cache_ && cache_letter_ == letter) return {};
    auto msg = build_into_cache(letter);
    if (!msg) return std::move(msg).take_error();
    return {};
}

Result<std::string> Tools::call(std::string_view name, const Json& arguments) {
    Result<Json> out = fail("unknown tool: " + std::string(name));
    if (name == "search") out = search(arguments);
    else if (name == "get_file_info") out = get_file_info(arguments);
    else if (name == "list_drives") out = list_drives();
    else if (name == "reindex") out = reindex(arguments);
    else if (name == "recent_changes") out = recent_changes(arguments);
    if (!out) return std::move(out).take_error();
    return pretty(*out);
}

Result<Json> Tools::search(const Json& args) {
    const Json* q = member(args, "query");
    if (!q || !q->is_string()) return fail("missing 'query'");
    const std::string& query = q->get_ref<const std::string&>();
    const std::optional<char> wanted = requested_drive(args);
    const uint64_t limit = non_negative_integer(member(args, "limit")).value_or(100);
    const Json* p = member(args, "path");
    const bool path_mode = p && p->is_boolean() && p->get<bool>();
    const auto start = Clock::now();
    const char drive = wanted.value_or(cache_letter_);

    if (drive == 'C') {
        const std::string target = "/search?q=" + percent_encode(query) + "&limit=" + std::to_string(limit) +
                                   "&path=" + (path_mode ? "true" : "false");
        if (auto body = service_.get(target, kSearchTimeoutMs)) {
            const Json doc = parse_body(*body).value_or(Json());
            const auto results = doc.is_object() ? doc.find("results") : doc.end();
            if (doc.is_object() && results != doc.end() && results->is_array()) {
                if (auto err = doc.find("error"); err != doc.end() && err->is_string())
                    return fail("query rejected: " + err->get<std::string>());
                Json rows = Json::array();
                for (const auto& r : *results) {
                    if (rows.size() >= limit) break;
                    if (!r.is_string()) continue;
                    const auto& path = r.get_ref<const std::string&>();
                    if (!is_drive_path(path)) continue;  // never probe a path that could reach another host
                    rows.push_back(stat_row(path, probe_(path)));
                }
                Json out = Json::object();
                out["count"] = rows.size();
                out["query_ms"] = ms_since(start);
                out["source"] = "service";
                out["results"] = std::move(rows);
                return out;
            }
        }
    }

    if (auto st = ensure_index(drive); !st) return std::move(st).take_error();
    auto hits = backend_.search(*cache_, query, std::min(limit, kMaxSearchLimit), path_mode);
    if (!hits) return std::move(hits).take_error();
    Json rows = Json::array();
    for (const auto& h : *hits) {
        if (rows.size() >= std::min(limit, kMaxSearchLimit)) break;
        rows.push_back(index_row(h));
    }
    Json out = Json::object();
    out["count"] = rows.size();
    out["query_ms"] = ms_since(start);
    out["source"] = "process";
    out["results"] = std::move(rows);
    return out;
}

Result<Json> Tools::get_file_info(const Json& args) {
    const Json* p = member(args, "path");
    if (!p || !p->is_string()) return fail("missing 'path'");
    const std::string& path = p->get_ref<const std::string&>();
    const Json not_found = Json{{"found", false}, {"path", path}};
    if (!is_drive_path(path)) return not_found;
    if (auto info = probe_(path)) return stat_row(path, info);
    if (!service_.up()) return not_found;
    char drive = path[0];
    if (drive >= 'a' && drive <= 'z') drive = char(drive - 'a' + 'A');
    // Without raw access the build fails; the path is then simply unknown, not a volume error.
    if (!ensure_index(drive)) return not_found;
    if (auto hit = backend_.find_path(*cache_, path)) return index_row(*hit);
    return not_found;
}

Json Tools::list_drives() {
    Json drives = Json::array();
    for (char c : backend_.list_ntfs_volumes()) drives.push_back(letter_text(c));
    return Json{{"drives", std::move(drives)}};
}

Result<Json> Tools::reindex(const Json& args) {
    const char drive = drive_arg(args);
    if (drive == 'C') {
        if (auto body = service_.get("/reindex", kReindexTimeoutMs); body && body->find("reindexing") != std::string::npos) {
            Json out = Json::object();
            out["source"] = "service";
            out["status"] = "the Nimbalo service is rebuilding its index for " + letter_text(drive) + ":";
            return out;
        }
    }
    auto msg = build_into_cache(drive);
    if (!msg) return std::move(msg).take_error();
    Json out = Json::object();
    out["source"] = "process";
    out["status"] = std::move(*msg);
    return out;
}

Result<Json> Tools::recent_changes(const Json& args) {
    const char drive = drive_arg(args);
    const uint64_t count = non_negative_integer(member(args, "count")).value_or(50);
    auto changes = backend_.latest_changes(drive, count);
    if (!changes) return std::move(changes).take_error();
    Json events = Json::array();
    for (const auto& c : *changes) events.push_back(change_row(c, backend_.reason_names(c.reason)));
    Json out = Json::object();
    out["count"] = events.size();
    out["events"] = std::move(events);
    return out;
}

}  // namespace nimbalo::mcp
