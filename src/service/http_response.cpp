#include "service/http_response.h"

#include <nlohmann/json.hpp>

namespace nimbalo::http {

namespace {
// Text is valid UTF-8 by construction; replace rather than throw if a damaged byte slips through.
std::string dump(const nlohmann::json& j) { return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace); }
}  // namespace

std::string response(std::string_view body) {
    std::string out = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: ";
    out += std::to_string(body.size());
    out += "\r\nConnection: close\r\n\r\n";
    out += body;
    return out;
}

std::string search_body(const SearchParams& params, const Result<std::vector<SearchHit>>& hits) {
    nlohmann::json results = nlohmann::json::array();
    nlohmann::json error = nullptr;
    if (hits) {
        for (const SearchHit& h : *hits) results.push_back(std::string(h.path));
    } else {
        error = hits.error();
    }
    nlohmann::json body = nlohmann::json::object();
    body["by_path"] = params.path;
    body["count"] = results.size();
    body["error"] = std::move(error);
    body["query"] = params.q;
    body["results"] = std::move(results);
    return dump(body);
}

std::string status_body(uint64_t entries) { return "{\"entries\": " + std::to_string(entries) + "}"; }

std::string progress_body(uint64_t state, uint64_t done, uint64_t total) {
    nlohmann::json body = nlohmann::json::object();
    body["done"] = done;
    body["state"] = state;
    body["total"] = total;
    return dump(body);
}

}  // namespace nimbalo::http
