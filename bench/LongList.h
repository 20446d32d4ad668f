// The process handle list's own cost when it is long: a launch and the stop
// of the newest program with `listed` programs listed, against the same on
// an empty list, on fakes of the operating system and the realtime table
// that answer at once. Programs that end by themselves stay listed until a
// stop names them, so a host that never stops them carries a long list.
#pragma once

#include <vector>

#include "bench/Table.h"

namespace velmora_bench {

std::vector<Row> LongList(int listed, int iterations);

}  // namespace velmora_bench
