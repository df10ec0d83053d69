#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <climits>

#include "common/text.h"
#include "platform/https.h"
#include "platform/system.h"
#include "platform/win32/win32_util.h"

namespace nimbalo::platform {

namespace {

// One WinHTTP handle.
struct InternetHandleTraits {
    using Value = HINTERNET;
    static Value none() { return nullptr; }
    static bool valid(Value h) { return h != nullptr; }
    static void close(Value h) { WinHttpCloseHandle(h); }
};
using InternetHandle = UniqueHandle<InternetHandleTraits>;

class WinHttpResponse final : public HttpsResponse {
public:
    // Members close in reverse order: request, then connection, then session.
    InternetHandle session, connection, request;
    uint32_t status_code = 0;
    std::optional<uint64_t> length;

    uint32_t status() const override { return status_code; }
    std::optional<uint64_t> content_length() const override { return length; }

    Result<size_t> read(std::span<char> buf) override {
        DWORD got = 0;
        const DWORD want = DWORD(std::min<size_t>(buf.size(), ULONG_MAX));
        if (!WinHttpReadData(request.get(), buf.data(), want, &got)) return fail(last_system_error_text());
        return size_t(got);
    }
};

std::optional<uint64_t> query_content_length(HINTERNET request) {
    wchar_t text[32] = {};
    DWORD bytes = sizeof text;
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text, &bytes,
                             WINHTTP_NO_HEADER_INDEX))
        return std::nullopt;
    std::string ascii;
    for (const wchar_t* p = text; *p; ++p) ascii += char(*p < 128 ? *p : '?');
    uint64_t v = 0;
    if (!parse_u64_plus(trim_ascii(ascii), v)) return std::nullopt;
    return v;
}

}  // namespace

Result<std::unique_ptr<HttpsResponse>> https_open(const HttpsRequest& req) {
    auto r = std::make_unique<WinHttpResponse>();
    const std::wstring agent = win32::widen(req.user_agent);
    r->session = InternetHandle(
        WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!r->session) return fail("WinHttpOpen failed");
    const auto& t = req.timeouts;
    WinHttpSetTimeouts(r->session.get(), int(t.resolve_ms), int(t.connect_ms), int(t.send_ms), int(t.receive_ms));

    r->connection = InternetHandle(WinHttpConnect(r->session.get(), win32::widen(req.host).c_str(), req.port, 0));
    if (!r->connection) return fail("cannot connect to " + req.host);

    r->request = InternetHandle(WinHttpOpenRequest(r->connection.get(), L"GET", win32::widen(req.path).c_str(), nullptr,
                                                   WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                   WINHTTP_FLAG_SECURE));
    if (!r->request) return fail("WinHttpOpenRequest failed");

    if (!WinHttpSendRequest(r->request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(r->request.get(), nullptr))
        return fail("request failed: " + req.host);

    DWORD status = 0;
    DWORD size = sizeof status;
    if (WinHttpQueryHeaders(r->request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
        r->status_code = status;
    r->length = query_content_length(r->request.get());
    return std::unique_ptr<HttpsResponse>(std::move(r));
}

}  // namespace nimbalo::platform
