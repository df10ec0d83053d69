// JSON-RPC 2.0 messages of the MCP server: decoding one request body and building the two reply
// shapes. Replies are nlohmann::json objects, whose members are kept in ascending key order, and
// are written compactly; invalid UTF-8 in a value becomes U+FFFD instead of throwing.
// Pure functions; thread-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace nimbalo::mcp {

using Json = nlohmann::json;

// Deeper nesting is refused before parsing: the parser copes, but copying and writing a value
// recurse once per level, and an echoed id or copied arguments could exhaust the stack.
inline constexpr size_t kMaxJsonDepth = 256;

// The parsed body, or nullopt when it is not one JSON value or nests deeper than kMaxJsonDepth.
std::optional<Json> parse_body(std::string_view body);

struct Request {
    Json id;                          // null when absent or the body is not an object
    bool has_id = false;              // the body is an object with an `id` member
    std::string method;               // empty when absent or not a string
    bool has_method = false;          // `method` is a string
    std::optional<std::string> tool;  // params.name when it is a string
    Json arguments = Json::object();  // params.arguments, or an empty object when absent
};
Request decode_request(const Json& body);

Json result_reply(const Json& id, Json result);
Json error_reply(const Json& id, int code, std::string message);

// Compact text with standard escaping; never throws.
std::string compact(const Json& value);
// Two-space indent, one member per line, "{}" on failure; never throws.
std::string pretty(const Json& value);

}  // namespace nimbalo::mcp
