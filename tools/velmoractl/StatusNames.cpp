#include "tools/velmoractl/StatusNames.h"

#include "Velmora.h"

namespace {

struct StatusName {
  long value;
  const wchar_t* name;
};

// Spelled out against the type library's enumerators, so a renumbering there
// cannot silently mislabel a status here.
constexpr StatusName kProcessStatus[] = {
    {PROCESS_STARTING, L"PROCESS_STARTING"},
    {PROCESS_START_FAILED, L"PROCESS_START_FAILED"},
    {PROCESS_STARTED, L"PROCESS_STARTED"},
    {PROCESS_STOPPING, L"PROCESS_STOPPING"},
    {PROCESS_STOP_FAILED, L"PROCESS_STOP_FAILED"},
    {PROCESS_STOPPED, L"PROCESS_STOPPED"},
    {PROCESS_TROUBLE, L"PROCESS_TROUBLE"},
    {PROCESS_FAILED, L"PROCESS_FAILED"},
    {PROCESS_STARTING_ACTIVE, L"PROCESS_STARTING_ACTIVE"},
    {PROCESS_STARTING_STANDBY, L"PROCESS_STARTING_STANDBY"},
    {PROCESS_SWITCHING_STANDBY, L"PROCESS_SWITCHING_STANDBY"},
    {PROCESS_STOPPING_STANDBY, L"PROCESS_STOPPING_STANDBY"},
    {PROCESS_RUNNING_ACTIVE, L"PROCESS_RUNNING_ACTIVE"},
    {PROCESS_RUNNING_STANDBY, L"PROCESS_RUNNING_STANDBY"},
    {PROCESS_STOPPED_STANDBY, L"PROCESS_STOPPED_STANDBY"},
};

constexpr StatusName kServiceState[] = {
    {SERVICE_STOPPED, L"STOPPED"},
    {SERVICE_START_PENDING, L"START_PENDING"},
    {SERVICE_STOP_PENDING, L"STOP_PENDING"},
    {SERVICE_RUNNING, L"RUNNING"},
    {SERVICE_CONTINUE_PENDING, L"CONTINUE_PENDING"},
    {SERVICE_PAUSE_PENDING, L"PAUSE_PENDING"},
    {SERVICE_PAUSED, L"PAUSED"},
};

template <size_t N>
const wchar_t* Lookup(const StatusName (&table)[N], long value) {
  for (const StatusName& entry : table) {
    if (entry.value == value) return entry.name;
  }
  return nullptr;
}

}  // namespace

const wchar_t* ProcessStatusName(long status) { return Lookup(kProcessStatus, status); }

const wchar_t* ServiceStateName(DWORD state) {
  return Lookup(kServiceState, static_cast<long>(state));
}
