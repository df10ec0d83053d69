// Build progress counters, process-wide, written by the MFT reader and the index build and
// read without a lock by the service's progress report. A reader may see a slightly stale
// mix of values; each load and store is atomic (relaxed).
#pragma once

#include <atomic>
#include <cstdint>

namespace nimbalo::progress {

enum : uint8_t { kIdle = 0, kReadingMft = 1, kBuildingIndex = 2, kBuilt = 3 };

inline std::atomic<uint8_t> state{kIdle};
inline std::atomic<uint64_t> done{0};
inline std::atomic<uint64_t> total{1};

}  // namespace nimbalo::progress
