#pragma once
// Where a controller gets its two work objects: passed in when the control
// object is made. The module's objects get the real FsNtProcessControl and
// FsNtServiceControl (SystemWorkObjects); dispatch tests pass objects that
// record what they are asked to do.
#include "process/ApplicationWork.h"
#include "service/ServiceWork.h"

class WorkObjects {
 public:
  virtual ~WorkObjects() = default;
  // A new work object, owned by the caller; null when it cannot be made.
  virtual ApplicationWork* NewApplicationWork() const = 0;
  virtual ServiceWork* NewServiceWork() const = 0;
};

const WorkObjects& SystemWorkObjects();
