// The shared layout of the realtime process table and the lock that guards it.
//
// The table lives in a named, pagefile-backed file mapping, so it starts out
// zeroed (every entry invalid) and lasts as long as any process holds it open.
// Its layout uses fixed-size fields only, so 32- and 64-bit processes agree.
#pragma once

#include <windows.h>

#include <cstddef>

#include "win32/UniqueAny.h"

namespace velmora_host {

constexpr DWORD kProcessTableCapacity = 256;
constexpr size_t kIdentityChars = 64;
constexpr size_t kEventNameChars = 128;

// tagPlatformProcessStatus values the stand-ins set themselves.
constexpr LONG kProcessStarting = 0;
constexpr LONG kProcessStarted = 2;
constexpr LONG kProcessStopped = 5;

// What an unknown process id, identity or index gives.
const HRESULT kEntryNotFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
// What entering a process into a full table gives.
const HRESULT kTableFull = HRESULT_FROM_WIN32(ERROR_DATABASE_FULL);

// The shutdown event name the stand-ins use when nobody names one.
constexpr wchar_t kShutdownEventPrefix[] = L"VelmoraShutdown_";

struct ProcessEntry {
  LONG valid;
  LONG dirty;           // changed since a reader last asked for dirty entries
  LONG fresh;           // created since a reader last asked for new entries
  LONG monitorActive;
  LONG watchdogActive;
  DWORD processId;
  LONG watchdogAction;
  LONG watchdogTimeout;
  LONG watchdogFaults;
  LONG startupTimeout;
  LONG shutdownTimeout;
  LONG status;
  DWORD lastHeartbeat;  // GetTickCount() clock
  DWORD started;
  DWORD startupCompleted;
  wchar_t identity[kIdentityChars];
  wchar_t shutdownEventName[kEventNameChars];
};

struct SharedProcessTable {
  ProcessEntry entries[kProcessTableCapacity];
};

// Holds the table's machine-wide mutex for its lifetime. status() is S_OK
// when the table is mapped and the lock is held; otherwise table() must not
// be used.
class ProcessTableLock {
 public:
  ProcessTableLock();
  ProcessTableLock(const ProcessTableLock&) = delete;
  ProcessTableLock& operator=(const ProcessTableLock&) = delete;

  HRESULT status() const { return status_; }
  SharedProcessTable& table() const { return *table_; }

 private:
  // A mutex this thread holds, released when given back. The handle belongs
  // to the process-wide mapping: released, never closed, here.
  using HeldMutex = UniqueAny<CloseWith<HANDLE, &::ReleaseMutex>>;

  HRESULT status_;
  SharedProcessTable* table_ = nullptr;
  HeldMutex held_;
};

// Gives back the process's view of the table and its handles, for a module
// that is unloaded while the process goes on. Never at process exit.
void CloseProcessTable();

// Lookups and changes below expect the caller to hold a ProcessTableLock.
ProcessEntry* FindEntry(SharedProcessTable& table, DWORD processId);
ProcessEntry* FindEntryByIdentity(SharedProcessTable& table, const wchar_t* identity);

// Resets the entry of `processId` (reusing an existing one, else a free slot)
// to a valid, fresh entry with its identity and the current tick as start
// and heartbeat time. The event name must fit kEventNameChars.
HRESULT ResetEntry(SharedProcessTable& table, DWORD processId, const wchar_t* shutdownEventName,
                   ProcessEntry** entry);

// Runs `change(ProcessEntry&)` on the entry of `processId` under the lock and
// marks the entry dirty. Gives kEntryNotFound when there is none.
template <typename Change>
HRESULT ChangeEntry(DWORD processId, Change&& change) {
  ProcessTableLock lock;
  if (FAILED(lock.status())) return lock.status();
  ProcessEntry* entry = FindEntry(lock.table(), processId);
  if (!entry) return kEntryNotFound;
  change(*entry);
  entry->dirty = 1;
  return S_OK;
}

// Runs `read(const ProcessEntry&)` on the entry of `processId` under the lock.
template <typename Read>
HRESULT ReadEntry(DWORD processId, Read&& read) {
  ProcessTableLock lock;
  if (FAILED(lock.status())) return lock.status();
  const ProcessEntry* entry = FindEntry(lock.table(), processId);
  if (!entry) return kEntryNotFound;
  read(*entry);
  return S_OK;
}

}  // namespace velmora_host
