// Build progress counters: what a long index build has done so far, written by the MFT reader and
// by whoever drives the build, read without a lock by a progress report. A reader may see a
// slightly stale mix of values; each load and store is atomic (relaxed).
#pragma once

#include <atomic>
#include <cstdint>

namespace nimbalo {

struct BuildProgress {
    enum : uint8_t { kIdle = 0, kReadingMft = 1, kBuildingIndex = 2, kBuilt = 3 };

    std::atomic<uint8_t> state{kIdle};
    std::atomic<uint64_t> done{0};   // records read
    std::atomic<uint64_t> total{1};  // records expected
};

}  // namespace nimbalo
