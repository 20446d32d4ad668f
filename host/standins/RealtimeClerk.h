// ProcessRealtimeClerkObject: IProcessRealtimeClerk over the machine-wide
// realtime process table. The object itself holds nothing but its reference
// count; every call takes the table's lock, so any thread may call it.
#pragma once

#include <windows.h>

#include "Velmora.h"

namespace velmora_host {

class ProcessRealtimeClerkObject final : public IProcessRealtimeClerk {
 public:
  static HRESULT Create(REFIID iid, void** object);

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP CreateProcessEntry(ULONG dwProcessId, LONG bRequestWatchdogMonitor,
                                  LONG lStartupTimeout, LONG lShutdownTimeout,
                                  LONG lWatchdogTimeout, LONG lWatchdogFaults,
                                  LONG lWatchdogAction) override;
  STDMETHODIMP DeleteProcessEntryByIndex(LONG lEntryIndex) override;
  STDMETHODIMP DeleteProcessEntryByProcessId(ULONG dwProcessId) override;
  STDMETHODIMP GetNextDirtyProcessRealtimeInfo(tagProcessRealtimeInfo* pRuntimeInfo) override;
  STDMETHODIMP GetNextNewProcessRealtimeInfo(tagProcessRealtimeInfo* pRuntimeInfo) override;
  STDMETHODIMP GetProcessShutdownEventName(ULONG dwProcessId, BSTR* pbstrName) override;
  STDMETHODIMP GetProcessStatus(ULONG dwProcessId, tagPlatformProcessStatus* pStatus) override;
  STDMETHODIMP RequestWatchdogMonitor(ULONG dwProcessId, LONG lmsStartupTimeout,
                                      LONG lmsShutdownTimeout, LONG lmsWatchdogTime,
                                      LONG lWatchdogFault,
                                      tagWatchdogTimeoutAction lWatchdogAction) override;
  STDMETHODIMP SetStartupCompleted(ULONG dwProcessId) override;
  STDMETHODIMP SetWatchdogTimeout(ULONG dwProcessId, LONG lmsTimeout) override;
  STDMETHODIMP SetWatchdogFaults(ULONG dwProcessId, LONG numFaults) override;
  STDMETHODIMP SetWatchdogAction(ULONG dwProcessId, tagWatchdogTimeoutAction action) override;
  STDMETHODIMP SetWatchdogHeartbeat(ULONG dwProcessId) override;
  STDMETHODIMP SetWatchdogActive(ULONG dwProcessId, LONG bSetting) override;
  STDMETHODIMP SetProcessStatus(ULONG dwProcessId, tagPlatformProcessStatus status) override;
  STDMETHODIMP SetProcessStartupTimeout(ULONG dwProcessId, LONG lmsTimeout) override;
  STDMETHODIMP SetProcessShutdownTimeout(ULONG dwProcessId, LONG lmsTimeout) override;
  STDMETHODIMP GetProcessRealtimeInfoByProcessId(ULONG dwProcessId,
                                                 tagProcessRealtimeInfo* pRuntimeInfo) override;
  STDMETHODIMP GetProcessRealtimeInfoByIndex(LONG lEntryIndex,
                                             tagProcessRealtimeInfo* pRuntimeInfo) override;
  STDMETHODIMP GetProcessIdByName(LPWSTR szIdentity, ULONG* dwProcessId) override;
  STDMETHODIMP GetProcessIdEventName(ULONG dwProcessId, BSTR* pbstrEvent) override;
  STDMETHODIMP GetShutdownTimeout(ULONG dwProcessId, LONG* pTimeout) override;

 private:
  ProcessRealtimeClerkObject();
  ~ProcessRealtimeClerkObject();

  LONG refs_ = 1;
};

}  // namespace velmora_host
