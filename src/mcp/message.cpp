#include "mcp/message.h"

namespace nimbalo::mcp {

namespace {
// Bracket depth outside strings; the scan stops as soon as the limit is passed.
bool nests_within(std::string_view text, size_t limit) {
    size_t depth = 0;
    bool in_string = false, escaped = false;
    for (char c : text) {
        if (in_string) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') in_string = false;
            continue;
        }
        if (c == '"') in_string = true;
        else if (c == '[' || c == '{') {
            if (++depth > limit) return false;
        } else if ((c == ']' || c == '}') && depth > 0) --depth;
    }
    return true;
}
}  // namespace

std::optional<Json> parse_body(std::string_view body) {
    if (!nests_within(body, kMaxJsonDepth)) return std::nullopt;
    Json doc = Json::parse(body.begin(), body.end(), nullptr, false);
    if (doc.is_discarded()) return std::nullopt;
    return doc;
}

Request decode_request(const Json& body) {
    Request r;
    if (!body.is_object()) return r;
    if (auto it = body.find("id"); it != body.end()) {
        r.id = *it;
        r.has_id = true;
    }
    if (auto it = body.find("method"); it != body.end() && it->is_string()) {
        r.method = it->get<std::string>();
        r.has_method = true;
    }
    if (auto p = body.find("params"); p != body.end() && p->is_object()) {
        if (auto n = p->find("name"); n != p->end() && n->is_string()) r.tool = n->get<std::string>();
        if (auto a = p->find("arguments"); a != p->end()) r.arguments = *a;
    }
    return r;
}

Json result_reply(const Json& id, Json result) {
    Json reply = Json::object();
    reply["jsonrpc"] = "2.0";
    reply["id"] = id;
    reply["result"] = std::move(result);
    return reply;
}

Json error_reply(const Json& id, int code, std::string message) {
    Json reply = Json::object();
    reply["jsonrpc"] = "2.0";
    reply["id"] = id;
    reply["error"] = Json{{"code", code}, {"message", std::move(message)}};
    return reply;
}

std::string compact(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

std::string pretty(const Json& value) {
    try {
        return value.dump(2, ' ', false, Json::error_handler_t::replace);
    } catch (...) {
        return "{}";
    }
}

}  // namespace nimbalo::mcp
