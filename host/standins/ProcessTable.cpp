#include "host/standins/ProcessTable.h"

#include <cwchar>

#include "win32/LastError.h"
#include "win32/LockGuard.h"
#include "win32/NoDestructor.h"
#include "win32/Owners.h"

namespace velmora_host {
namespace {

// "Local\" keeps the table per session, where the node's host and the
// applications it launches meet; Wine maps it to its session namespace too.
constexpr wchar_t kMappingName[] = L"Local\\VelmoraRealtimeProcessTable";
constexpr wchar_t kMutexName[] = L"Local\\VelmoraRealtimeProcessTableLock";

// A holder of the lock that never lets go (a hung process) must not hang
// every other caller of the table for ever.
constexpr DWORD kLockTimeoutMs = 10000;

// A view of the table, unmapped when given back.
using UniqueTableView = UniqueAny<CloseWith<SharedProcessTable*, &::UnmapViewOfFile>>;

// The process-wide view of the table. It is opened on first use and kept
// for the life of the process (or module), so the table outlives any single
// clerk instance. A failed open is retried by the next caller.
class TableMapping {
 public:
  HRESULT Open(SharedProcessTable** table, HANDLE* mutex) {
    LockGuard guard(open_lock_);
    if (!view_) {
      const HRESULT hr = OpenLocked();
      if (FAILED(hr)) return hr;
    }
    *table = view_.get();
    *mutex = mutex_.get();
    return S_OK;
  }

  void Close() {
    LockGuard guard(open_lock_);
    view_.reset();
    mapping_.reset();
    mutex_.reset();
  }

 private:
  HRESULT OpenLocked() {
    UniqueHandle mutex(CreateMutexW(/*lpMutexAttributes=*/nullptr, /*bInitialOwner=*/FALSE,
                                    kMutexName));
    if (!mutex) return HResultFromLastError();
    UniqueHandle mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, /*lpAttributes=*/nullptr,
                                            PAGE_READWRITE, /*dwMaximumSizeHigh=*/0,
                                            static_cast<DWORD>(sizeof(SharedProcessTable)),
                                            kMappingName));
    if (!mapping) return HResultFromLastError();
    UniqueTableView view(static_cast<SharedProcessTable*>(MapViewOfFile(
        mapping.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(SharedProcessTable))));
    if (!view) return HResultFromLastError();
    view_ = std::move(view);
    mutex_ = std::move(mutex);
    mapping_ = std::move(mapping);
    return S_OK;
  }

  SRWLOCK open_lock_ = SRWLOCK_INIT;
  UniqueHandle mutex_;
  UniqueHandle mapping_;
  UniqueTableView view_;
};

// Built once and never destroyed: at process exit nothing of it runs. A
// module that holds the table and is unloaded gives it back with
// CloseProcessTable.
TableMapping& Mapping() {
  static NoDestructor<TableMapping> mapping;
  return *mapping;
}

}  // namespace

ProcessTableLock::ProcessTableLock() {
  HANDLE mutex = nullptr;
  status_ = Mapping().Open(&table_, &mutex);
  if (FAILED(status_)) {
    table_ = nullptr;
    return;
  }
  switch (WaitForSingleObject(mutex, kLockTimeoutMs)) {
    case WAIT_OBJECT_0:
    // A holder that died inside the lock leaves at worst one half-written
    // entry; the table as a whole stays usable, so carry on.
    case WAIT_ABANDONED:
      held_.reset(mutex);
      return;
    case WAIT_TIMEOUT:
      status_ = HRESULT_FROM_WIN32(ERROR_TIMEOUT);
      break;
    default:
      status_ = HResultFromLastError();
      break;
  }
  table_ = nullptr;
}

void CloseProcessTable() { Mapping().Close(); }

ProcessEntry* FindEntry(SharedProcessTable& table, DWORD processId) {
  for (ProcessEntry& entry : table.entries) {
    if (entry.valid && entry.processId == processId) return &entry;
  }
  return nullptr;
}

ProcessEntry* FindEntryByIdentity(SharedProcessTable& table, const wchar_t* identity) {
  for (ProcessEntry& entry : table.entries) {
    if (entry.valid && std::wcsncmp(entry.identity, identity, kIdentityChars) == 0) return &entry;
  }
  return nullptr;
}

HRESULT ResetEntry(SharedProcessTable& table, DWORD processId, const wchar_t* shutdownEventName,
                   ProcessEntry** entry) {
  if (!shutdownEventName || std::wcslen(shutdownEventName) >= kEventNameChars) {
    return E_INVALIDARG;
  }
  ProcessEntry* slot = FindEntry(table, processId);
  for (DWORD i = 0; !slot && i < kProcessTableCapacity; ++i) {
    if (!table.entries[i].valid) slot = &table.entries[i];
  }
  // Programs that ended by the shutdown contract keep their entries (marked
  // stopped) so that a stop in progress still finds them; when the table is
  // full, those are the entries nobody needs any more.
  for (DWORD i = 0; !slot && i < kProcessTableCapacity; ++i) {
    if (table.entries[i].status == kProcessStopped) slot = &table.entries[i];
  }
  if (!slot) return kTableFull;

  const DWORD now = GetTickCount();
  *slot = ProcessEntry{};
  slot->processId = processId;
  std::swprintf(slot->identity, kIdentityChars, L"Process_%lu", processId);
  std::wcscpy(slot->shutdownEventName, shutdownEventName);
  slot->status = kProcessStarting;
  slot->started = now;
  slot->lastHeartbeat = now;
  slot->dirty = 1;
  slot->fresh = 1;
  slot->valid = 1;
  *entry = slot;
  return S_OK;
}

}  // namespace velmora_host
