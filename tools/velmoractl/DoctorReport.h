#pragma once
// The doctor's report: one line per check, and for every warn or fail a
// second, indented line of what to do:
//   ok    control class: {69767865-...} -> Z:\...\Velmora.dll (PE32+, x86-64)
//   warn  account store: CAdminAccountInfo {...} -> ...; creation failed: ...
//         fix: configure the operating-system administrator account ...
// A heading line comes first and a count last; --quiet prints only the warns
// and fails with their fixes.
#include <functional>
#include <string>

#include "tools/velmoractl/DoctorChecks.h"

// The report's text for these results.
std::wstring FormatDoctorReport(const CheckResults& results, bool quiet);

// One check's line, and its fix line for a warn or fail; check-app writes
// its clauses with it too.
std::wstring FormatCheckLine(const CheckResult& result);

// kExitSuccess when no check failed, else kExitFailure.
int DoctorExitCode(const CheckResults& results);

// Runs every check on the calling thread, which must be in a COM apartment,
// writes the report and returns the exit code.
int RunDoctor(bool quiet, const std::function<void(const std::wstring&)>& writeOut);
