// index_volume: open a drive, read its MFT, close the drive, build its index. The quiet form used
// by the service and the MCP tools, reporting into build_progress (indexing/progress.h); the
// console has a timed form that reports each step.
#pragma once

#include "common/result.h"
#include "index/index.h"

namespace nimbalo {

Result<Index> index_volume(char letter);

}  // namespace nimbalo
