#include "index/index_volume.h"

#include "index/build.h"
#include "mft/mft_reader.h"
#include "mft/volume.h"

namespace nimbalo {

Result<Index> index_volume(char letter) {
    auto volume = open_volume(letter);
    if (!volume) return std::move(volume).take_error();
    auto records = read_mft(*volume);
    volume->device.reset();  // close the volume on both paths
    if (!records) return std::move(records).take_error();
    return build_index(std::move(*records), letter);
}

}  // namespace nimbalo
