#include "tools/velmoractl/StopOutcome.h"

#include "tools/velmoractl/RealtimeTable.h"
#include "tools/velmoractl/StatusNames.h"

namespace {

bool StillThere(Presence presence) {
  return presence == Presence::kRunning || presence == Presence::kUnknown;
}

}  // namespace

bool NeedsLookAfterStop(HRESULT result, long forced) {
  return SUCCEEDED(result) && !(result == S_FALSE && forced);
}

StopOutcome ApplicationStopOutcome(HRESULT result, long forced, Presence before,
                                   Presence after) {
  if (FAILED(result)) return {};
  if (result == S_FALSE && forced) return {L"terminated", true};
  // S_FALSE unforced: the module found no shutdown event and took the
  // program as gone. Any other success: it ended on its event, or the module
  // could not open it and did nothing.
  const bool noEvent = result == S_FALSE;
  if (StillThere(after)) {
    return {noEvent ? L"still running (its shutdown event does not exist)"
                    : L"still running (the module could not open it)",
            false};
  }
  if (!noEvent && StillThere(before)) return {L"ended by itself", true};
  return {L"already gone", true};
}

StopOutcome ServiceStopOutcome(DWORD state) {
  if (state == SERVICE_STOPPED) return {L"stopped", true};
  const wchar_t* name = ServiceStateName(state);
  return {L"still " + (name ? std::wstring(name) : std::to_wstring(state)), false};
}

Presence SystemApplicationLookout::Before(const std::wstring& identity) {
  probe_ = ProcessProbe();
  RealtimeTable table;
  DWORD processId = 0;
  if (FAILED(table.Create()) || FAILED(table.ProcessIdOf(identity, &processId))) {
    // The module resolves the identity through the same table and fails the
    // same way; the look after such a request is never needed.
    return Presence::kAbsent;
  }
  probe_ = ProcessProbe(processId);
  return probe_.first();
}

// A probe that found nothing before answers kAbsent.
Presence SystemApplicationLookout::After() { return probe_.Now(kExitGraceMs); }
