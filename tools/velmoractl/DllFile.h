#pragma once
// Whether a file is a DLL that a host of a given architecture can load:
// present, a PE image, marked as a DLL, built for that machine.
#include <windows.h>

#include <string>

#include "tools/velmoractl/PeImage.h"

enum class DllProblem { kNone, kMissing, kNotPe, kNotDll, kWrongMachine };

struct DllFile {
  DllProblem problem = DllProblem::kMissing;
  std::wstring path;   // as found: a bare name is resolved through the search path
  PeImage image;       // filled unless kMissing or kNotPe
  std::wstring found;  // one line: "Z:\...\Velmora.dll (PE32+, x86-64)" or what is wrong

  bool usable() const { return problem == DllProblem::kNone; }
};

// Looks at the file that a host loading `path` would load. A name without a
// folder is looked up through this process's search path, which starts with
// velmoractl's folder rather than the host's; the line says so.
DllFile InspectDll(const std::wstring& path, WORD machine);

// The same for a bare name that is looked up only in given folders (separated
// by ';'), as the module looks up the logging library; `where` names those
// folders in the line.
DllFile InspectDllIn(const std::wstring& name, const std::wstring& folders,
                     const std::wstring& where, WORD machine);
