#include "userdata/status.h"

#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "common/text.h"
#include "userdata/activity_log.h"
#include "platform/system.h"

namespace nimbalo {

namespace {
constexpr uint64_t kMaxStatusBytes = 1 << 20;
}  // namespace

StatusRecord::StatusRecord(std::string folder, std::function<uint64_t()> clock)
    : folder_(std::move(folder)), clock_(clock ? std::move(clock) : std::function<uint64_t()>(platform::tick_count_ms)) {}

std::string StatusRecord::path() const { return platform::join_path(folder_, "mcp-status.json"); }

std::string StatusRecord::get(const std::string& field, std::mutex& lock) const {
    std::lock_guard<std::mutex> g(lock);
    return field;
}

void StatusRecord::write_status() {
    nlohmann::json doc = nlohmann::json::object();
    doc["pid"] = platform::process_id();
    doc["requests"] = requests();
    doc["last_method"] = get(last_method_, method_lock_);
    doc["last_tool"] = get(last_tool_, tool_lock_);
    doc["last_error"] = get(last_error_, error_lock_);
    doc["session_started"] = get(session_started_, started_lock_);
    doc["last_ms"] = clock_();
    const std::string text = doc.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::error_code ec;
    std::filesystem::create_directories(platform::to_path(folder_), ec);
    std::ofstream out(platform::to_path(path()), std::ios::binary | std::ios::trunc);
    if (out) out.write(text.data(), std::streamsize(text.size()));
}

void StatusRecord::note_request(std::string_view method, const std::optional<std::string>& tool) {
    requests_.fetch_add(1, std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> g(method_lock_);
        last_method_ = first_chars(method, kLastErrorChars);  // client texts, of any length
    }
    if (tool) {
        std::lock_guard<std::mutex> g(tool_lock_);
        last_tool_ = first_chars(*tool, kLastErrorChars);
    }
    {
        std::lock_guard<std::mutex> g(error_lock_);
        last_error_.clear();
    }
    const uint64_t now = clock_();
    const uint64_t since = now > last_flush_tick_ ? now - last_flush_tick_ : 0;
    if (since > kStatusMinIntervalMs) {
        last_flush_tick_ = now;
        write_status();
    }
}

void StatusRecord::note_error(std::string_view text) {
    {
        std::lock_guard<std::mutex> g(error_lock_);
        last_error_ = first_chars(text, kLastErrorChars);
    }
    write_status();
}

void StatusRecord::set_session_started(std::string text) {
    std::lock_guard<std::mutex> g(started_lock_);
    session_started_ = std::move(text);
}

void StatusRecord::reset_requests() { requests_.store(0, std::memory_order_relaxed); }

std::string first_chars(std::string_view text, size_t max_chars) {
    const std::string clean = sanitize_utf8(text);
    size_t pos = 0, chars = 0;
    while (pos < clean.size() && chars < max_chars) {
        const int len = utf8_sequence_length(static_cast<unsigned char>(clean[pos]));
        pos += len > 0 ? size_t(len) : 1;
        ++chars;
    }
    return clean.substr(0, std::min(pos, clean.size()));
}

std::optional<StatusSnapshot> read_status_in(const std::string& folder) {
    auto bytes = platform::read_file(platform::join_path(folder, "mcp-status.json"), kMaxStatusBytes);
    if (!bytes) return std::nullopt;
    const auto doc = nlohmann::json::parse(*bytes, nullptr, false);
    if (!doc.is_object()) return std::nullopt;
    auto num = [&](const char* key) -> uint64_t {
        const auto it = doc.find(key);
        if (it == doc.end()) return 0;
        if (it->is_number_unsigned()) return it->get<uint64_t>();
        if (it->is_number_integer()) return it->get<int64_t>() >= 0 ? uint64_t(it->get<int64_t>()) : 0;
        return 0;
    };
    auto str = [&](const char* key) -> std::string {
        const auto it = doc.find(key);
        return it != doc.end() && it->is_string() ? it->get<std::string>() : std::string();
    };
    StatusSnapshot s;
    s.pid = num("pid");
    s.requests = num("requests");
    s.last_ms = num("last_ms");
    s.last_method = str("last_method");
    s.last_tool = str("last_tool");
    s.last_error = str("last_error");
    s.session_started = str("session_started");
    return s;
}

std::optional<StatusSnapshot> read_status() { return read_status_in(data_folder()); }

std::optional<uint64_t> activity_age_of(const std::optional<StatusSnapshot>& snapshot, uint64_t now_ms) {
    if (!snapshot || snapshot->last_ms == 0) return std::nullopt;
    return now_ms > snapshot->last_ms ? now_ms - snapshot->last_ms : 0;
}

std::optional<uint64_t> activity_age() { return activity_age_of(read_status(), platform::tick_count_ms()); }


}  // namespace nimbalo
