// The service side through the registered control object: CoCreateInstance
// of the class in the built Velmora.dll, requests routed by the "-service"
// switch and by identity, against Wine's real SCM and the sample service.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Velmora.h"
#include "tests/service/SampleServiceHarness.h"

namespace {

class ServiceThroughCom : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(harness.Install(), DWORD{ERROR_SUCCESS});
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    ASSERT_EQ(CoCreateInstance(CLSID_SoftwareProcessControlManagerObject, nullptr,
                               CLSCTX_INPROC_SERVER, IID_ISoftwareProcessControlManager,
                               reinterpret_cast<void**>(&manager)),
              S_OK);
  }
  void TearDown() override {
    if (manager != nullptr) manager->Release();
    SysFreeString(identity);
    CoUninitialize();
    harness.Remove();
  }

  HRESULT Start(const wchar_t* name, const wchar_t* args, const wchar_t* ctrl) {
    std::wstring nameBuffer(name), argsBuffer(args);
    ctrlBuffer.assign(ctrl, ctrl + wcslen(ctrl) + 1);
    return manager->StartSoftwareProcess(&nameBuffer[0], &argsBuffer[0], ctrlBuffer.data(),
                                         &identity);
  }

  std::wstring Identity() const { return identity != nullptr ? identity : L"<null>"; }

  wchar_t name[32] = L"VelmoraSampleSvc";
  SampleServiceHarness harness;
  ISoftwareProcessControlManager* manager = nullptr;
  BSTR identity = nullptr;
  std::vector<wchar_t> ctrlBuffer;
};

TEST_F(ServiceThroughCom, StartQueryPauseContinueAndStopAService) {
  ASSERT_EQ(std::wstring(name), SampleServiceHarness::kName);
  EXPECT_EQ(Start(name, L"-mode demo", L"-SERVICE"), S_OK);
  EXPECT_EQ(Identity(), name);
  EXPECT_EQ(std::wstring(ctrlBuffer.data()), L"-service") << "lowered in place";
  EXPECT_EQ(harness.State(), DWORD{SERVICE_RUNNING});
  EXPECT_EQ(harness.ReadMultiString(L"LastStartArgs").back(), L"-mode demo");

  long status = 77;
  EXPECT_EQ(manager->GetProcessStatus(name, &status), S_OK);
  EXPECT_EQ(status, 77) << "the service state does not travel back";

  EXPECT_EQ(manager->PauseSoftwareProcess(name), S_OK);
  EXPECT_TRUE(harness.WaitForState(SERVICE_PAUSED, 5000));
  EXPECT_EQ(manager->ContineSoftwareProcess(name), S_OK);
  EXPECT_TRUE(harness.WaitForState(SERVICE_RUNNING, 5000));

  long forced = 5;
  EXPECT_EQ(manager->StopSoftwareProcess(name, 0, &forced), S_OK);
  EXPECT_EQ(forced, 5) << "not written for a service";
  EXPECT_EQ(harness.State(), DWORD{SERVICE_STOPPED});
  EXPECT_EQ(manager->GetProcessStatus(name, &status), S_OK);
  EXPECT_EQ(manager->StopSoftwareProcess(name, 0, nullptr), S_OK);
}

TEST_F(ServiceThroughCom, StartOfARunningServiceAnswers1066AndStillNamesIt) {
  ASSERT_EQ(Start(name, L"", L"/service"), S_OK);
  SysFreeString(identity);
  identity = nullptr;
  EXPECT_EQ(Start(name, L"", L"x -service y"), HRESULT{ERROR_SERVICE_SPECIFIC_ERROR});
  EXPECT_EQ(Identity(), name);
  EXPECT_EQ(harness.ReadDword(L"StartCount"), 1u);
}

TEST_F(ServiceThroughCom, AnUnknownServiceAnswersTheScmCode) {
  wchar_t unknown[] = L"VelmoraNoSuchService";
  EXPECT_EQ(Start(unknown, L"", L"-service"), HRESULT{ERROR_SERVICE_DOES_NOT_EXIST});
  EXPECT_EQ(Identity(), unknown);
  long status = 0;
  EXPECT_EQ(manager->GetProcessStatus(unknown, &status), HRESULT{ERROR_SERVICE_DOES_NOT_EXIST});
  EXPECT_EQ(manager->StopSoftwareProcess(unknown, 0, nullptr),
            HRESULT{ERROR_SERVICE_DOES_NOT_EXIST});
  // A refused pause or continue reaches the client too, not a false success.
  EXPECT_EQ(manager->PauseSoftwareProcess(unknown), HRESULT{ERROR_SERVICE_DOES_NOT_EXIST});
  EXPECT_EQ(manager->ContineSoftwareProcess(unknown), HRESULT{ERROR_SERVICE_DOES_NOT_EXIST});
}

}  // namespace
