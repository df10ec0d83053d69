// Test-only: what an independent NTFS reader (fsntfsinfo from libfsntfs-utils) says is in a
// volume's MFT, parsed from `fsntfsinfo -E all`, and the images the comparison runs on (made or
// decompressed into build/volumes/ on first use, under a lock, shared by every build tree).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/system.h"

namespace nimbalo::fixture {

struct ReferenceName {
    uint64_t record = 0, parent = 0;
    std::string name;
    bool is_dir = false;
    std::optional<uint64_t> size;      // unnamed $DATA size, for files that have one
    std::optional<uint64_t> modified;  // files: $STANDARD_INFORMATION; directories: $FILE_NAME
    auto key() const { return std::tie(record, parent, name, is_dir); }
};

// "Jun 23, 2023 02:04:24.840472400 UTC" to a FILETIME; nullopt when not a time.
inline std::optional<uint64_t> parse_reference_time(const std::string& text) {
    if (text == "Not set (0)") return 0;
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char mon[4] = {};
    int day, year, hh, mm, ss;
    char frac[16] = {};
    if (std::sscanf(text.c_str(), "%3s %d, %d %d:%d:%d.%9[0-9] UTC", mon, &day, &year, &hh, &mm, &ss, frac) != 7)
        return std::nullopt;
    int m = 0;
    while (m < 12 && std::string(months[m]) != mon) ++m;
    if (m == 12) return std::nullopt;
    // Days from 1601-01-01, counted the slow obvious way.
    auto leap = [](int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
    static const int mdays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    uint64_t days = 0;
    for (int y = 1601; y < year; ++y) days += leap(y) ? 366 : 365;
    for (int i = 0; i < m; ++i) days += uint64_t(mdays[i] + (i == 1 && leap(year)));
    days += uint64_t(day - 1);
    const uint64_t secs = days * 86400 + uint64_t(hh) * 3600 + uint64_t(mm) * 60 + uint64_t(ss);
    std::string f = frac;
    f.resize(9, '0');
    return secs * 10000000 + std::stoull(f) / 100;
}

// Names of every allocated base record (fsntfsinfo merges extension records' attributes into their
// base record), DOS names left out.
inline std::vector<ReferenceName> fsntfsinfo_names(const std::string& image, uint64_t offset, std::string& error) {
    auto run = platform::run_process("fsntfsinfo", {"-o", std::to_string(offset), "-E", "all", image}, true);
    if (!run || run->exit_code != 0) {
        error = run ? run->output.substr(0, 2000) : run.error();
        return {};
    }
    struct Attr {
        std::string type, name, name_space, time;
        uint64_t parent = 0, flags = 0, data_size = 0;
        bool named = false, has_size = false;
    };
    std::vector<ReferenceName> out;
    uint64_t entry = 0;
    bool allocated = false, base = false;
    std::vector<Attr> attrs;
    auto flush = [&] {
        if (!allocated || !base) return;
        std::optional<uint64_t> si_time, data_size;
        for (const auto& a : attrs) {
            if (a.type.rfind("$STANDARD_INFORMATION", 0) == 0 && !si_time) si_time = parse_reference_time(a.time);
            if (a.type.rfind("$DATA", 0) == 0 && !a.named && a.has_size && !data_size) data_size = a.data_size;
        }
        for (const auto& a : attrs) {
            if (a.type.rfind("$FILE_NAME", 0) != 0 || a.name_space.find("(2)") != std::string::npos) continue;
            ReferenceName r;
            r.record = entry;
            r.parent = a.parent;
            r.name = a.name;
            r.is_dir = (a.flags & 0x10000000) != 0;
            if (r.is_dir) {
                r.modified = parse_reference_time(a.time);
            } else {
                r.size = data_size;
                r.modified = si_time ? si_time : parse_reference_time(a.time);
            }
            out.push_back(r);
        }
    };
    std::istringstream in(run->output);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("MFT entry: ", 0) == 0) {
            flush();
            entry = std::stoull(line.substr(11));
            allocated = base = false;
            attrs.clear();
            continue;
        }
        if (line.rfind("Attribute: ", 0) == 0) {
            attrs.emplace_back();
            continue;
        }
        if (line.empty() || line[0] != '\t' || line.size() < 2 || line[1] == '\t') continue;
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string key = line.substr(1, colon - 1);
        while (!key.empty() && key.back() == '\t') key.pop_back();
        std::string value = colon + 2 <= line.size() ? line.substr(colon + 2) : "";
        if (attrs.empty()) {
            if (key == "Is allocated") allocated = value == "true";
            if (key == "Base record file reference") base = value.rfind("Not set", 0) == 0;
            continue;
        }
        Attr& a = attrs.back();
        if (key == "Type") a.type = value;
        else if (key == "Parent file reference") a.parent = std::stoull(value);
        else if (key == "Modification time") a.time = value;
        else if (key == "File attribute flags") a.flags = std::stoull(value, nullptr, 16);
        else if (key == "Name space") a.name_space = value;
        else if (key == "Name") { a.name = value; a.named = true; }
        else if (key == "Data size") { a.data_size = std::stoull(value); a.has_size = true; }
    }
    flush();
    return out;
}

inline std::string shared_testdata() {
    namespace fs = std::filesystem;
    if (auto d = platform::get_env("NIMBALO_SHARED_DIR")) return *d + "/testdata/ntfs";
    for (const char* up : {"/../shared", "/../../shared"}) {
        const std::string d = std::string(NIMBALO_SOURCE_DIR) + up + "/testdata/ntfs";
        if (fs::exists(d)) return d;
    }
    return "/work/shared/testdata/ntfs";
}

inline std::string volumes_dir() {
    if (auto d = platform::get_env("NIMBALO_VOLUMES_DIR")) return *d;
    return std::string(NIMBALO_SOURCE_DIR) + "/build/volumes";
}

// Path of a test image, made on first use; "" with error set when it cannot be made.
inline std::string test_image(const std::string& name, std::string& error) {
    const std::string dir = volumes_dir(), out = dir + "/" + name, src = std::string(NIMBALO_SOURCE_DIR);
    const std::string shared = shared_testdata();
    std::filesystem::create_directories(dir);
    if (std::filesystem::exists(out)) return out;
    std::string make;
    const std::string tmp = "\"" + out + ".part\"";
    if (name == "ntfs.raw") make = "tar --no-same-owner -xzf '" + shared + "/ms-ntfs-samples/ntfs.tgz' -C '" + dir + "'";
    else if (name.rfind("ntfs-", 0) == 0) make = "gzip -dc '" + shared + "/ms-ntfs-samples/" + name + ".gz' > " + tmp;
    else if (name == "charlie.dd") make = "bzip2 -dc '" + shared + "/go-ntfs/charlie.dd.bz2' > " + tmp;
    else if (name == "vsstest.raw") make = "xz -dc '" + shared + "/plaso/vsstest.raw.xz' > " + tmp;
    else if (name == "forensics.ntfs") make = "xz -dc /usr/share/forensics-samples/fs.ntfs.xz > " + tmp;
    else if (name == "demo.img") make = "'" + src + "/tools/make_demo_volume.sh' '" + out + "'";
    else if (name == "clusters-512.img") make = "'" + src + "/tools/mkimage.sh' --cluster-size 512 " + tmp + " /usr/include/linux";
    else if (name == "records-4096.img") make = "'" + src + "/tools/mkimage.sh' --sector-size 4096 " + tmp + " /usr/include/linux";
    else if (name == "fragments-mft.img") make = "'" + src + "/tools/rebuild_fragments.sh' '" + shared + "/go-ntfs/fragments.tar.xz' highly_fragmented_mft " + tmp;
    else { error = "no recipe for " + name; return ""; }
    const bool in_place = name == "ntfs.raw" || name == "demo.img";
    const std::string script = "set -e; exec 9>'" + out + ".lock'; flock 9; [ -e '" + out + "' ] && exit 0; " + make +
                               (in_place ? "" : "; mv " + tmp + " '" + out + "'");
    auto r = platform::run_process("sh", {"-c", script}, true);
    if (!r || r->exit_code != 0 || !std::filesystem::exists(out)) {
        error = "cannot make " + name + ": " + (r ? r->output : r.error());
        return "";
    }
    return out;
}

}  // namespace nimbalo::fixture
