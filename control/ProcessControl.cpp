#include "control/ProcessControl.h"

#include <memory>
#include <new>

#include "control/WorkObjects.h"
#include "process/FsNtProcessControl.h"
#include "service/FsNtServiceControl.h"
#include "win32/NoDestructor.h"

namespace {

class SystemWorks final : public WorkObjects {
 public:
  ApplicationWork* NewApplicationWork() const override {
    return new (std::nothrow) FsNtProcessControl();
  }
  ServiceWork* NewServiceWork() const override { return new (std::nothrow) FsNtServiceControl(); }
};

}  // namespace

const WorkObjects& SystemWorkObjects() {
  static NoDestructor<SystemWorks> works;
  return *works;
}

// The first work object is owned here until the second one exists, so a
// creation that throws cannot leak it.
CProcessControl::CProcessControl(const WorkObjects& works)
    : m_pFsNtProcessControl(nullptr), m_pFsNtServiceControl(nullptr) {
  std::unique_ptr<ApplicationWork> processControl(works.NewApplicationWork());
  m_pFsNtServiceControl = works.NewServiceWork();
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
