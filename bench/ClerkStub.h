// A realtime process table that answers every call with E_NOTIMPL, for the
// benchmark's own tables to override the few calls they answer. It is not
// reference counted: its owner keeps it alive.
#pragma once

#include <windows.h>

#include "Velmora.h"

namespace velmora_bench {

class ClerkStub : public IProcessRealtimeClerk {
 public:
  virtual ~ClerkStub() = default;

  STDMETHODIMP QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

#define VELMORA_NOT_ASKED(...) \
  override { return E_NOTIMPL; }
  STDMETHODIMP CreateProcessEntry(ULONG, LONG, LONG, LONG, LONG, LONG, LONG) VELMORA_NOT_ASKED()
  STDMETHODIMP DeleteProcessEntryByIndex(LONG) VELMORA_NOT_ASKED()
  STDMETHODIMP DeleteProcessEntryByProcessId(ULONG) VELMORA_NOT_ASKED()
  STDMETHODIMP GetNextDirtyProcessRealtimeInfo(tagProcessRealtimeInfo*) VELMORA_NOT_ASKED()
  STDMETHODIMP GetNextNewProcessRealtimeInfo(tagProcessRealtimeInfo*) VELMORA_NOT_ASKED()
  STDMETHODIMP GetProcessShutdownEventName(ULONG, BSTR*) VELMORA_NOT_ASKED()
  STDMETHODIMP GetProcessStatus(ULONG, tagPlatformProcessStatus*) VELMORA_NOT_ASKED()
  STDMETHODIMP RequestWatchdogMonitor(ULONG, LONG, LONG, LONG, LONG,
                                      tagWatchdogTimeoutAction) VELMORA_NOT_ASKED()
  STDMETHODIMP SetStartupCompleted(ULONG) VELMORA_NOT_ASKED()
  STDMETHODIMP SetWatchdogTimeout(ULONG, LONG) VELMORA_NOT_ASKED()
  STDMETHODIMP SetWatchdogFaults(ULONG, LONG) VELMORA_NOT_ASKED()
  STDMETHODIMP SetWatchdogAction(ULONG, tagWatchdogTimeoutAction) VELMORA_NOT_ASKED()
  STDMETHODIMP SetWatchdogHeartbeat(ULONG) VELMORA_NOT_ASKED()
  STDMETHODIMP SetWatchdogActive(ULONG, LONG) VELMORA_NOT_ASKED()
  STDMETHODIMP SetProcessStatus(ULONG, tagPlatformProcessStatus) VELMORA_NOT_ASKED()
  STDMETHODIMP SetProcessStartupTimeout(ULONG, LONG) VELMORA_NOT_ASKED()
  STDMETHODIMP SetProcessShutdownTimeout(ULONG, LONG) VELMORA_NOT_ASKED()
  STDMETHODIMP GetProcessRealtimeInfoByProcessId(ULONG, tagProcessRealtimeInfo*)
      VELMORA_NOT_ASKED()
  STDMETHODIMP GetProcessRealtimeInfoByIndex(LONG, tagProcessRealtimeInfo*) VELMORA_NOT_ASKED()
  STDMETHODIMP GetProcessIdByName(LPWSTR, ULONG*) VELMORA_NOT_ASKED()
  STDMETHODIMP GetProcessIdEventName(ULONG, BSTR*) VELMORA_NOT_ASKED()
  STDMETHODIMP GetShutdownTimeout(ULONG, LONG*) VELMORA_NOT_ASKED()
#undef VELMORA_NOT_ASKED
};

}  // namespace velmora_bench
