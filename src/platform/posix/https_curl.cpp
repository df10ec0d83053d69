// libcurl's multi interface turned into a pull reader: the write callback parks body bytes in
// a buffer and pauses the transfer once the buffer holds kMaxAhead bytes, so memory stays
// bounded however fast the server sends and however slowly the caller reads.
#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/https.h"
#include "platform/system.h"

namespace nimbalo::platform {

namespace {

constexpr size_t kMaxAhead = 256 * 1024;

class CurlResponse final : public HttpsResponse {
public:
    CurlResponse() = default;
    CurlResponse(const CurlResponse&) = delete;  // owns the curl handles
    CurlResponse& operator=(const CurlResponse&) = delete;
    ~CurlResponse() override {
        if (multi_ && easy_) curl_multi_remove_handle(multi_, easy_);
        if (easy_) curl_easy_cleanup(easy_);
        if (multi_) curl_multi_cleanup(multi_);
    }

    uint32_t status() const override {
        long code = 0;
        curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &code);
        return uint32_t(code);
    }

    std::optional<uint64_t> content_length() const override {
        curl_off_t len = -1;
        if (curl_easy_getinfo(easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &len) != CURLE_OK || len < 0)
            return std::nullopt;
        return uint64_t(len);
    }

    Result<size_t> read(std::span<char> buf) override {
        while (taken_ == pending_.size()) {
            pending_.clear();
            taken_ = 0;
            if (paused_) {
                paused_ = false;
                // Unpausing hands the held piece straight to on_write.
                if (curl_easy_pause(easy_, CURLPAUSE_CONT) != CURLE_OK) return fail("transfer could not resume");
                continue;
            }
            if (done_) {
                if (result_ != CURLE_OK) return fail(curl_easy_strerror(result_));
                return size_t(0);
            }
            if (auto s = pump(); !s) return std::move(s).take_error();
        }
        const size_t n = std::min(buf.size(), pending_.size() - taken_);
        std::memcpy(buf.data(), pending_.data() + taken_, n);
        taken_ += n;
        return n;
    }

    // Drive the transfer until the first body byte arrives or it ends.
    Status wait_for_head() {
        while (pending_.empty() && !paused_ && !done_)
            if (auto s = pump(); !s) return s;
        return {};
    }

    bool ended_with_error() const { return done_ && result_ != CURLE_OK; }

    static size_t on_write(char* data, size_t size, size_t count, void* self_ptr) {
        auto* self = static_cast<CurlResponse*>(self_ptr);
        const size_t n = size * count;
        if (self->pending_.size() - self->taken_ >= kMaxAhead) {
            self->paused_ = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        self->pending_.append(data, n);
        return n;
    }

    CURL* easy_ = nullptr;
    CURLM* multi_ = nullptr;

private:
    Status pump() {
        int running = 0;
        if (curl_multi_perform(multi_, &running) != CURLM_OK) return fail("transfer failed");
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi_, &left)) {
            if (msg->msg == CURLMSG_DONE) {
                done_ = true;
                result_ = msg->data.result;
            }
        }
        if (!done_ && pending_.size() == taken_ && !paused_)
            if (curl_multi_poll(multi_, nullptr, 0, 1000, nullptr) != CURLM_OK) return fail("transfer failed");
        return {};
    }

    std::string pending_;
    size_t taken_ = 0;
    bool paused_ = false;
    bool done_ = false;
    CURLcode result_ = CURLE_OK;
};

void global_init_once() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

Result<std::unique_ptr<HttpsResponse>> https_open(const HttpsRequest& request) {
    global_init_once();
    auto r = std::make_unique<CurlResponse>();
    r->easy_ = curl_easy_init();
    r->multi_ = curl_multi_init();
    if (!r->easy_ || !r->multi_) return fail("WinHttpOpen failed");

    const bool literal_v6 = request.host.find(':') != std::string::npos;
    const std::string url = "https://" + (literal_v6 ? "[" + request.host + "]" : request.host) + ":" +
                            std::to_string(request.port) + request.path;
    CURL* e = r->easy_;
    bool ok = curl_easy_setopt(e, CURLOPT_URL, url.c_str()) == CURLE_OK;
    // The path goes out exactly as given, like WinHTTP sends it.
    ok = ok && curl_easy_setopt(e, CURLOPT_PATH_AS_IS, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "https") == CURLE_OK;
    // Redirects are followed as WinHTTP does by default, but never away from https.
    ok = ok && curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "https") == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_USERAGENT, request.user_agent.c_str()) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK;
    // libcurl has no separate name-resolution limit; it counts against the connect limit.
    const long connect_ms = long(request.timeouts.resolve_ms) + long(request.timeouts.connect_ms);
    ok = ok && curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, connect_ms) == CURLE_OK;
    // A silent server: less than one byte a second for the receive time-out ends the transfer.
    ok = ok && curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, long((request.timeouts.receive_ms + 999) / 1000)) == CURLE_OK;
    if (auto ca = get_env("SSL_CERT_FILE"); ca && !ca->empty())
        ok = ok && curl_easy_setopt(e, CURLOPT_CAINFO, ca->c_str()) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &CurlResponse::on_write) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_WRITEDATA, r.get()) == CURLE_OK;
    if (!ok) return fail("WinHttpOpenRequest failed");
    if (curl_multi_add_handle(r->multi_, e) != CURLM_OK) return fail("WinHttpOpenRequest failed");

    if (auto s = r->wait_for_head(); !s) return fail("request failed: " + request.host);
    if (r->ended_with_error() && r->status() == 0) return fail("request failed: " + request.host);
    return std::unique_ptr<HttpsResponse>(std::move(r));
}

}  // namespace nimbalo::platform
