// Checks the ground the other tests stand on: the Wine session is up and the
// binaries are Windows code of the tree's own bitness, running beside each
// other in one folder.
#include <windows.h>
#include <gtest/gtest.h>

TEST(PlatformSmoke, RunsAsWindowsProgramBesideTheModule) {
  wchar_t path[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
  wchar_t* slash = wcsrchr(path, L'\\');
  ASSERT_NE(slash, nullptr);
  wcscpy(slash + 1, L"Velmora.dll");
  EXPECT_NE(GetFileAttributesW(path), INVALID_FILE_ATTRIBUTES);
#ifdef _WIN64
  EXPECT_EQ(sizeof(void*), 8u);
#else
  EXPECT_EQ(sizeof(void*), 4u);
#endif
}
