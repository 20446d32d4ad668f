// The owner template: what an owner closes, when, and through what; the empty
// values of both kinds of kernel handle; the last error across a close; the
// wipe of the secret string.
#include <windows.h>
#include <oleauto.h>
#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "win32/Owners.h"
#include "win32/UniqueAny.h"

namespace {

// An interface that hands out values and takes them back, as a seam does.
class Pool {
 public:
  int Open() { return ++m_next; }
  void Close(int value) {
    closed.push_back(value);
    SetLastError(ERROR_INVALID_HANDLE);
  }
  std::vector<int> closed;

 private:
  int m_next = 0;
};

struct ZeroIsInvalid {
  template <typename T>
  static T Value() {
    return 0;
  }
};

using PoolValue = UniqueAny<CloseThrough<Pool, int, &Pool::Close, ZeroIsInvalid>>;

TEST(UniqueAny, ClosesWhatItHoldsOnceAndNothingElse) {
  Pool pool;
  {
    PoolValue empty(pool);
    EXPECT_FALSE(empty);
    PoolValue first(pool, pool.Open());
    PoolValue second(pool, pool.Open());
    EXPECT_TRUE(first);
    EXPECT_EQ(first.get(), 1);

    PoolValue moved(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(moved.get(), 1);
    moved = std::move(second);  // gives back 1, takes 2
    EXPECT_EQ(pool.closed, std::vector<int>{1});

    *moved.put() = pool.Open();  // gives back 2 before the slot is handed out
    EXPECT_EQ(pool.closed, (std::vector<int>{1, 2}));
    const int kept = moved.release();
    EXPECT_EQ(kept, 3);
    EXPECT_FALSE(moved);
    moved.reset(pool.Open());
  }
  EXPECT_EQ(pool.closed, (std::vector<int>{1, 2, 4}));
}

TEST(UniqueAny, KernelHandlesKnowTheirEmptyValue) {
  UniqueHandle event;
  UniqueFileHandle file;
  EXPECT_EQ(event.get(), nullptr);
  EXPECT_EQ(file.get(), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(event);
  EXPECT_FALSE(file);

  event.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event);
  wchar_t path[MAX_PATH] = {};
  ASSERT_NE(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
  file.reset(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file);
}

TEST(UniqueAny, StoringOrClosingKeepsTheLastError) {
  Pool pool;
  PoolValue value(pool, pool.Open());
  SetLastError(ERROR_FILE_NOT_FOUND);
  value.reset();  // a close that fails sets an error of its own
  EXPECT_EQ(pool.closed, std::vector<int>{1});
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  // A failed open, stored before its error is read.
  UniqueHandle missing(OpenEventW(EVENT_MODIFY_STATE, FALSE, L"VelmoraNoSuchEvent_41"));
  EXPECT_FALSE(missing);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(UniqueAny, TheSecretStringIsWipedWhateverItHolds) {
  const char bytes[] = "pass\xE9word";
  BSTR narrow = SysAllocStringByteLen(bytes, sizeof(bytes) - 1);
  BSTR wide = SysAllocString(L"secret");
  ASSERT_NE(narrow, nullptr);
  ASSERT_NE(wide, nullptr);
  WipeBstr(narrow);
  WipeBstr(wide);
  const char* narrowText = reinterpret_cast<const char*>(narrow);
  for (UINT i = 0; i < SysStringByteLen(narrow); ++i) EXPECT_EQ(narrowText[i], 0) << i;
  EXPECT_EQ(SysStringLen(wide), 6u);
  for (UINT i = 0; i < SysStringLen(wide); ++i) EXPECT_EQ(wide[i], 0) << i;
  UniqueSecretBstr owned(wide);  // wiped again and freed
  SysFreeString(narrow);
}

}  // namespace
