#include "update/manifest.h"

#include "common/text.h"
#include "platform/system.h"

#ifndef NIMBALO_UPDATE_HOST
#error "NIMBALO_UPDATE_HOST must name the update server (set by the build)"
#endif

namespace nimbalo::update {

namespace {

// The first n code points of valid UTF-8 text.
std::string_view first_chars(std::string_view text, size_t n) {
    size_t pos = 0;
    for (size_t count = 0; pos < text.size() && count < n; ++count) {
        const int len = utf8_sequence_length(static_cast<unsigned char>(text[pos]));
        pos += len > 0 ? size_t(len) : 1;
    }
    return text.substr(0, std::min(pos, text.size()));
}

// Server text quoted in an error: one line, and no control characters that could steer a terminal.
std::string one_line(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return out;
}

uint64_t parse_size(std::string_view value) {
    uint64_t v = 0;
    return parse_u64_plus(value, v) ? v : 0;
}

}  // namespace

std::string manifest_url() {
    if (auto env = platform::get_env("NIMBALO_UPDATE_URL"); env && !env->empty()) return *env;
    return std::string("https://") + NIMBALO_UPDATE_HOST + "/download/version.txt";
}

std::string default_download_url(std::string_view manifest_url) {
    return url_origin(manifest_url) + "/download/nimbalo.exe";
}

Result<UpdateManifest> parse_manifest(std::string_view text, std::string_view manifest_url) {
    UpdateManifest m;
    m.url = default_download_url(manifest_url);
    bool saw_key_line = false;
    bool version_set = false;
    std::string_view rest = text;
    while (!rest.empty()) {
        const size_t nl = rest.find('\n');
        std::string_view line = rest.substr(0, nl);
        rest = nl == std::string_view::npos ? std::string_view{} : rest.substr(nl + 1);
        line = trim_ascii(line);
        if (line.empty() || line.front() == '#') continue;
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            if (!saw_key_line && !version_set) {
                m.version = std::string(line);
                version_set = true;
            }
            continue;
        }
        saw_key_line = true;
        const std::string key = ascii_lower(trim_ascii(line.substr(0, eq)));
        const std::string_view value = trim_ascii(line.substr(eq + 1));
        if (key == "version") {
            m.version = std::string(value);
            version_set = true;
        } else if (key == "url") {
            m.url = std::string(value);
        } else if (key == "sha256") {
            m.sha256 = ascii_lower(value);
        } else if (key == "note" || key == "notes") {
            m.notes = std::string(value);
        } else if (key == "size") {
            m.size = parse_size(value);
        }
    }
    if (m.version.empty()) return fail("unexpected version.txt: " + one_line(first_chars(text, 80)));
    if (starts_with(m.url, "/")) m.url = url_origin(manifest_url) + m.url;
    return m;
}

Result<UpdateManifest> fetch_manifest(std::string_view manifest_url, const HttpsOpener& open) {
    auto response = https_get(manifest_url, open);
    if (!response) return std::move(response).take_error();
    std::string body;
    char piece[kManifestPiece];
    while (body.size() < kManifestReadLimit) {
        auto n = (*response)->read(piece);
        if (!n) return fail("read failed");
        if (*n == 0) break;
        body.append(piece, *n);
    }
    response->reset();  // close the request before parsing; the rest of the body is not wanted
    return parse_manifest(sanitize_utf8(body), manifest_url);
}

Result<UpdateManifest> fetch_manifest() { return fetch_manifest(manifest_url(), platform::https_open); }

}  // namespace nimbalo::update
