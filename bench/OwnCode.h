// The component's own code in a launch and a stop: the application side's
// control object, built from the module's own sources into this program and
// run in it on the real platform, with every platform call, every call into
// the realtime table and every logging operation timed as it is made. What
// is left of the request is the code between those calls.
#pragma once

#include <vector>

#include "bench/Table.h"

namespace velmora_bench {

std::vector<Row> OwnCode(int iterations);

}  // namespace velmora_bench
