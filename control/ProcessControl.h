#pragma once
// Common base of the two controllers: each owns one application-process work
// object and one service work object for its whole life.
#include <windows.h>

class FsNtProcessControl;
class FsNtServiceControl;

class CProcessControl {
 public:
  // Creates both work objects. A creation that fails leaves its field null.
  CProcessControl();
  virtual ~CProcessControl();

  CProcessControl(const CProcessControl&) = delete;
  CProcessControl& operator=(const CProcessControl&) = delete;

 protected:
  FsNtProcessControl* m_pFsNtProcessControl;  // owned, may be null
  FsNtServiceControl* m_pFsNtServiceControl;  // owned, may be null
};
