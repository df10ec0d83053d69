#include <gtest/gtest.h>

#include "mft/piece_plan.h"

using namespace nimbalo;

TEST(PiecePlan, CutsRunsIntoPiecesAndStopsAtTheValidLength) {
    constexpr uint64_t M = 0x2000000;
    struct Case {
        const char* what;
        std::vector<DataRun> runs;
        uint32_t bpc;
        uint64_t valid;
        std::vector<PieceRead> want;
    } cases[] = {
        {"100,000 records of 1 KiB in one run: three full pieces and a tail",
         {{1000, 25000}}, 4096, 102400000,
         {{0, 4096000, M}, {M, 4096000 + M, M}, {2 * M, 4096000 + 2 * M, M}, {3 * M, 4096000 + 3 * M, 1736704}}},
        {"valid length stops inside a run", {{10, 100}, {500, 100}}, 4096, 4096 * 150,
         {{0, 40960, 409600}, {409600, 500 * 4096, 50 * 4096}}},
        {"preallocated runs past the valid length are not read", {{10, 4}, {20, 4}}, 4096, 4096 * 4,
         {{0, 40960, 16384}}},
        {"sparse run advances the position", {{10, 2}, {-1, 3}, {20, 1}}, 4096, 4096 * 6,
         {{0, 40960, 8192}, {8192, -1, 12288}, {20480, 81920, 4096}}},
        {"zero-length runs are passed over", {{10, 0}, {11, 1}}, 4096, 4096, {{0, 45056, 4096}}},
        {"valid length below one record", {{10, 1}}, 4096, 100, {{0, 40960, 100}}},
        {"no runs", {}, 4096, 4096, {}},
        {"huge cluster counts do not overflow", {{1, UINT64_MAX}}, 4096, 8192, {{0, 4096, 8192}}},
    };
    for (const auto& c : cases) EXPECT_EQ(plan_pieces(c.runs, c.bpc, c.valid), c.want) << c.what;
    // Records per piece: 32768 of 1 KiB, first_record 0, 32768, 65536, 98304; the tail holds 1,696.
    const auto p = plan_pieces(std::vector<DataRun>{{1000, 25000}}, 4096, 102400000);
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[3].position / 1024, 98304u);
    EXPECT_EQ(p[3].length / 1024, 1696u);
}
