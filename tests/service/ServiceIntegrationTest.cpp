// FsNtServiceControl against Wine's real Service Control Manager, with the
// sample service installed for each test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "service/FsNtServiceControl.h"
#include "tests/service/SampleServiceHarness.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

class ServiceIntegration : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(harness.Install(), DWORD{ERROR_SUCCESS}); }
  void TearDown() override { harness.Remove(); }

  DWORD QueriedState() {
    SERVICE_STATUS status{};
    const DWORD rc = control.QueryService(kName, &status);
    EXPECT_EQ(rc, 0u);
    return status.dwCurrentState;
  }

  static constexpr const wchar_t* kName = SampleServiceHarness::kName;
  SampleServiceHarness harness;
  FsNtServiceControl control;  // the real SCM
};

TEST_F(ServiceIntegration, StartsAStoppedServiceAndHandsItTheArguments) {
  EXPECT_EQ(QueriedState(), DWORD{SERVICE_STOPPED});
  EXPECT_EQ(control.StartService(kName, L"-port 8080 -verbose"), 0u);
  EXPECT_EQ(QueriedState(), DWORD{SERVICE_RUNNING});
  // ServiceMain sees exactly {name, "-port 8080 -verbose"}: the service
  // manager puts the name first, and the argument string arrives whole, once.
  EXPECT_THAT(harness.ReadMultiString(L"LastStartArgs"), ElementsAre(L"-port 8080 -verbose"));
  EXPECT_EQ(harness.ReadDword(L"LastStartArgCount"), 2u);
}

TEST_F(ServiceIntegration, StartsWithoutArgumentsWhenNoneAreGiven) {
  EXPECT_EQ(control.StartService(kName, L""), 0u);
  EXPECT_THAT(harness.ReadMultiString(L"LastStartArgs"), IsEmpty());
  EXPECT_EQ(control.StopService(kName), 0u);
  EXPECT_EQ(control.StartService(kName, nullptr), 0u);
  EXPECT_THAT(harness.ReadMultiString(L"LastStartArgs"), IsEmpty());
  EXPECT_EQ(harness.ReadDword(L"StartCount"), 2u);
}

TEST_F(ServiceIntegration, StartOfARunningServiceIs1066AndStartsNothing) {
  ASSERT_EQ(control.StartService(kName, nullptr), 0u);
  EXPECT_EQ(control.StartService(kName, L"again"), DWORD{ERROR_SERVICE_SPECIFIC_ERROR});
  EXPECT_EQ(harness.ReadDword(L"StartCount"), 1u);
  EXPECT_EQ(QueriedState(), DWORD{SERVICE_RUNNING});
}

TEST_F(ServiceIntegration, StopsARunningServiceAndAStoppedOneAnswersSuccess) {
  ASSERT_EQ(control.StartService(kName, nullptr), 0u);
  EXPECT_EQ(control.StopService(kName), 0u);
  EXPECT_EQ(QueriedState(), DWORD{SERVICE_STOPPED});
  EXPECT_EQ(control.StopService(kName), 0u);
  EXPECT_EQ(QueriedState(), DWORD{SERVICE_STOPPED});
}

TEST_F(ServiceIntegration, PausesAndContinues) {
  ASSERT_EQ(control.StartService(kName, nullptr), 0u);
  // The sample settles within its 200 ms transition, well inside the 1100 ms
  // of polls; the state is awaited all the same so a loaded machine cannot
  // fail the test on timing alone.
  EXPECT_EQ(control.PauseService(kName), 0u);
  EXPECT_TRUE(harness.WaitForState(SERVICE_PAUSED, 5000));
  EXPECT_EQ(QueriedState(), DWORD{SERVICE_PAUSED});
  EXPECT_EQ(control.PauseService(kName), 0u);
  EXPECT_EQ(control.ContinueService(kName), 0u);
  EXPECT_TRUE(harness.WaitForState(SERVICE_RUNNING, 5000));
  EXPECT_EQ(control.ContinueService(kName), 0u);
  // A paused service stops like a running one.
  EXPECT_EQ(control.PauseService(kName), 0u);
  EXPECT_TRUE(harness.WaitForState(SERVICE_PAUSED, 5000));
  EXPECT_EQ(control.StopService(kName), 0u);
  EXPECT_EQ(QueriedState(), DWORD{SERVICE_STOPPED});
}

TEST_F(ServiceIntegration, PauseAndContinueOfAStoppedServiceAre1066) {
  EXPECT_EQ(control.PauseService(kName), DWORD{ERROR_SERVICE_SPECIFIC_ERROR});
  EXPECT_EQ(control.ContinueService(kName), DWORD{ERROR_SERVICE_SPECIFIC_ERROR});
  EXPECT_EQ(QueriedState(), DWORD{SERVICE_STOPPED});
}

TEST_F(ServiceIntegration, UnknownServiceIs1060Everywhere) {
  const wchar_t* unknown = L"VelmoraNoSuchService";
  SERVICE_STATUS status{};
  EXPECT_EQ(control.QueryService(unknown, &status), DWORD{ERROR_SERVICE_DOES_NOT_EXIST});
  EXPECT_EQ(control.StartService(unknown, nullptr), DWORD{ERROR_SERVICE_DOES_NOT_EXIST});
  EXPECT_EQ(control.StopService(unknown), DWORD{ERROR_SERVICE_DOES_NOT_EXIST});
  EXPECT_EQ(control.PauseService(unknown), DWORD{ERROR_SERVICE_DOES_NOT_EXIST});
  EXPECT_EQ(control.ContinueService(unknown), DWORD{ERROR_SERVICE_DOES_NOT_EXIST});
}

TEST_F(ServiceIntegration, EmptyNamesAreRefusedOrLeftToTheScm) {
  SERVICE_STATUS status{};
  EXPECT_EQ(control.QueryService(L"", &status), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_EQ(control.StopService(L""), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_EQ(control.StartService(nullptr, nullptr), DWORD{ERROR_INVALID_PARAMETER});
  const DWORD rc = control.StartService(L"", nullptr);
  EXPECT_NE(rc, 0u);
  EXPECT_NE(rc, DWORD{ERROR_INVALID_PARAMETER});
}

TEST_F(ServiceIntegration, AServiceThatDiesDuringStartIs1066) {
  harness.SetString(L"StartBehaviour", L"die");
  EXPECT_EQ(control.StartService(kName, nullptr), DWORD{ERROR_SERVICE_SPECIFIC_ERROR});
  EXPECT_EQ(QueriedState(), DWORD{SERVICE_STOPPED});
}

TEST_F(ServiceIntegration, ASlowStartThatAdvancesItsCheckpointIsWaitedFor) {
  harness.SetDword(L"StartDelayMs", 5000);
  EXPECT_EQ(control.StartService(kName, nullptr), 0u);
  EXPECT_EQ(QueriedState(), DWORD{SERVICE_RUNNING});
}

TEST_F(ServiceIntegration, AStartThatHangsWithoutProgressEndsWith1053) {
  // The service stays START_PENDING with one checkpoint: after more than
  // 30 s without progress the wait gives up (this test takes about 35 s).
  harness.SetString(L"StartBehaviour", L"hang");
  harness.SetDword(L"HangMs", 60000);
  EXPECT_EQ(control.StartService(kName, nullptr), DWORD{ERROR_SERVICE_REQUEST_TIMEOUT});
  EXPECT_EQ(QueriedState(), DWORD{SERVICE_START_PENDING});
  // It accepts a stop while it hangs; the stop then succeeds.
  EXPECT_EQ(control.StopService(kName), 0u);
}

}  // namespace
