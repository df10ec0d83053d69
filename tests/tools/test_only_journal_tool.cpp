// TEST ONLY. Changes a COPY of a Windows-made NTFS image as Windows would, for end-to-end tests of
// the service following the journal (tests/integration/wine_live.sh):
//   test_only_journal_tool create IMAGE NAME SIZE   a file in the root: FILE record + journal records;
//                                                   prints its record number
//   test_only_journal_tool delete IMAGE RECORD NAME the file gone: record freed + journal records
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/text.h"
#include "mft/ntfs_builder.h"
#include "support/test_only_journal_writer.h"

using namespace nimbalo;

namespace {

constexpr uint32_t kCreate = 0x100, kDelete = 0x200, kClose = 0x80000000;
constexpr uint64_t kTime = 133'500'000'000'000'000ull;

int run(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: test_only_journal_tool create IMAGE NAME SIZE | delete IMAGE RECORD NAME\n");
        return 2;
    }
    const std::string cmd = argv[1];
    nimbalo::testing::TestOnlyJournalWriter w(argv[2]);
    w.grow_journal(100);
    if (cmd == "create" && argc == 5) {
        const std::u16string name = utf8_to_utf16(argv[3]);
        const uint64_t size = std::strtoull(argv[4], nullptr, 10);
        uint64_t r = 100;
        while (r < 256 && w.record_in_use(r)) ++r;
        fixture::RecordBuilder b;
        b.standard_information(kTime).file_name({5, name, 1, 0x20, size, kTime});
        if (size < 600) b.resident_data(size);
        else b.nonresident(0x80, 0, (size + 4095) / 4096 - 1, size, size, {{-1, (size + 4095) / 4096}});
        w.put_file_record(r, b.build());
        w.append(kCreate, r, 5, name, false, kTime);
        w.append(kCreate | kClose, r, 5, name, false, kTime);
        std::printf("%llu\n", static_cast<unsigned long long>(r));
        return 0;
    }
    if (cmd == "delete" && argc == 5) {
        const uint64_t r = std::strtoull(argv[3], nullptr, 10);
        const std::u16string name = utf8_to_utf16(argv[4]);
        fixture::RecordBuilder gone;
        gone.in_use(false).standard_information(kTime);
        w.put_file_record(r, gone.build());
        w.append(kDelete, r, 5, name, false, kTime + 1);
        w.append(kDelete | kClose, r, 5, name, false, kTime + 1);
        return 0;
    }
    std::fprintf(stderr, "unknown command\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
}
