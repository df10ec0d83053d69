#include "update/download.h"

#include <algorithm>
#include <memory>

#include "common/text.h"
#include "userdata/activity_log.h"
#include "platform/file_io.h"
#include "platform/system.h"
#include "update/file_digest.h"

namespace nimbalo::update {

namespace {

std::string kb_text(float kb) { return fixed(double(kb), 0); }

void report(const ProgressFn& progress, uint64_t received, uint64_t total) {
    if (!progress) return;
    const float kb = float(received) / 1024.0f;
    if (total > 0) {
        const float fraction = std::min(1.0f, float(received) / float(total));
        progress(1, fraction, kb_text(kb) + " KB of " + kb_text(float(total) / 1024.0f) + " KB");
    } else {
        progress(1, 0.0f, kb_text(kb) + " KB");
    }
}

std::string too_large(uint64_t limit) {
    return "the download is larger than " + std::to_string(limit) + " bytes; refusing it";
}

}  // namespace

std::string update_folder() { return platform::join_path(data_folder(), "update"); }

Result<std::string> download_update(std::string_view url, std::string_view expected_sha256,
                                    const ProgressFn& progress, const DownloadOptions& options) {
    const std::string folder = options.folder.empty() ? update_folder() : options.folder;
    const HttpsOpener open = options.open ? options.open : HttpsOpener(platform::https_open);
    if (auto s = platform::create_folders(folder); !s) return fail("cannot create " + folder + ": " + s.error());
    auto response = https_get(url, open);
    if (!response) return std::move(response).take_error();
    const uint64_t total = (*response)->content_length().value_or(0);
    if (total > options.max_bytes) return fail(too_large(options.max_bytes));

    const std::string path = platform::join_path(folder, kDownloadName);
    auto file = platform::File::create(path);
    if (!file) return fail("cannot write: " + file.error());
    auto give_up = [&](std::string text) -> Result<std::string> {
        file->close();
        (void)platform::remove_file(path);
        return fail(std::move(text));
    };

    const auto buffer = std::make_unique<char[]>(kDownloadBuffer);
    uint64_t received = 0;
    uint64_t last_report = 0;
    for (;;) {
        auto n = (*response)->read(std::span<char>(buffer.get(), kDownloadBuffer));
        if (!n) return give_up("download interrupted");
        if (*n == 0) break;
        if (received + *n > options.max_bytes) return give_up(too_large(options.max_bytes));
        if (auto s = file->write_all(std::span<const char>(buffer.get(), *n)); !s)
            return give_up("cannot write: " + s.error());
        received += *n;
        if (received == total || received - last_report >= kProgressStep) {
            report(progress, received, total);
            last_report = received;
        }
    }
    response->reset();
    file->close();
    if (total > 0 && received != total)
        return give_up("incomplete download (" + std::to_string(received) + " of " + std::to_string(total) + " bytes)");

    if (progress) progress(2, 1.0f, "verifying the checksum");
    auto digest = file_sha256(path);
    if (!digest) return give_up(digest.error());
    if (!expected_sha256.empty() && *digest != expected_sha256)
        return give_up("checksum mismatch (got " + *digest + ")");
    return path;
}

Result<std::string> download_update(std::string_view url, std::string_view expected_sha256,
                                    const ProgressFn& progress) {
    return download_update(url, expected_sha256, progress, DownloadOptions{});
}

}  // namespace nimbalo::update
