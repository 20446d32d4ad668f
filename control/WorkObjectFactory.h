#pragma once
// How a controller obtains its two work objects.
//
// Production leaves g_workObjectFactory null and every controller builds the
// real FsNtProcessControl and FsNtServiceControl. Dispatch tests install a
// factory that hands out recording subclasses (the work operations are
// virtual), so they see which operation ran with which arguments without
// launching anything or touching the service manager.
class FsNtProcessControl;
class FsNtServiceControl;

struct WorkObjectFactory {
  FsNtProcessControl* (*createProcessControl)();  // null: the real class
  FsNtServiceControl* (*createServiceControl)();  // null: the real class
};

extern const WorkObjectFactory* g_workObjectFactory;
