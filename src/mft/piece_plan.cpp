#include "mft/piece_plan.h"

#include <algorithm>

namespace nimbalo {

std::vector<PieceRead> plan_pieces(std::span<const DataRun> runs, uint32_t bpc, uint64_t valid_length,
                                   uint64_t piece_bytes) {
    std::vector<PieceRead> plan;
    uint64_t remaining = valid_length, position = 0;
    for (const auto& run : runs) {
        if (remaining == 0) break;
        const uint64_t t = run.clusters > remaining / bpc ? remaining : run.clusters * bpc;
        if (t == 0) continue;
        if (run.lcn < 0) {
            plan.push_back({position, -1, t});
        } else {
            // A corrupt run list may place a run beyond any disk; such reads simply fail later.
            const uint64_t start = uint64_t(run.lcn) > (UINT64_MAX >> 1) / bpc ? (UINT64_MAX >> 1) : uint64_t(run.lcn) * bpc;
            for (uint64_t done = 0; done < t;) {
                const uint64_t n = std::min(t - done, piece_bytes);
                const uint64_t off = start > uint64_t(INT64_MAX) - done ? uint64_t(INT64_MAX) : start + done;
                plan.push_back({position + done, int64_t(off), n});
                done += n;
            }
        }
        position += t;
        remaining -= t;
    }
    return plan;
}

}  // namespace nimbalo
