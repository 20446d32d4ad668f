// Routing, null checks and result codes of the control object, seen through
// work objects that record what they were asked to do.
#include <windows.h>
#include <oleauto.h>
#include <gtest/gtest.h>

#include <string>

#include "RecordingWorkObjects.h"
#include "control/SoftwareProcessControlManager.h"
#include "module/ComObject.h"

namespace {

constexpr HRESULT kExecutableNotFound = static_cast<HRESULT>(0x8004040BL);
constexpr int kApplicationProcessObject = 0;  // see RecordingWorkObjects.h
constexpr int kServiceControllerServiceObject = 3;

std::wstring OwnExecutablePath() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

class ControlDispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CreateComInstance<CSoftwareProcessControlManager>(
                  nullptr, IID_ISoftwareProcessControlManager, reinterpret_cast<void**>(&manager_),
                  recording_),
              S_OK);
  }
  void TearDown() override {
    if (manager_ != nullptr) manager_->Release();
    SysFreeString(identity_);
  }

  const std::vector<WorkCall>& Calls() { return Journal().calls; }

  RecordingScope recording_;
  ISoftwareProcessControlManager* manager_ = nullptr;
  BSTR identity_ = nullptr;
};

TEST_F(ControlDispatchTest, EachControllerOwnsTwoWorkObjectsUntilRelease) {
  EXPECT_EQ(Journal().created, 4);
  EXPECT_EQ(Journal().destroyed, 0);
  manager_->Release();
  manager_ = nullptr;
  EXPECT_EQ(Journal().destroyed, 4);
}

TEST_F(ControlDispatchTest, ServiceSwitchInAnyCaseRoutesToServiceAndLowersCallersBuffer) {
  const struct {
    const wchar_t* ctrlArgs;
    const wchar_t* lowered;
  } cases[] = {
      {L"-SERVICE", L"-service"},
      {L"/SeRvIcE", L"/service"},
      {L"-Win /Services", L"-win /services"},  // a longer word still holds the switch
      {L"x-servicex", L"x-servicex"},
  };
  for (const auto& c : cases) {
    Journal().calls.clear();
    wchar_t buffer[64];
    wcscpy(buffer, c.ctrlArgs);
    wchar_t name[] = L"NoSuchServiceName";  // no existence check on this path
    wchar_t args[] = L"ARG1 Arg2";
    EXPECT_EQ(manager_->StartSoftwareProcess(name, args, buffer, &identity_), S_OK)
        << c.ctrlArgs;
    EXPECT_STREQ(buffer, c.lowered);
    ASSERT_EQ(Calls().size(), 1u) << c.ctrlArgs;
    EXPECT_EQ(Calls()[0].operation, L"StartService");
    EXPECT_EQ(Calls()[0].owner, kServiceControllerServiceObject);
    EXPECT_EQ(Calls()[0].name, L"NoSuchServiceName");
    EXPECT_EQ(Calls()[0].args, L"ARG1 Arg2");  // command line is not lowered
    EXPECT_STREQ(identity_, L"NoSuchServiceName");
  }
}

TEST_F(ControlDispatchTest, ServiceStartHandsBackNameAlsoWhenItFails) {
  Journal().serviceResult = ERROR_SERVICE_ALREADY_RUNNING;
  identity_ = SysAllocString(L"stale identity");
  wchar_t ctrl[] = L"/service";
  wchar_t name[] = L"Spooler";
  EXPECT_EQ(manager_->StartSoftwareProcess(name, nullptr, ctrl, &identity_),
            static_cast<HRESULT>(ERROR_SERVICE_ALREADY_RUNNING));
  EXPECT_STREQ(identity_, L"Spooler");
  EXPECT_EQ(Calls().at(0).args, L"<null>");

  // A null name is refused after the old identity has been dropped.
  EXPECT_EQ(manager_->StartSoftwareProcess(nullptr, nullptr, ctrl, &identity_), E_INVALIDARG);
  EXPECT_EQ(identity_, nullptr);
  EXPECT_EQ(Calls().size(), 1u);
}

TEST_F(ControlDispatchTest, ApplicationStartChecksExecutableThenLaunchesWithLoweredSwitches) {
  std::wstring path = OwnExecutablePath();
  wchar_t ctrl[] = L"-U dom user PW -Con";
  wchar_t args[] = L"A b";
  Journal().processResult = S_OK;
  EXPECT_EQ(manager_->StartSoftwareProcess(&path[0], args, ctrl, &identity_), S_OK);
  ASSERT_EQ(Calls().size(), 1u);
  EXPECT_EQ(Calls()[0].operation, L"StartProcess");
  EXPECT_EQ(Calls()[0].owner, kApplicationProcessObject);
  EXPECT_EQ(Calls()[0].name, path);
  EXPECT_EQ(Calls()[0].args, L"A b");
  EXPECT_EQ(Calls()[0].ctrlArgs, L"-u dom user pw -con");
  EXPECT_EQ(Calls()[0].pointer, &identity_);
  EXPECT_STREQ(identity_, L"Process_4242");

  // The launch's own failure comes back unchanged.
  Journal().processResult = static_cast<HRESULT>(0x80043404L);
  BSTR second = nullptr;
  EXPECT_EQ(manager_->StartSoftwareProcess(&path[0], args, ctrl, &second),
            static_cast<HRESULT>(0x80043404L));
  SysFreeString(second);
}

TEST_F(ControlDispatchTest, ApplicationStartOfMissingRelativeOrQuotedExecutableLaunchesNothing) {
  std::wstring path = OwnExecutablePath();
  std::wstring relative = path.substr(path.rfind(L'\\') + 1);
  std::wstring quoted = L"\"" + path + L"\"";
  std::wstring missing = path + L".missing";
  for (std::wstring* name : {&relative, &quoted, &missing}) {
    wchar_t ctrl[] = L"-con";
    EXPECT_EQ(manager_->StartSoftwareProcess(&(*name)[0], nullptr, ctrl, &identity_),
              kExecutableNotFound)
        << *name;
  }
  wchar_t ctrl[] = L"";
  EXPECT_EQ(manager_->StartSoftwareProcess(nullptr, nullptr, ctrl, &identity_),
            kExecutableNotFound);
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(identity_, nullptr);
}

TEST_F(ControlDispatchTest, StartRejectsNullOutPointerAndNullControlArguments) {
  wchar_t ctrl[] = L"-SERVICE";
  wchar_t name[] = L"svc";
  EXPECT_EQ(manager_->StartSoftwareProcess(name, nullptr, ctrl, nullptr), E_POINTER);
  EXPECT_STREQ(ctrl, L"-SERVICE");  // rejected before anything is lowered
  EXPECT_EQ(manager_->StartSoftwareProcess(name, nullptr, nullptr, &identity_), E_OUTOFMEMORY);
  EXPECT_TRUE(Calls().empty());
}

TEST_F(ControlDispatchTest, StopRoutesByExactCaseApplicationPrefix) {
  long forced = -7;
  wchar_t app[] = L"Process_1234";
  wchar_t serviceNamedLikeApp[] = L"MyProcess_Svc";
  wchar_t lowerCase[] = L"process_1234";
  Journal().processResult = S_FALSE;
  Journal().serviceResult = ERROR_SERVICE_NOT_ACTIVE;

  EXPECT_EQ(manager_->StopSoftwareProcess(app, 5000, &forced), S_FALSE);
  EXPECT_EQ(manager_->StopSoftwareProcess(serviceNamedLikeApp, 10, nullptr), S_FALSE);
  EXPECT_EQ(manager_->StopSoftwareProcess(lowerCase, 5000, &forced),
            static_cast<HRESULT>(ERROR_SERVICE_NOT_ACTIVE));
  EXPECT_EQ(forced, -7);  // the service path does not write it
  EXPECT_EQ(manager_->StopSoftwareProcess(nullptr, 0, &forced), E_POINTER);

  ASSERT_EQ(Calls().size(), 3u);
  EXPECT_EQ(Calls()[0].operation, L"StopProcess");
  EXPECT_EQ(Calls()[0].owner, kApplicationProcessObject);
  EXPECT_EQ(Calls()[0].timeout, 5000);
  EXPECT_EQ(Calls()[0].pointer, &forced);
  EXPECT_EQ(Calls()[1].operation, L"StopProcess");
  EXPECT_EQ(Calls()[1].name, L"MyProcess_Svc");
  EXPECT_EQ(Calls()[2].operation, L"StopService");
  EXPECT_EQ(Calls()[2].owner, kServiceControllerServiceObject);
  EXPECT_EQ(Calls()[2].name, L"process_1234");
}

TEST_F(ControlDispatchTest, PauseAndContinueOfApplicationDoNothingAndSucceed) {
  wchar_t app[] = L"Process_77";
  EXPECT_EQ(manager_->PauseSoftwareProcess(app), S_OK);
  EXPECT_EQ(manager_->ContineSoftwareProcess(app), S_OK);
  EXPECT_TRUE(Calls().empty());
}

TEST_F(ControlDispatchTest, PauseAndContinueOfServiceReportTheServiceResult) {
  wchar_t service[] = L"Spooler";
  EXPECT_EQ(manager_->PauseSoftwareProcess(service), S_OK);
  EXPECT_EQ(manager_->ContineSoftwareProcess(service), S_OK);
  Journal().serviceResult = ERROR_INVALID_SERVICE_CONTROL;
  EXPECT_EQ(manager_->PauseSoftwareProcess(service),
            static_cast<HRESULT>(ERROR_INVALID_SERVICE_CONTROL));
  EXPECT_EQ(manager_->ContineSoftwareProcess(service),
            static_cast<HRESULT>(ERROR_INVALID_SERVICE_CONTROL));
  // A null name counts as a service name and is refused by the controller.
  EXPECT_EQ(manager_->PauseSoftwareProcess(nullptr), E_INVALIDARG);
  EXPECT_EQ(manager_->ContineSoftwareProcess(nullptr), E_INVALIDARG);

  ASSERT_EQ(Calls().size(), 4u);
  EXPECT_EQ(Calls()[0].operation, L"PauseService");
  EXPECT_EQ(Calls()[1].operation, L"ContinueService");
  EXPECT_EQ(Calls()[0].owner, kServiceControllerServiceObject);
  EXPECT_EQ(Calls()[1].name, L"Spooler");
}

TEST_F(ControlDispatchTest, RestartSucceedsForAnythingAndDoesNothing) {
  wchar_t app[] = L"Process_1";
  EXPECT_EQ(manager_->RestartSoftwareProcess(nullptr), S_OK);
  EXPECT_EQ(manager_->RestartSoftwareProcess(app), S_OK);
  EXPECT_TRUE(Calls().empty());
}

TEST_F(ControlDispatchTest, StatusOfApplicationIsWrittenAndOfServiceLeftUntouched) {
  wchar_t app[] = L"Process_55";
  wchar_t service[] = L"Spooler";
  long status = 1234;
  Journal().statusWritten = 12;
  EXPECT_EQ(manager_->GetProcessStatus(app, &status), S_OK);
  EXPECT_EQ(status, 12);

  status = 1234;
  EXPECT_EQ(manager_->GetProcessStatus(service, &status), S_OK);
  EXPECT_EQ(status, 1234);
  Journal().serviceResult = ERROR_SERVICE_DOES_NOT_EXIST;
  EXPECT_EQ(manager_->GetProcessStatus(service, &status),
            static_cast<HRESULT>(ERROR_SERVICE_DOES_NOT_EXIST));
  EXPECT_EQ(status, 1234);

  EXPECT_EQ(manager_->GetProcessStatus(service, nullptr), E_POINTER);
  EXPECT_EQ(manager_->GetProcessStatus(nullptr, &status), E_INVALIDARG);

  ASSERT_EQ(Calls().size(), 3u);
  EXPECT_EQ(Calls()[0].operation, L"GetProcessStatus");
  EXPECT_EQ(Calls()[0].owner, kApplicationProcessObject);
  EXPECT_EQ(Calls()[1].operation, L"QueryService");
  EXPECT_EQ(Calls()[1].owner, kServiceControllerServiceObject);
}

}  // namespace
