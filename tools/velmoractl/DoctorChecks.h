#pragma once
// The doctor's checks of what Velmora.dll needs around it, each answered in
// the registry view of this build's bitness, the one a host of the same
// bitness reads. A check finds something and judges it:
//   ok    it is as the module needs it;
//   warn  the module copes, but quietly does less (no account, no logging
//         library or fewer of its entry points, no library location);
//   fail  a request, or the module's creation, will fail because of it.
// Every warn and fail carries one line of what to do.
#include <string>
#include <vector>

enum class Verdict { kOk, kWarn, kFail };

struct CheckResult {
  Verdict verdict = Verdict::kOk;
  std::wstring name;   // "control class", "logger library", ...
  std::wstring found;  // one line of what was found
  std::wstring fix;    // what to do; empty for ok
};

using CheckResults = std::vector<CheckResult>;

// The control class in this view: registration, its server file and that
// file's architecture, threading model, ProgIDs, type library; then the same
// class in the other view, as information about hosts of the other bitness.
void CheckControlClass(CheckResults* results);
// The realtime process table and the administrator account store: registered
// and creatable the way the module creates them. Needs an initialised COM
// apartment on the calling thread.
void CheckHostComponents(CheckResults* results);
// The logging library: "InstallPath", the file the module would load, its
// architecture and its 40 entry points.
void CheckLoggingLibrary(CheckResults* results);
// The service manager, opened the way every service request opens it.
void CheckServiceManager(CheckResults* results);
// The room left in winsta0\default's access list, which grows by one entry
// with every launch under another account; warns when less room is left than
// 2,000 grant entries would leave, fails when not one more grant fits.
void CheckDesktopAccessList(CheckResults* results);

// Helpers shared by the check files.
CheckResult Ok(const wchar_t* name, std::wstring found);
CheckResult Warn(const wchar_t* name, std::wstring found, std::wstring fix);
CheckResult Fail(const wchar_t* name, std::wstring found, std::wstring fix);
// A check that depends on one that failed (or warned): it gets the same
// verdict, and points there.
CheckResult NotChecked(const wchar_t* name, const wchar_t* failedCheck,
                       Verdict verdict = Verdict::kFail);
