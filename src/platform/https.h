// One HTTPS GET behind a narrow interface: the updater's only way onto the network.
// https_open connects, sends the request and waits for the response head; the caller then
// pulls the body in pieces through the returned response and drops it to close everything.
// Implementations: libcurl (POSIX) and WinHTTP (Windows). The server's certificate is always
// verified against the system's trust store (POSIX also honours SSL_CERT_FILE, as OpenSSL
// tools do). Memory stays bounded: a response buffers at most a few hundred KiB ahead of
// the reader. A response is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "common/result.h"

namespace nimbalo::platform {

struct HttpsTimeouts {
    uint32_t resolve_ms = 5000;
    uint32_t connect_ms = 8000;
    uint32_t send_ms = 10000;
    uint32_t receive_ms = 15000;  // longest silence while waiting for response bytes
};

struct HttpsRequest {
    std::string host;    // name or address, without port or brackets
    uint16_t port = 443;
    std::string path;    // begins with "/"; sent as given
    std::string user_agent;
    HttpsTimeouts timeouts;
};

// An open response. Owns every handle of its request (closed by the destructor exactly once).
class HttpsResponse {
public:
    virtual ~HttpsResponse() = default;
    virtual uint32_t status() const = 0;
    // The Content-Length header's value, nullopt when absent or unreadable.
    virtual std::optional<uint64_t> content_length() const = 0;
    // Up to buf.size() body bytes; 0 at the end of the body; an error when the transfer broke.
    virtual Result<size_t> read(std::span<char> buf) = 0;
};

// Errors, one line each: "WinHttpOpen failed" (the client could not be set up),
// "cannot connect to {host}", "WinHttpOpenRequest failed", "request failed: {host}" (nothing
// usable came back: name, connection, TLS or protocol failure). The texts are the same on
// every platform so callers and users see one vocabulary.
Result<std::unique_ptr<HttpsResponse>> https_open(const HttpsRequest& request);

}  // namespace nimbalo::platform
