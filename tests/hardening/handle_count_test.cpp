// The handle counter must see handles come and go, or every leak check built
// on it would pass vacuously.
#include "harness/HandleTable.h"

#include <gtest/gtest.h>

namespace {

using velmora_harness::CountProcessHandles;
using velmora_harness::HandleCountsByType;

TEST(HandleCount, SeesEventsOpenedAndClosedInThisProcess) {
  const long before = CountProcessHandles();
  ASSERT_GT(before, 0);
  HANDLE events[5];
  for (HANDLE& h : events) {
    h = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(h, nullptr);
  }
  EXPECT_EQ(CountProcessHandles(), before + 5);
  for (HANDLE h : events) ::CloseHandle(h);
  EXPECT_EQ(CountProcessHandles(), before);
}

TEST(HandleCount, BreaksTheCountDownByObjectType) {
  auto before = HandleCountsByType();
  HANDLE h = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(h, nullptr);
  auto after = HandleCountsByType();
  ::CloseHandle(h);
  int grown = 0;
  for (const auto& kv : after) {
    if (kv.second != before[kv.first]) {
      EXPECT_EQ(kv.second, before[kv.first] + 1);
      ++grown;
    }
  }
  EXPECT_EQ(grown, 1);
}

TEST(HandleCount, CountsAnotherProcessByItsId) {
  // The wine session's own processes hold handles; an unused id holds none.
  EXPECT_EQ(CountProcessHandles(0xFFFC), -1);
}

}  // namespace
