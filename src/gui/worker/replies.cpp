#include "gui/worker/replies.h"

#include <nlohmann/json.hpp>

#include "common/percent_encoding.h"

namespace nimbalo::gui {

namespace {

using Json = nlohmann::json;

std::optional<Json> parse_json(std::string_view body) {
    Json j = Json::parse(body, nullptr, /*allow_exceptions=*/false);
    if (j.is_discarded()) return std::nullopt;
    return j;
}

std::optional<uint64_t> non_negative_integer(const Json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end()) return std::nullopt;
    if (it->is_number_unsigned()) return it->get<uint64_t>();
    if (it->is_number_integer() && it->get<int64_t>() >= 0) return uint64_t(it->get<int64_t>());
    return std::nullopt;
}

}  // namespace

std::string search_path(std::string_view query) { return "/search?q=" + percent_encode(query); }

event::SearchResults search_results(uint64_t id, const std::optional<std::string>& body) {
    event::SearchResults r;
    r.id = id;
    if (!body) return r;
    const auto j = parse_json(*body);
    if (!j || !j->is_object()) return r;
    if (auto e = j->find("error"); e != j->end() && e->is_string()) r.error = e->get<std::string>();
    if (auto res = j->find("results"); res != j->end() && res->is_array()) {
        std::vector<std::string> hits;
        for (const auto& v : *res)
            if (v.is_string()) hits.push_back(v.get<std::string>());
        r.hits = std::move(hits);
    }
    return r;
}

std::optional<Progress> parse_progress(std::string_view body) {
    const auto j = parse_json(body);
    if (!j || !j->is_object()) return std::nullopt;
    const auto state = non_negative_integer(*j, "state"), done = non_negative_integer(*j, "done"),
               total = non_negative_integer(*j, "total");
    if (!state || !done || !total) return std::nullopt;
    return Progress{uint8_t(*state), *done, *total};
}

std::optional<uint64_t> parse_entries(std::string_view body) {
    const auto j = parse_json(body);
    if (!j || !j->is_object()) return std::nullopt;
    return non_negative_integer(*j, "entries");
}

event::ServiceStatus StatusPoller::poll(const ServiceGet& get) {
    ++poll_count_;
    event::ServiceStatus s;
    const auto body = get("/progress", kPollTimeoutMs);
    const auto progress = body ? parse_progress(*body) : std::nullopt;
    if (!progress) return s;  // unreachable: state 255, no counters, no entry count
    s.state = progress->state;
    s.done = progress->done;
    s.total = progress->total;
    if (poll_count_ % 8 == 0 || progress->state == 3) {
        if (const auto status = get("/status", kPollTimeoutMs))
            if (const auto entries = parse_entries(*status)) last_entries_ = *entries;
        s.entries = last_entries_;
    }
    return s;
}

}  // namespace nimbalo::gui
