// A scripted HTTPS transport for the updater's logic: a fixed status, an optional
// Content-Length, the body in given pieces, and optionally a broken transfer after them.
// Records every request it was asked to open and how many body bytes were pulled.
#pragma once

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "update/https_get.h"

namespace nimbalo::fixtures {

struct FakeServer {
    uint32_t status = 200;
    std::optional<uint64_t> content_length;
    std::vector<std::string> pieces;  // each read returns at most one piece
    bool break_after_pieces = false;
    std::optional<std::string> open_error;

    std::vector<platform::HttpsRequest> requests;
    size_t bytes_pulled = 0;

    static FakeServer serving(std::string body, bool with_length = true, size_t piece = 65536) {
        FakeServer s;
        if (with_length) s.content_length = body.size();
        for (size_t i = 0; i < body.size(); i += piece) s.pieces.push_back(body.substr(i, piece));
        return s;
    }

    update::HttpsOpener opener() {
        return [this](const platform::HttpsRequest& req) -> Result<std::unique_ptr<platform::HttpsResponse>> {
            requests.push_back(req);
            if (open_error) return fail(*open_error);
            return std::unique_ptr<platform::HttpsResponse>(new Response(this));
        };
    }

private:
    struct Response final : platform::HttpsResponse {
        explicit Response(FakeServer* s) : server(s) {}
        uint32_t status() const override { return server->status; }
        std::optional<uint64_t> content_length() const override { return server->content_length; }
        Result<size_t> read(std::span<char> buf) override {
            while (next < server->pieces.size()) {
                const std::string& p = server->pieces[next];
                const size_t n = std::min(buf.size(), p.size() - offset);
                std::memcpy(buf.data(), p.data() + offset, n);
                offset += n;
                if (offset == p.size()) {
                    ++next;
                    offset = 0;
                }
                server->bytes_pulled += n;
                if (n > 0) return n;
            }
            if (server->break_after_pieces) return fail("connection reset");
            return size_t(0);
        }
        FakeServer* server;
        size_t next = 0, offset = 0;
    };
};

}  // namespace nimbalo::fixtures
