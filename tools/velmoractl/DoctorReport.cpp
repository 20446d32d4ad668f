#include "tools/velmoractl/DoctorReport.h"

#include <utility>

#include "tools/velmoractl/RegistryView.h"
#include "tools/velmoractl/Verbs.h"

namespace {

// Tags padded to one width, so that names line up and the fix line's indent
// matches.
const wchar_t* Tag(Verdict verdict) {
  switch (verdict) {
    case Verdict::kOk: return L"ok    ";
    case Verdict::kWarn: return L"warn  ";
    case Verdict::kFail: return L"fail  ";
  }
  return L"?     ";
}

constexpr wchar_t kFixIndent[] = L"      fix: ";

CheckResult Make(Verdict verdict, const wchar_t* name, std::wstring found, std::wstring fix) {
  CheckResult result;
  result.verdict = verdict;
  result.name = name;
  result.found = std::move(found);
  result.fix = std::move(fix);
  return result;
}

}  // namespace

CheckResult Ok(const wchar_t* name, std::wstring found) {
  return Make(Verdict::kOk, name, std::move(found), std::wstring());
}

CheckResult Warn(const wchar_t* name, std::wstring found, std::wstring fix) {
  return Make(Verdict::kWarn, name, std::move(found), std::move(fix));
}

CheckResult Fail(const wchar_t* name, std::wstring found, std::wstring fix) {
  return Make(Verdict::kFail, name, std::move(found), std::move(fix));
}

CheckResult NotChecked(const wchar_t* name, const wchar_t* failedCheck, Verdict verdict) {
  return Make(verdict, name,
              std::wstring(L"not checked: the ") + failedCheck +
                  (verdict == Verdict::kFail ? L" check failed" : L" check warned"),
              std::wstring(L"fix the ") + failedCheck + L" first");
}

std::wstring FormatCheckLine(const CheckResult& result) {
  std::wstring text = Tag(result.verdict) + result.name + L": " + result.found + L"\n";
  if (result.verdict != Verdict::kOk) text += kFixIndent + result.fix + L"\n";
  return text;
}

std::wstring FormatDoctorReport(const CheckResults& results, bool quiet) {
  std::wstring text;
  int counts[3] = {};
  if (!quiet) {
    const RegistryView view = OwnView();
    text += L"doctor: what a " + std::to_wstring(view.bits) + L"-bit host needs, read in " +
            ViewName(view) + L"\n";
  }
  for (const CheckResult& result : results) {
    ++counts[static_cast<int>(result.verdict)];
    if (quiet && result.verdict == Verdict::kOk) continue;
    text += FormatCheckLine(result);
  }
  if (!quiet) {
    text += L"doctor: " + std::to_wstring(counts[0]) + L" ok, " + std::to_wstring(counts[1]) +
            L" warn, " + std::to_wstring(counts[2]) + L" fail\n";
  }
  return text;
}

int DoctorExitCode(const CheckResults& results) {
  for (const CheckResult& result : results) {
    if (result.verdict == Verdict::kFail) return kExitFailure;
  }
  return kExitSuccess;
}

int RunDoctor(bool quiet, const std::function<void(const std::wstring&)>& writeOut) {
  CheckResults results;
  CheckControlClass(&results);
  CheckHostComponents(&results);
  CheckLoggingLibrary(&results);
  CheckServiceManager(&results);
  CheckDesktopAccessList(&results);
  writeOut(FormatDoctorReport(results, quiet));
  return DoctorExitCode(results);
}
