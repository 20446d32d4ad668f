// Every heap allocation of a request fails in turn: the n-th allocation that
// the module makes for a creation, a launch, a stop, a service start and a
// service stop throws std::bad_alloc, for every n until the request completes
// without reaching it. The requests go through the class factory and the
// control object's interface, as a host's do, onto the scripted fakes. Each
// must answer success or an error of its route, E_OUTOFMEMORY on the
// application side and 8 on the service side; no exception may come out; and
// the fakes must show no process left suspended, no handle open beyond the
// listed ones, no reference kept and no work object left alive.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <new>
#include <string>
#include <vector>

#include "control/HostInterfaces.h"
#include "control/SoftwareProcessControlManager.h"
#include "control/WorkObjects.h"
#include "harness/GuardedProcessApi.h"
#include "module/ClassFactory.h"
#include "module/ComObject.h"
#include "module/ModuleRecord.h"
#include "process/FsNtProcessControl.h"
#include "service/FsNtServiceControl.h"
#include "tests/hardening/FailingNew.h"
#include "tests/process/ProcessFakes.h"
#include "tests/process/ProcessListProbe.h"
#include "tests/service/FakeScm.h"

namespace {

using failing_new::Paused;

constexpr HRESULT kServiceOutOfMemory = static_cast<HRESULT>(ERROR_NOT_ENOUGH_MEMORY);
// A bound on the sweep; every request here makes far fewer allocations.
constexpr long kMaxAllocations = 1000;

// The fakes with their own allocations (call journals, scripts) kept out of
// the count.
using QuietProcessApi = GuardedProcessApi<process_test::FakeProcessApi, Paused>;

class QuietLog : public process_test::FakeLog {
 public:
  void WriteV(int category, const wchar_t* format, va_list args) override {
    Paused p;
    FakeLog::WriteV(category, format, args);
  }
  void WriteModuleV(const wchar_t* format, va_list args) override {
    Paused p;
    FakeLog::WriteModuleV(format, args);
  }
};

class QuietClerk : public process_test::FakeClerk {
 public:
  HRESULT STDMETHODCALLTYPE GetProcessIdByName(LPWSTR identity, ULONG* pid) override {
    Paused p;
    return FakeClerk::GetProcessIdByName(identity, pid);
  }
  HRESULT STDMETHODCALLTYPE GetProcessIdEventName(ULONG pid, BSTR* name) override {
    Paused p;
    return FakeClerk::GetProcessIdEventName(pid, name);
  }
  HRESULT STDMETHODCALLTYPE GetShutdownTimeout(ULONG pid, LONG* timeout) override {
    Paused p;
    return FakeClerk::GetShutdownTimeout(pid, timeout);
  }
  HRESULT STDMETHODCALLTYPE GetProcessRealtimeInfoByProcessId(
      ULONG pid, tagProcessRealtimeInfo* info) override {
    Paused p;
    return FakeClerk::GetProcessRealtimeInfoByProcessId(pid, info);
  }
};

class QuietScm : public ScmApi {
 public:
  explicit QuietScm(FakeScm& inner) : m_inner(inner) {}
  DWORD OpenManager(LPCWSTR machine, LPCWSTR database, DWORD access,
                    SC_HANDLE* manager) override {
    Paused p;
    return m_inner.OpenManager(machine, database, access, manager);
  }
  DWORD OpenNamedService(SC_HANDLE manager, LPCWSTR name, DWORD access,
                         SC_HANDLE* service) override {
    Paused p;
    return m_inner.OpenNamedService(manager, name, access, service);
  }
  void Close(SC_HANDLE handle) override { Paused p; m_inner.Close(handle); }
  DWORD QueryStatus(SC_HANDLE service, SERVICE_STATUS* status) override {
    Paused p;
    return m_inner.QueryStatus(service, status);
  }
  DWORD Start(SC_HANDLE service, DWORD argc, LPCWSTR* argv) override {
    Paused p;
    return m_inner.Start(service, argc, argv);
  }
  DWORD Control(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) override {
    Paused p;
    return m_inner.Control(service, control, status);
  }
  DWORD EnumDependents(SC_HANDLE service, DWORD state, ENUM_SERVICE_STATUSW* buffer,
                       DWORD size, DWORD* needed, DWORD* returned) override {
    Paused p;
    return m_inner.EnumDependents(service, state, buffer, size, needed, returned);
  }
  void SleepFor(DWORD milliseconds) override { Paused p; m_inner.SleepFor(milliseconds); }

 private:
  FakeScm& m_inner;
};

// The fakes of one run, and the work objects the controllers made on them.
struct World {
  QuietProcessApi api;
  QuietLog log;
  QuietClerk clerk;
  FakeScm scm;
  QuietScm quietScm{scm};
  std::vector<FsNtProcessControl*> processControls;  // creation order
  int liveWorkObjects = 0;
};
World* g_world = nullptr;

// The real work objects on the fakes, counted in and out. Allocated the way
// the controllers allocate their own: a failure leaves the field null.
class CountedProcessControl : public FsNtProcessControl {
 public:
  CountedProcessControl() : FsNtProcessControl(&g_world->clerk, g_world->api, g_world->log) {
    ++g_world->liveWorkObjects;
  }
  ~CountedProcessControl() override { --g_world->liveWorkObjects; }
};

class CountedServiceControl : public FsNtServiceControl {
 public:
  CountedServiceControl() : FsNtServiceControl(g_world->quietScm) { ++g_world->liveWorkObjects; }
  ~CountedServiceControl() override { --g_world->liveWorkObjects; }
};

class FakeWorkObjects : public WorkObjects {
 public:
  ApplicationWork* NewApplicationWork() const override {
    FsNtProcessControl* control = new (std::nothrow) CountedProcessControl();
    if (control != nullptr) {
      Paused p;
      g_world->processControls.push_back(control);
    }
    return control;
  }
  ServiceWork* NewServiceWork() const override {
    return new (std::nothrow) CountedServiceControl();
  }
};
const FakeWorkObjects kFakeWorkObjects;

// The object map's instance creator, as the module's own entry has it.
HRESULT WINAPI CreateControlObject(IUnknown* outer, REFIID iid, void** result) {
  return CreateComInstance<CSoftwareProcessControlManager>(outer, iid, result, kFakeWorkObjects);
}

enum class Request { kCreate, kLaunch, kStop, kServiceStart, kServiceStop };

const char* RequestName(Request request) {
  switch (request) {
    case Request::kCreate: return "Create";
    case Request::kLaunch: return "Launch";
    case Request::kStop: return "Stop";
    case Request::kServiceStart: return "ServiceStart";
    case Request::kServiceStop: return "ServiceStop";
  }
  return "?";
}

std::wstring OwnPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

std::vector<FakeStep> Steps(std::initializer_list<DWORD> states) {
  std::vector<FakeStep> steps;
  DWORD checkPoint = 0;
  for (DWORD state : states) steps.push_back(FakeStep{state, ++checkPoint, 3000});
  return steps;
}

// One request with its n-th allocation failing.
class SweepRun {
 public:
  explicit SweepRun(Request request) : m_request(request) {
    g_world = &m_world;
    m_locksBefore = ModuleLockCount();
    m_clerkRefs = m_world.clerk.refs;
    EXPECT_EQ(CreateClassFactory(&CreateControlObject, IID_IClassFactory,
                                 reinterpret_cast<void**>(&m_factory)),
              S_OK);
    if (request != Request::kCreate) Create();
    Prepare();
  }

  ~SweepRun() {
    if (m_object != nullptr) m_object->Release();
    if (m_factory != nullptr) m_factory->Release();
    // Nothing outlives the object: its work objects, their references to
    // the table, the module lock, and any handle but those it discarded.
    EXPECT_EQ(m_world.liveWorkObjects, 0);
    EXPECT_EQ(m_world.clerk.refs, m_clerkRefs);
    EXPECT_EQ(ModuleLockCount(), m_locksBefore);
    EXPECT_TRUE(m_world.api.open.empty()) << m_world.api.open.size() << " handles open";
    EXPECT_EQ(m_world.scm.OpenHandles(), 0u);
    SysFreeString(m_identity);
    g_world = nullptr;
  }

  // Runs the request with allocation `failAt` failing; false when the request
  // never reached it, that is, completed.
  bool Execute(long failAt) {
    failing_new::Arm(failAt);
    try {
      m_result = Invoke();
    } catch (...) {
      failing_new::Disarm();
      ADD_FAILURE() << "an exception left the module";
      return false;
    }
    m_allocations = failing_new::Disarm();
    return failing_new::Tripped();
  }

  HRESULT result() const { return m_result; }
  long allocations() const { return m_allocations; }

  // What the request left behind, checked while the object still lives.
  void CheckRoute() {
    const bool service = m_request == Request::kServiceStart ||
                         m_request == Request::kServiceStop;
    const HRESULT outOfMemory = service ? kServiceOutOfMemory : E_OUTOFMEMORY;
    EXPECT_TRUE(m_result == S_OK || m_result == outOfMemory)
        << std::hex << "0x" << static_cast<unsigned long>(m_result);
    EXPECT_EQ(m_world.scm.OpenHandles(), 0u);
    EXPECT_EQ(m_world.scm.badCloses, 0);
    EXPECT_EQ(m_world.api.badCloses, 0);
    // A created object was released within the request.
    if (service || m_request == Request::kCreate) return;

    // Open handles are exactly those of listed processes.
    size_t listed = 0;
    for (FsNtProcessControl* control : m_world.processControls)
      listed += ProcessListProbe::Count(*control);
    EXPECT_EQ(m_world.api.open.size(), 2 * listed);
    // No process is left suspended: each was resumed, or terminated.
    for (const PROCESS_INFORMATION& created : m_world.api.created) {
      const bool resumed = Contains(m_world.api.resumed, created.hThread);
      const bool terminated = Contains(m_world.api.terminated, created.hProcess);
      EXPECT_TRUE(resumed || terminated) << "process " << created.dwProcessId;
      // A launch hands out a running process or none.
      if (m_request == Request::kLaunch) {
        EXPECT_NE(resumed, terminated);
      }
    }
    if (m_request == Request::kLaunch) {
      EXPECT_EQ(listed, m_result == S_OK ? 1u : 0u);
      EXPECT_EQ(m_identity != nullptr, m_result == S_OK);
    }
    if (m_request == Request::kStop && m_result == S_OK) {
      EXPECT_EQ(listed, 0u);
      EXPECT_EQ(m_forced, 0);
    }
  }

 private:
  static bool Contains(const std::vector<HANDLE>& handles, HANDLE handle) {
    for (HANDLE h : handles)
      if (h == handle) return true;
    return false;
  }

  void Create() {
    EXPECT_EQ(m_factory->CreateInstance(nullptr, IID_ISoftwareProcessControlManager,
                                        reinterpret_cast<void**>(&m_object)),
              S_OK);
  }

  void Prepare() {
    switch (m_request) {
      case Request::kStop: {
        BSTR identity = nullptr;
        wchar_t ctrl[] = L"";
        std::wstring exe = OwnPath();
        EXPECT_EQ(m_object->StartSoftwareProcess(&exe[0], nullptr, ctrl, &identity), S_OK);
        m_stopName = identity != nullptr ? identity : L"";
        SysFreeString(identity);
        m_world.clerk.processId = m_world.api.created.back().dwProcessId;
        m_world.api.waitScript = {WAIT_TIMEOUT, WAIT_OBJECT_0};
        m_world.clerk.AddHeartbeat(&m_world.api.now, 1000);
        break;
      }
      case Request::kServiceStart:
        m_world.scm.Add(L"Target", Steps({SERVICE_STOPPED, SERVICE_START_PENDING,
                                          SERVICE_RUNNING}));
        break;
      case Request::kServiceStop:
        m_world.scm.Add(L"Target", Steps({SERVICE_RUNNING, SERVICE_STOP_PENDING,
                                          SERVICE_STOPPED}));
        m_world.scm.Add(L"Dependent", Steps({SERVICE_RUNNING, SERVICE_STOPPED}));
        m_world.scm.Service(L"Target").dependents = {L"Dependent"};
        break;
      default:
        break;
    }
    m_exe = OwnPath();
  }

  HRESULT Invoke() {
    switch (m_request) {
      case Request::kCreate: {
        HRESULT hr = m_factory->CreateInstance(nullptr, IID_ISoftwareProcessControlManager,
                                               reinterpret_cast<void**>(&m_object));
        if (m_object != nullptr) {
          m_object->Release();
          m_object = nullptr;
        }
        return hr;
      }
      case Request::kLaunch: {
        // An account switch, so the scan, the logon and the desktop grant run.
        wchar_t ctrl[] = L"-U dom user pw -con";
        return m_object->StartSoftwareProcess(&m_exe[0], const_cast<LPWSTR>(L"a b"), ctrl,
                                              &m_identity);
      }
      case Request::kStop:
        return m_object->StopSoftwareProcess(&m_stopName[0], 100, &m_forced);
      case Request::kServiceStart: {
        wchar_t ctrl[] = L"-service";
        return m_object->StartSoftwareProcess(const_cast<LPWSTR>(L"Target"),
                                              const_cast<LPWSTR>(L"-x"), ctrl, &m_identity);
      }
      case Request::kServiceStop:
        return m_object->StopSoftwareProcess(const_cast<LPWSTR>(L"Target"), 0, nullptr);
    }
    return E_UNEXPECTED;
  }

  Request m_request;
  World m_world;
  IClassFactory* m_factory = nullptr;
  ISoftwareProcessControlManager* m_object = nullptr;
  LONG m_locksBefore = 0;
  ULONG m_clerkRefs = 0;
  std::wstring m_exe;
  std::wstring m_stopName;
  BSTR m_identity = nullptr;
  long m_forced = -5;
  HRESULT m_result = E_UNEXPECTED;
  long m_allocations = 0;
};

class AllocationSweep : public ::testing::TestWithParam<Request> {};

TEST_P(AllocationSweep, EachFailureAnswersItsRouteAndLeavesNothing) {
  const Request request = GetParam();
  long completedAfter = 0;
  for (long n = 1; n <= kMaxAllocations; ++n) {
    SCOPED_TRACE(std::string(RequestName(request)) + ": allocation #" + std::to_string(n) +
                 " fails");
    SweepRun run(request);
    const bool tripped = run.Execute(n);
    run.CheckRoute();
    if (!tripped) {
      // Nothing failed: the request must have done what it was asked.
      EXPECT_EQ(run.result(), S_OK);
      completedAfter = run.allocations();
      break;
    }
    ASSERT_LT(n, kMaxAllocations) << "the request never completed";
  }
  RecordProperty("allocations", static_cast<int>(completedAfter));
  std::printf("%s: %ld allocations swept\n", RequestName(request), completedAfter);
}

INSTANTIATE_TEST_SUITE_P(Requests, AllocationSweep,
                         ::testing::Values(Request::kCreate, Request::kLaunch, Request::kStop,
                                           Request::kServiceStart, Request::kServiceStop),
                         [](const ::testing::TestParamInfo<Request>& info) {
                           return std::string(RequestName(info.param));
                         });

// Where an allocation lands, so that the compiler cannot elide it.
wchar_t* volatile g_kept = nullptr;

// The sweep replaces only the throwing operator new. The module allocates
// mostly with `new (std::nothrow)`, single objects and arrays; in this
// toolchain's static libstdc++ those call the throwing form, so the sweep
// sees and fails them too. Should a toolchain change that, this fails first.
TEST(AllocationSweepReach, NothrowAndArrayFormsFailWithTheReplacedOne) {
  failing_new::Arm(1);
  int* single = new (std::nothrow) int(7);
  EXPECT_TRUE(failing_new::Tripped());
  failing_new::Arm(1);
  wchar_t* array = new (std::nothrow) wchar_t[16];
  EXPECT_TRUE(failing_new::Tripped());
  failing_new::Arm(1);
  bool threw = false;
  try {
    g_kept = new wchar_t[16];
  } catch (const std::bad_alloc&) {
    threw = true;
  }
  failing_new::Disarm();
  delete[] g_kept;
  EXPECT_EQ(single, nullptr);
  EXPECT_EQ(array, nullptr);
  EXPECT_TRUE(threw);
  delete single;
  delete[] array;
}

}  // namespace
