#include "control/ProcessControl.h"

#include <memory>
#include <new>

#include "control/WorkObjectFactory.h"
#include "process/FsNtProcessControl.h"
#include "service/FsNtServiceControl.h"

const WorkObjectFactory* g_workObjectFactory = nullptr;

namespace {

FsNtProcessControl* NewProcessControl() {
  if (g_workObjectFactory != nullptr && g_workObjectFactory->createProcessControl != nullptr)
    return g_workObjectFactory->createProcessControl();
  return new (std::nothrow) FsNtProcessControl();
}

FsNtServiceControl* NewServiceControl() {
  if (g_workObjectFactory != nullptr && g_workObjectFactory->createServiceControl != nullptr)
    return g_workObjectFactory->createServiceControl();
  return new (std::nothrow) FsNtServiceControl();
}

}  // namespace

// The first work object is owned here until the second one exists, so a
// creation that throws cannot leak it.
CProcessControl::CProcessControl()
    : m_pFsNtProcessControl(nullptr), m_pFsNtServiceControl(nullptr) {
  std::unique_ptr<FsNtProcessControl> processControl(NewProcessControl());
  m_pFsNtServiceControl = NewServiceControl();
  m_pFsNtProcessControl = processControl.release();
}

// The application work object goes first: it releases its clerk instance and
// discards its handle list; the processes it launched keep running.
CProcessControl::~CProcessControl() {
  delete m_pFsNtProcessControl;
  m_pFsNtProcessControl = nullptr;
  delete m_pFsNtServiceControl;
  m_pFsNtServiceControl = nullptr;
}
