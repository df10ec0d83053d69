// The bytes the loopback interface answers with: one fixed header and the bodies of each route.
// JSON is compact with keys in ascending order; /status keeps its historical space after the colon.
// Pure functions; thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "index/index.h"
#include "service/http_request.h"

namespace nimbalo::http {

inline constexpr std::string_view kReindexBody = R"({"status":"reindexing"})";
inline constexpr std::string_view kHealthBody = "ok";
inline constexpr std::string_view kFallbackBody = "Nimbalo service";

// "HTTP/1.1 200 OK" with Content-Type application/json (for every body), Content-Length and
// Connection: close, then the body.
std::string response(std::string_view body);

// {"by_path":…,"count":…,"error":…,"query":…,"results":[…]}; hits' paths in the order given.
std::string search_body(const SearchParams& params, const Result<std::vector<SearchHit>>& hits);

std::string status_body(uint64_t entries);
std::string progress_body(uint64_t state, uint64_t done, uint64_t total);

}  // namespace nimbalo::http
