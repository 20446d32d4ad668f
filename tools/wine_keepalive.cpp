// Keeps a Wine session alive for the duration of a test run.
//
// Opening the desktop and initialising COM brings up Wine's background
// processes (explorer, rpcss, services) from this detached program, so they
// never inherit a test's standard handles. Writes the file named by its
// argument once they are up, then waits until the wineserver is killed.
//
//   wine_keepalive.exe <flag-file>   the session's keep-alive
//   wine_keepalive.exe --bits        exits at once with its pointer size in
//                                    bits (32 or 64): the probe of whether a
//                                    prefix runs programs of this build
#include <windows.h>
#include <objbase.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  if (wcscmp(argv[1], L"--bits") == 0) return static_cast<int>(sizeof(void*) * 8);
  GetDesktopWindow();
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (scm) CloseServiceHandle(scm);
  HANDLE flag = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (flag != INVALID_HANDLE_VALUE) CloseHandle(flag);
  Sleep(INFINITE);
  return 0;
}
