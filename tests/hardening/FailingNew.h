#pragma once
// The test binary's replaceable operator new, with a knob: counted from
// Arm(), the n-th allocation of the arming thread throws std::bad_alloc.
// Only the throwing single-object form is replaced: in this toolchain's
// static libstdc++ the nothrow and array forms call it (new_opnt.o and
// new_opv.o refer to it), so `new (std::nothrow)` then answers null, as it
// would for a real shortage. A test of this file checks that they still do.
namespace failing_new {

// Counts this thread's allocations from now on; the `failAt`-th (1-based)
// throws. 0 counts without failing.
void Arm(long failAt);
// Stops counting; returns how many allocations were counted.
long Disarm();
// Whether the armed allocation was reached (and failed).
bool Tripped();

// Allocations inside the scope are neither counted nor failed: the fakes'
// own bookkeeping is not what a sweep is about.
class Paused {
 public:
  Paused();
  ~Paused();
  Paused(const Paused&) = delete;
  Paused& operator=(const Paused&) = delete;
};

}  // namespace failing_new
