// The journal of real volumes compared with readers we did not write: fsntfsinfo -U, and The Sleuth
// Kit's istat listing kept beside a fixture. Both are tools of the build machine, so these checks
// are not part of the Windows test programs.
#include <gtest/gtest.h>

#include <sstream>

#include "mft/independent_reader.h"
#include "mft/journal.h"

using namespace nimbalo;

TEST(Journal, WindowsVolumeMatchesIndependentReader) {
    std::string error;
    const std::string path = fixture::test_image("ntfs.raw", error);
    ASSERT_FALSE(path.empty()) << error;
    auto dev = platform::open_raw_path(path);
    ASSERT_TRUE(dev.ok());
    auto v = open_volume_on(std::move(*dev), 'N');
    ASSERT_TRUE(v.ok()) << v.error();
    auto ours = latest_changes_on(std::move(*v), 100000);
    ASSERT_TRUE(ours.ok()) << ours.error();

    auto run = platform::run_process("fsntfsinfo", {"-o", "1048576", "-U", path}, true);
    ASSERT_TRUE(run.ok() && run->exit_code == 0);
    struct Ref {
        std::string name;
        uint64_t time = 0, record = 0, parent = 0;
        uint32_t reason = 0;
    };
    std::vector<Ref> theirs;
    std::istringstream in(run->output);
    std::string line;
    auto value = [](const std::string& l) { return l.substr(l.find(": ") + 2); };
    while (std::getline(in, line)) {
        if (line == "USN record:") theirs.emplace_back();
        if (theirs.empty()) continue;
        auto& r = theirs.back();
        if (line.rfind("\tUpdate time", 0) == 0) r.time = *fixture::parse_reference_time(value(line));
        else if (line.rfind("\tUpdate reason flags", 0) == 0) r.reason = uint32_t(std::stoul(value(line), nullptr, 16));
        else if (line.rfind("\tName\t", 0) == 0) r.name = value(line);
        else if (line.rfind("\tFile reference", 0) == 0) r.record = std::stoull(value(line));
        else if (line.rfind("\tParent file reference", 0) == 0) r.parent = std::stoull(value(line));
    }
    EXPECT_EQ(theirs.size(), 188u);
    std::erase_if(theirs, [](const Ref& r) { return r.reason & 0x80000000; });
    ASSERT_EQ(ours->size(), theirs.size());
    for (size_t i = 0; i < theirs.size(); ++i) {
        const auto& a = (*ours)[i];
        const auto& b = theirs[i];
        EXPECT_EQ(a.name, b.name) << i;
        EXPECT_EQ(a.timestamp, b.time) << i;
        EXPECT_EQ(a.reason, b.reason) << i;
        EXPECT_EQ(a.record, b.record) << i;
        EXPECT_EQ(a.parent, b.parent) << i;
    }
    // The latest 5 are the last five of the whole list.
    auto dev2 = platform::open_raw_path(path);
    auto v2 = open_volume_on(std::move(*dev2), 'N');
    auto last5 = latest_changes_on(std::move(*v2), 5);
    ASSERT_TRUE(last5.ok());
    EXPECT_EQ(*last5, std::vector<UsnChange>(ours->end() - 5, ours->end()));

    // From the journal's end nothing is new, and reading again stays put.
    auto dev3 = platform::open_raw_path(path);
    auto v3 = open_volume_on(std::move(*dev3), 'N');
    auto j = open_journal_on(std::move(*v3));
    ASSERT_TRUE(j.ok()) << j.error();
    EXPECT_EQ(j->position, 20312);
    auto b = read_journal(*j, j->position);
    ASSERT_TRUE(b.ok());
    EXPECT_TRUE(b->changes.empty());
    EXPECT_EQ(b->next, 20312);
}

TEST(Journal, SparseJournalSpreadOverExtensionRecords) {
    // Record 68310 ($UsnJrnl) of a real volume: $Max resident in the base record, $J's extents in
    // extension records 205870 (VCN 0) and 230981 (VCN 44544), mostly sparse.
    std::string error;
    const std::string path = fixture::test_image("fragments-usn.img", error);
    ASSERT_FALSE(path.empty()) << error;
    auto dev = platform::open_raw_path(path);
    ASSERT_TRUE(dev.ok());
    auto v = open_volume_on(std::move(*dev), 'U');
    ASSERT_TRUE(v.ok()) << v.error();
    auto j = find_image_journal(*v);
    ASSERT_TRUE(j.ok()) << j.error();
    EXPECT_EQ(j->record, 68310u);
    // istat read the live volume a little later than the records were copied: its $J was 14,736
    // bytes longer (6352128616). The next USN is the data size in the VCN 0 extent we have.
    EXPECT_EQ(j->next_usn, 6352113880);
    EXPECT_EQ(j->first_usn, int64_t(44544 + 1496432) * 4096);

    // The Sleuth Kit's istat lists every run of $J ("X ... Sparse" for holes).
    auto r = platform::run_process("sh", {"-c", "tar -xJOf '" + fixture::shared_testdata() +
                                                    "/go-ntfs/fragments.tar.xz' usn_with_two_vcns/istat.txt"}, true);
    ASSERT_TRUE(r.ok() && r->exit_code == 0);
    std::vector<DataRun> want;
    std::istringstream in(r->output);
    std::string line;
    while (std::getline(in, line)) {
        unsigned long long lcn, len;
        if (std::sscanf(line.c_str(), "  Starting address: X, length: %llu", &len) == 1) want.push_back({-1, len});
        else if (std::sscanf(line.c_str(), "  Starting address: %llu, length: %llu", &lcn, &len) == 2) want.push_back({int64_t(lcn), len});
    }
    ASSERT_GT(want.size(), 20u);
    // Adjacent holes may be one run or two; compare with holes merged.
    auto merged = [](std::vector<DataRun> runs) {
        std::vector<DataRun> out;
        for (const auto& x : runs) {
            if (!out.empty() && out.back().lcn < 0 && x.lcn < 0) out.back().clusters += x.clusters;
            else out.push_back(x);
        }
        return out;
    };
    const auto got = merged(j->j_runs), expected = merged(want);
    EXPECT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < std::min(got.size(), expected.size()); ++i) {
        EXPECT_EQ(got[i].lcn, expected[i].lcn) << "run " << i;
        // istat cuts the last run at the data size; the run list allocates the whole run.
        if (i + 1 < expected.size()) {
            EXPECT_EQ(got[i].clusters, expected[i].clusters) << "run " << i;
        }
    }
}
