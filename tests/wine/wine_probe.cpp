// wine_probe: checks of the Windows volume layer that need a drive letter, run by the Wine smoke
// suite against an NTFS image mapped as a drive. Uses only the platform interface.
//
//   wine_probe volume X    open \\.\X:, read sector 0 ("NTFS    " at offset 3), compare unaligned
//                          reads with slices of aligned ones, read at the end, ask for the NTFS
//                          volume data (Wine has none: reported, not failed)
//   wine_probe absent X    opening \\.\X: fails with "cannot open \\.\X:: {system text}"
//   wine_probe file PATH   the same image opened as a plain file: no alignment, no control codes
//   wine_probe instance    claims the launcher's single-instance slot, then starts itself again:
//                          the second process must find it taken (and broadcast the show message)
// Prints one line per check; exit status 0 when all pass.
#include <cstring>
#include <string>

#include "platform/console.h"
#include "platform/raw_device.h"
#include "platform/system.h"

namespace platform = nimbalo::platform;

namespace {

int failures = 0;

void check(bool ok, const std::string& what) {
    platform::write_stdout(std::string(ok ? "ok   " : "FAIL ") + what + "\n");
    if (!ok) ++failures;
}

std::vector<std::byte> read(platform::RawDevice& dev, uint64_t offset, size_t len, std::string& error) {
    std::vector<std::byte> buf(len);
    auto r = dev.read_at(offset, buf);
    if (!r) {
        error = r.error();
        return {};
    }
    buf.resize(*r);
    return buf;
}

int probe_volume(char letter) {
    const std::string path = std::string("\\\\.\\") + letter + ":";
    check((platform::logical_drive_mask() >> (letter - 'A') & 1) != 0, std::string("drive ") + letter + " in the logical drive mask");
    auto opened = platform::open_raw_volume(letter);
    check(opened.ok(), "open " + path + (opened.ok() ? "" : ": " + opened.error()));
    if (!opened) return 1;
    platform::RawDevice& dev = **opened;
    const uint64_t size = dev.size();
    check(size >= (1u << 20), "size " + std::to_string(size));

    std::string err;
    const auto head = read(dev, 0, 8192, err);
    check(head.size() == 8192, "aligned read of 8192 bytes at 0" + (err.empty() ? "" : ": " + err));
    if (head.size() != 8192) return 1;
    check(std::memcmp(head.data() + 3, "NTFS    ", 8) == 0, "boot sector names NTFS at offset 3");
    check(head[510] == std::byte{0x55} && head[511] == std::byte{0xAA}, "boot sector signature 55 AA");

    struct Slice {
        uint64_t offset;
        size_t len;
    } slices[] = {{3, 8}, {1, 511}, {511, 2}, {1000, 5000}, {4095, 4097}, {0, 8191}};
    for (const auto& s : slices) {
        err.clear();
        const auto got = read(dev, s.offset, s.len, err);
        const bool same = got.size() == s.len && std::memcmp(got.data(), head.data() + s.offset, s.len) == 0;
        check(same, "unaligned read of " + std::to_string(s.len) + " at " + std::to_string(s.offset) +
                        (err.empty() ? "" : ": " + err));
    }

    // Bigger than one system read (16 MiB), unaligned at both ends.
    if (size >= (32u << 20)) {
        err.clear();
        const auto whole = read(dev, 0, 24u << 20, err);
        const auto part = read(dev, 12345, (20u << 20) + 7, err);
        check(whole.size() == (24u << 20) && part.size() == (20u << 20) + 7 &&
                  std::memcmp(part.data(), whole.data() + 12345, part.size()) == 0,
              "unaligned 20 MiB read matches the aligned one" + (err.empty() ? "" : ": " + err));
    }

    if (size > 0) {
        err.clear();
        const auto tail = read(dev, size - 100, 300, err);
        check(tail.size() == 100, "read across the end returns the 100 bytes left (got " +
                                      std::to_string(tail.size()) + ")" + (err.empty() ? "" : ": " + err));
        err.clear();
        const auto past = read(dev, size + 4096, 512, err);
        check(past.empty(), "read past the end returns nothing" + (err.empty() ? "" : ": " + err));
    }

    auto vd = dev.ntfs_volume_data();
    if (vd)
        check(vd->bytes_per_cluster >= 512 && vd->bytes_per_record >= 1024,
              "volume data: " + std::to_string(vd->bytes_per_cluster) + " bytes/cluster, " +
                  std::to_string(vd->bytes_per_record) + " bytes/record");
    else
        platform::write_stdout("note FSCTL_GET_NTFS_VOLUME_DATA: " + vd.error() + "\n");
    check(dev.has_os_ntfs_support(), "volume handles report control-code support");
    return failures == 0 ? 0 : 1;
}

int probe_absent(char letter) {
    auto opened = platform::open_raw_volume(letter);
    const std::string prefix = std::string("cannot open \\\\.\\") + letter + ":: ";
    check(!opened.ok(), std::string("opening absent drive ") + letter + " fails");
    if (opened.ok()) return 1;
    check(opened.error().rfind(prefix, 0) == 0 && opened.error().size() > prefix.size(),
          "error text: " + opened.error());
    return failures == 0 ? 0 : 1;
}

int probe_file(const std::string& path) {
    auto opened = platform::open_raw_path(path);
    check(opened.ok(), "open " + path + (opened.ok() ? "" : ": " + opened.error()));
    if (!opened) return 1;
    platform::RawDevice& dev = **opened;
    check(dev.size() >= (1u << 20), "size " + std::to_string(dev.size()));
    check(!dev.has_os_ntfs_support(), "a plain file does not claim control-code support");
    std::string err;
    const auto odd = read(dev, 3, 8, err);
    check(odd.size() == 8 && std::memcmp(odd.data(), "NTFS    ", 8) == 0, "8 bytes at offset 3 read \"NTFS    \"" + (err.empty() ? "" : ": " + err));
    const auto tail = read(dev, dev.size() - 5, 10, err);
    check(tail.size() == 5, "read across the end returns the 5 bytes left" + (err.empty() ? "" : ": " + err));
    auto missing = platform::open_raw_path(path + ".missing");
    check(!missing.ok() && missing.error().rfind("cannot open " + path + ".missing: ", 0) == 0,
          "missing file: " + (missing.ok() ? std::string("opened") : missing.error()));
    return failures == 0 ? 0 : 1;
}

const char* instance_name(platform::InstanceCheck c) {
    switch (c) {
        case platform::InstanceCheck::First: return "first";
        case platform::InstanceCheck::AlreadyRunning: return "already running";
        case platform::InstanceCheck::Unprotected: return "unprotected";
    }
    return "?";
}

int probe_instance() {
    const auto first = platform::claim_single_instance();
    check(first == platform::InstanceCheck::First, std::string("first claim: ") + instance_name(first));
    const auto self = platform::executable_path();
    check(self.has_value(), "executable path");
    if (!self) return 1;
    auto second = platform::run_process(*self, {"instance-second"}, true);
    check(second.ok() && second->exit_code == 0 && second->output == "already running\n",
          "second process: " + (second.ok() ? second->output : second.error()));
    return failures == 0 ? 0 : 1;
}

int probe_instance_second() {
    const auto c = platform::claim_single_instance();
    platform::write_stdout(std::string(instance_name(c)) + "\n");
    return c == platform::InstanceCheck::AlreadyRunning ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const auto args = platform::process_arguments(argc, argv);
    if (args.size() == 2 && args[1].size() == 1 && args[1][0] >= 'A' && args[1][0] <= 'Z') {
        if (args[0] == "volume") return probe_volume(args[1][0]);
        if (args[0] == "absent") return probe_absent(args[1][0]);
    }
    if (args.size() == 2 && args[0] == "file") return probe_file(args[1]);
    if (args.size() == 1 && args[0] == "instance") return probe_instance();
    if (args.size() == 1 && args[0] == "instance-second") return probe_instance_second();
    platform::write_stderr("usage: wine_probe volume|absent <DRIVE LETTER> | file <PATH> | instance\n");
    return 2;
}
