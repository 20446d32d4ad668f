// The controllers on their own: null checks and codes in front of the work
// operations, including controllers whose work objects could not be created.
#include <windows.h>
#include <oleauto.h>
#include <gtest/gtest.h>

#include "RecordingWorkObjects.h"
#include "control/ApplicationControl.h"
#include "control/ServiceControl.h"

namespace {

TEST(ControllerContract, ApplicationControllerNullChecks) {
  RecordingScope recording;
  CApplicationControl controller(recording);
  BSTR identity = nullptr;
  long status = 0;
  wchar_t name[] = L"Process_9";
  EXPECT_EQ(controller.Start(nullptr, nullptr, nullptr, &identity), E_INVALIDARG);
  EXPECT_EQ(controller.Stop(nullptr, 0, nullptr), E_INVALIDARG);
  EXPECT_EQ(controller.Status(nullptr, &status), E_POINTER);
  // Pause and continue are refused for an application whatever the name.
  EXPECT_EQ(controller.Pause(name), E_INVALIDARG);
  EXPECT_EQ(controller.Continue(nullptr), E_INVALIDARG);
  EXPECT_TRUE(Journal().calls.empty());
}

TEST(ControllerContract, ServiceControllerNullChecksAndStatusRecordDiscarded) {
  RecordingScope recording;
  CServiceControl controller(recording);
  wchar_t name[] = L"Svc";
  EXPECT_EQ(controller.Stop(nullptr), E_INVALIDARG);
  EXPECT_EQ(controller.Pause(nullptr), E_INVALIDARG);
  EXPECT_EQ(controller.Continue(nullptr), E_INVALIDARG);
  EXPECT_EQ(controller.Status(nullptr), E_INVALIDARG);
  EXPECT_TRUE(Journal().calls.empty());
  EXPECT_EQ(controller.Status(name), S_OK);
  ASSERT_EQ(Journal().calls.size(), 1u);
  EXPECT_NE(Journal().calls[0].pointer, nullptr);  // a local record, never the caller's
}

class NoWorkObjects : public WorkObjects {
 public:
  ApplicationWork* NewApplicationWork() const override { return nullptr; }
  ServiceWork* NewServiceWork() const override { return nullptr; }
};

TEST(ControllerContract, MissingWorkObjectsAreReportedNotCalled) {
  const NoWorkObjects failing;
  CApplicationControl application(failing);
  CServiceControl service(failing);

  wchar_t name[] = L"Process_1";
  BSTR identity = nullptr;
  long status = 0;
  EXPECT_EQ(application.Start(name, nullptr, nullptr, &identity), E_OUTOFMEMORY);
  EXPECT_EQ(application.Stop(name, 0, nullptr), E_OUTOFMEMORY);
  EXPECT_EQ(application.Status(name, &status), E_OUTOFMEMORY);
  EXPECT_EQ(service.Start(name, nullptr, nullptr, &identity),
            static_cast<HRESULT>(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_EQ(identity, nullptr);
  EXPECT_EQ(service.Stop(name), static_cast<HRESULT>(ERROR_NOT_ENOUGH_MEMORY));
}

}  // namespace
