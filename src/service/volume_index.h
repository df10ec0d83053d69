// index_volume: the quiet whole-volume build the service runs at start and on every rebuild —
// open the volume, read its MFT, close the volume, build the index. Prints nothing; the build
// progress counters move as the reader and the build advance.
// Blocks the caller for the length of a full MFT read; thread-safe (each call opens its own volume).
#pragma once

#include "common/result.h"
#include "index/index.h"

namespace nimbalo {

Result<Index> index_volume(char letter);

}  // namespace nimbalo
