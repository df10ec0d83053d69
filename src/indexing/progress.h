// The process's build progress: the one set of counters that index_volume reports into and the
// service's progress report reads.
#pragma once

#include "common/build_progress.h"

namespace nimbalo {

inline BuildProgress build_progress;

}  // namespace nimbalo
