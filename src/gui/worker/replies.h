// What the worker asks the search service and how it reads the answers: the search request line
// and its hits, the progress poll, and the entry count it refreshes every eighth poll (every poll
// once the index is built). Pure, except that StatusPoller calls the request function it is given.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "gui/worker/messages.h"

namespace nimbalo::gui {

// A service request: the reply body for a path and a time-out (ms), or none.
using ServiceGet = std::function<std::optional<std::string>(std::string_view path, uint32_t timeout_ms)>;

inline constexpr uint32_t kSearchTimeoutMs = 8000;
inline constexpr uint32_t kPollTimeoutMs = 400;

// "/search?q={query percent-encoded}": no limit or path parameter, so the service's defaults apply.
std::string search_path(std::string_view query);

// The SearchResults for a search body: no body or no JSON gives hits none and error none; else
// error is the "error" member when it is a string, and hits the string elements of "results" when
// that is an array (other elements skipped).
event::SearchResults search_results(uint64_t id, const std::optional<std::string>& body);

struct Progress {
    uint8_t state = 0;
    uint64_t done = 0, total = 0;
};
// A JSON object whose state, done and total are all non-negative integers.
std::optional<Progress> parse_progress(std::string_view body);
// A JSON object whose entries member is a non-negative integer.
std::optional<uint64_t> parse_entries(std::string_view body);

// The status poll at the end of every batch, with the worker's own memory: the poll count (which
// wraps) and the last entry count read.
class StatusPoller {
public:
    event::ServiceStatus poll(const ServiceGet& get);

private:
    uint32_t poll_count_ = 0;
    uint64_t last_entries_ = 0;
};

}  // namespace nimbalo::gui
