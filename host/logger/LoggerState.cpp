// Client handles, identity names, instance names and custom flags of the
// stand-in logging library, all behind one lock.
#include <cwchar>

#include "host/logger/LoggerStandIn.h"
#include "host/logger/LoggerTestHooks.h"
#include "win32/LockGuard.h"

namespace standin {
namespace {

constexpr int kMaxClients = 64;
constexpr int kMaxFlags = 64;
constexpr int kMaxHistory = 64;
constexpr size_t kNameChars = MAX_PATH + 32;

struct Client {
  bool used;
  wchar_t identity[kNameChars];
  wchar_t instance[kNameChars];
};

struct IdentityEvent {
  int client;
  wchar_t name[kNameChars];
};

SRWLOCK g_lock = SRWLOCK_INIT;
Client g_clients[kMaxClients];
wchar_t g_flagNames[kMaxFlags][kNameChars];
int g_flagCount = 0;
IdentityEvent g_history[kMaxHistory];
int g_historyCount = 0;

const wchar_t* const kCategoryNames[kCategoryCount] = {
    L"Error", L"Warning", L"Info", L"Trace", L"StartStop", L"EntryExit",
    L"ThreadStartStop", L"SQL", L"Connection", L"CtorDtor", L"RefCount"};

// Handles are 1-based indexes into the table.
Client* Find(int client) {
  if (client < 1 || client > kMaxClients) return nullptr;
  Client* c = &g_clients[client - 1];
  return c->used ? c : nullptr;
}

void CopyName(wchar_t* to, size_t chars, const wchar_t* from) {
  if (chars == 0) return;
  wcsncpy(to, from ? from : L"", chars - 1);
  to[chars - 1] = L'\0';
}

}  // namespace

const wchar_t* CategoryName(int index) {
  return index >= 0 && index < kCategoryCount ? kCategoryNames[index] : nullptr;
}

bool FlagName(DWORD flag, wchar_t* name, size_t chars) {
  for (int i = 0; i < kCategoryCount; ++i) {
    if (flag == (1u << i)) {
      CopyName(name, chars, kCategoryNames[i]);
      return true;
    }
  }
  if (flag < kFirstCustomFlag || flag % kFirstCustomFlag != 0) return false;
  const DWORD index = flag / kFirstCustomFlag - 1;
  LockGuard lock(g_lock);
  if (index >= static_cast<DWORD>(g_flagCount)) return false;
  CopyName(name, chars, g_flagNames[index]);
  return true;
}

DWORD RegisterFlag(const wchar_t* name) {
  if (!name || !*name) return 0;
  LockGuard lock(g_lock);
  for (int i = 0; i < g_flagCount; ++i)
    if (_wcsicmp(g_flagNames[i], name) == 0) return (i + 1) * kFirstCustomFlag;
  if (g_flagCount == kMaxFlags) return 0;
  CopyName(g_flagNames[g_flagCount], kNameChars, name);
  ++g_flagCount;
  return g_flagCount * kFirstCustomFlag;
}

int RegisterClient() {
  LockGuard lock(g_lock);
  for (int i = 0; i < kMaxClients; ++i) {
    if (g_clients[i].used) continue;
    g_clients[i].used = true;
    g_clients[i].identity[0] = L'\0';
    g_clients[i].instance[0] = L'\0';
    return i + 1;
  }
  return -1;
}

void UnregisterClient(int client) {
  LockGuard lock(g_lock);
  if (Client* c = Find(client)) c->used = false;
}

bool SetIdentity(int client, const wchar_t* name) {
  LockGuard lock(g_lock);
  Client* c = Find(client);
  if (!c || !name) return false;
  CopyName(c->identity, kNameChars, name);
  if (g_historyCount < kMaxHistory) {
    g_history[g_historyCount].client = client;
    CopyName(g_history[g_historyCount].name, kNameChars, name);
    ++g_historyCount;
  }
  return true;
}

bool CopyIdentity(int client, wchar_t* name, size_t chars) {
  LockGuard lock(g_lock);
  Client* c = Find(client);
  if (!c || !name) return false;
  CopyName(name, chars, c->identity);
  return true;
}

bool SetInstance(int client, const wchar_t* name) {
  LockGuard lock(g_lock);
  Client* c = Find(client);
  if (!c) return false;
  CopyName(c->instance, kNameChars, name);
  return true;
}

bool CopyInstance(int client, wchar_t* name, size_t chars) {
  LockGuard lock(g_lock);
  Client* c = Find(client);
  if (!c || !name) return false;
  CopyName(name, chars, c->instance);
  return true;
}

}  // namespace standin

extern "C" BOOL WINAPI VelmoraTestIdentityAt(int index, int* client, wchar_t* name,
                                             DWORD chars) {
  LockGuard lock(standin::g_lock);
  if (index < 0 || index >= standin::g_historyCount) return FALSE;
  if (client) *client = standin::g_history[index].client;
  if (name) standin::CopyName(name, chars, standin::g_history[index].name);
  return TRUE;
}
