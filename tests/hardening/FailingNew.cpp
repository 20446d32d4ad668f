#include "tests/hardening/FailingNew.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// Only the armed thread touches the counts; other threads only compare ids.
std::atomic<DWORD> g_armedThread{0};
long g_count = 0;
long g_failAt = 0;
int g_paused = 0;
bool g_tripped = false;

bool ShouldFail() {
  if (g_armedThread.load(std::memory_order_relaxed) != GetCurrentThreadId()) return false;
  if (g_paused > 0) return false;
  ++g_count;
  if (g_count != g_failAt) return false;
  g_tripped = true;
  return true;
}

}  // namespace

namespace failing_new {

void Arm(long failAt) {
  g_count = 0;
  g_failAt = failAt;
  g_tripped = false;
  g_paused = 0;
  g_armedThread.store(GetCurrentThreadId(), std::memory_order_relaxed);
}

long Disarm() {
  g_armedThread.store(0, std::memory_order_relaxed);
  return g_count;
}

bool Tripped() { return g_tripped; }

Paused::Paused() { ++g_paused; }
Paused::~Paused() { --g_paused; }

}  // namespace failing_new

void* operator new(std::size_t size) {
  if (ShouldFail()) throw std::bad_alloc();
  void* block = std::malloc(size != 0 ? size : 1);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
