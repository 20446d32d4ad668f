#pragma once
// Common base of the two controllers: each owns one application-process work
// object and one service work object for its whole life.
#include <windows.h>

class ApplicationWork;
class ServiceWork;
class WorkObjects;

class CProcessControl {
 public:
  // Creates both work objects. A creation that fails leaves its field null.
  explicit CProcessControl(const WorkObjects& works);
  virtual ~CProcessControl();

  CProcessControl(const CProcessControl&) = delete;
  CProcessControl& operator=(const CProcessControl&) = delete;

 protected:
  ApplicationWork* m_pFsNtProcessControl;  // owned, may be null
  ServiceWork* m_pFsNtServiceControl;      // owned, may be null
};
