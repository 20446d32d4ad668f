// The graceful or forced stop of a launched application.
#include "process/FsNtProcessControl.h"
#include "process/ListedProcess.h"
#include "process/ProcessApi.h"
#include "process/ProcessLog.h"
#include "process/ShutdownContract.h"
#include "win32/Owners.h"

namespace {

// PROCESS_ALL_ACCESS as the module has always asked for it.
constexpr DWORD kOpenProcessAccess = 0x1F0FFF;

}  // namespace

// The process is gone or was terminated: its entry leaves the list, unless
// another stop of it removed it first, and this request lets go of it; the
// last holder closes its handles. The lock is held through the removal, the
// message and the closes.
void FsNtProcessControl::ReleaseListed(ListedProcess* entry, DWORD processId) {
  ProcessListGuard lock;
  if (m_processHandleList.Remove(entry, lock)) {
    m_log.Category(kLogTrace,
                   L"ExistProcess closes enlisted process handle %d for process id %d. "
                   L"process handle list still have %d entries.",
                   HandleForLog(entry->process()), static_cast<int>(processId),
                   static_cast<int>(m_processHandleList.Count(lock)));
  }
  entry->Drop(lock);
}

HRESULT FsNtProcessControl::StopProcess(LPWSTR instanceName, long lShutdownTimeout,
                                        long* plProcessForceTerminated) {
  m_log.Category(kLogTrace, L"Try to stop process %s.", instanceName);
  if (plProcessForceTerminated) *plProcessForceTerminated = 0;

  if (!m_pIProcessRealtimeClerk) {
    m_log.Module(L"Failed because of no m_pIProcessRealtimeClerk.");
    return E_INVALIDARG;
  }
  unsigned long processId = 0;
  HRESULT hr = m_pIProcessRealtimeClerk->GetProcessIdByName(instanceName, &processId);
  if (FAILED(hr)) {
    m_log.Module(L"Failed on IRealTimeController->GetProcessId");
    return hr;
  }

  // The request waits on and terminates through the listed handle itself,
  // holding its entry for as long as it does, so the handle stays open and
  // the process id taken; a request that ends without releasing the process
  // (its event name could not be had) leaves it running and listed. A
  // process that is not listed is opened here, and that handle is the
  // request's own.
  ProcessHold listed;
  ApiHandle opened(m_api);
  HANDLE process = nullptr;
  {
    ProcessListGuard lock;
    if (ListedProcess* entry = m_processHandleList.Find(processId, lock)) {
      entry->Hold(lock);
      listed.reset(entry);
      process = entry->process();
      m_log.Category(kLogTrace, L"Process handle %d found for process id : %d",
                     HandleForLog(process), static_cast<int>(processId));
    } else {
      m_log.Module(L"Failed to get Process Handle: %d", static_cast<int>(processId));
      *opened.put() = m_api.OpenProcess(kOpenProcessAccess, FALSE, processId);
      if (!opened) {
        const DWORD error = m_api.GetLastError();
        if (error == ERROR_INVALID_PARAMETER) {
          m_log.Category(kLogTrace, L"OpenProcess: %d failed because process has terminated.",
                         static_cast<int>(processId));
        } else {
          m_log.Category(kLogWarning, L"Failed on OpenProcess: %d, Error 0x%x.",
                         static_cast<int>(processId), static_cast<unsigned>(error));
        }
        return S_OK;
      }
      process = opened.get();
    }
  }

  // Whatever ends the request, the handles of a process that is gone or was
  // terminated are released, and the list entry with them.
  auto releaseProcess = [&]() {
    if (opened) {
      m_log.Category(kLogTrace, L"ExistProcess closes opened process handle %d",
                     HandleForLog(opened.get()));
      opened.reset();
    } else {
      ReleaseListed(listed.release(), processId);
    }
  };

  UniqueBstr eventName;
  hr = m_pIProcessRealtimeClerk->GetProcessIdEventName(processId, eventName.put());
  if (FAILED(hr)) {
    m_log.Module(L"Failed on IRealTimeController->GetProcessId");
    return hr;  // the process runs on, still listed; only a handle opened here goes
  }

  bool force = true;
  long tableTimeout = kDefaultShutdownTimeoutMs;
  ApiHandle event(m_api, m_api.OpenEvent(kShutdownEventAccess, FALSE, eventName.get()));
  if (!event) {
    const DWORD error = m_api.GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) {
      m_log.Category(kLogTrace, L"Event:%s cannot be found. The process already terminated.",
                     eventName.get());
      releaseProcess();
      return S_FALSE;
    }
    m_log.Category(kLogWarning,
                   L"Failed OpenEvent:%s  err:%d  Force to terminate this process.",
                   eventName.get(), static_cast<int>(error));
  } else {
    m_pIProcessRealtimeClerk->GetShutdownTimeout(processId, &tableTimeout);
    const long waitTimeout = WaitTimeoutFor(lShutdownTimeout, tableTimeout);
    m_log.Category(kLogTrace,
                   L"Inform process to exit. Name:%s  PID:%ld  Event:%s  Timeout:%ld(ms)",
                   instanceName, static_cast<long>(processId), eventName.get(),
                   waitTimeout);
    m_api.SetEvent(event.get());

    bool keepWaiting = true;
    while (keepWaiting) {
      const DWORD outcome =
          m_api.WaitForSingleObject(process, static_cast<DWORD>(waitTimeout));
      if (outcome == WAIT_OBJECT_0) {
        m_log.Category(kLogTrace,
                       L"Event %s is signalled and assume process %ld has stopped gracefully.",
                       eventName.get(), static_cast<long>(processId));
        force = false;
        keepWaiting = false;
      } else if (outcome == WAIT_ABANDONED) {
        m_log.Category(kLogWarning, L"Event handle %s was abandoned by process %ld.",
                       eventName.get(), static_cast<long>(processId));
        keepWaiting = false;
      } else if (outcome == WAIT_TIMEOUT) {
        tagProcessRealtimeInfo info = {};
        hr = m_pIProcessRealtimeClerk->GetProcessRealtimeInfoByProcessId(processId, &info);
        if (FAILED(hr)) {
          m_log.Category(kLogWarning, L"GetProcessRealtimeInfoByProcessId() returned hr = 0x%x",
                         static_cast<unsigned>(hr));
          keepWaiting = false;
        } else {
          // Unsigned arithmetic keeps the age right across the tick wrap.
          const DWORD lastHeartbeat = static_cast<DWORD>(info.lTimeLastHeartbeat);
          if (m_api.GetTickCount() - lastHeartbeat > kHeartbeatMaxAgeMs) {
            const DWORD age = m_api.GetTickCount() - lastHeartbeat;
            m_log.Category(kLogTrace,
                           L"Event %s has NOT signalled within the last %d milliseconds.",
                           eventName.get(), static_cast<int>(age));
            keepWaiting = false;
          }
        }
      } else {
        // The wait itself failed: waiting again would fail again at once.
        // The process is terminated like one that stopped answering.
        const DWORD error = m_api.GetLastError();
        m_log.Category(kLogWarning, L"Wait on process %ld failed, err:%d.",
                       static_cast<long>(processId), static_cast<int>(error));
        keepWaiting = false;
      }
    }
    event.reset();
  }

  if (force) {
    m_log.Category(kLogInfo,
                   L"The process with id %d was terminated by the corvane because it "
                   L"failed to shutdown within %.3f seconds",
                   static_cast<int>(processId), static_cast<double>(tableTimeout) / 1000.0);
    m_api.TerminateProcess(process, 0);
    if (plProcessForceTerminated) *plProcessForceTerminated = 1;
    releaseProcess();
    return S_FALSE;
  }

  releaseProcess();
  return hr;
}
