#include "indexing/index_volume.h"

#include "index/build.h"
#include "indexing/progress.h"
#include "mft/mft_reader.h"
#include "mft/volume.h"

namespace nimbalo {

Result<Index> index_volume(char letter) {
    auto volume = open_volume(letter);
    if (!volume) return std::move(volume).take_error();
    auto records = read_mft(*volume, &build_progress);
    volume->device.reset();  // close the volume on both paths
    if (!records) return std::move(records).take_error();
    build_progress.state.store(BuildProgress::kBuildingIndex, std::memory_order_relaxed);
    Index index = build_index(std::move(*records), letter);
    build_progress.state.store(BuildProgress::kBuilt, std::memory_order_relaxed);
    return index;
}

}  // namespace nimbalo
