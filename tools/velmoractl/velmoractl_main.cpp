// velmoractl: drives one control object of the Velmora module from the
// command line. See CommandLine.h for the verbs and Verbs.h for the output.
#include <windows.h>
#include <objbase.h>

#include <string>

#include "Velmora.h"
#include "tools/velmoractl/CommandLine.h"
#include "tools/velmoractl/ConsoleText.h"
#include "tools/velmoractl/DoctorReport.h"
#include "tools/velmoractl/ResultText.h"
#include "tools/velmoractl/ServiceStateReader.h"
#include "tools/velmoractl/Verbs.h"
#include "win32/ComApartment.h"
#include "win32/ComPtr.h"

int wmain(int argc, wchar_t** argv) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);

  Command command;
  std::wstring error;
  if (!ParseCommandLine(argc, argv, &command, &error)) {
    WriteText(err, L"velmoractl: " + error + L"\n" + UsageText());
    return kExitUsage;
  }
  if (command.verb == Verb::kHelp) {
    WriteText(out, UsageText());
    return kExitSuccess;
  }

  // The multithreaded apartment: the class is registered for both models, and
  // the client needs no message loop while a request blocks.
  ComApartment apartment(COINIT_MULTITHREADED);
  if (FAILED(apartment.result())) {
    WriteText(out, L"result: " + FormatResult(apartment.result(), ResultDomain::kHResult,
                                              SystemMessage) + L"\n");
    return kExitFailure;
  }
  // Before the control object is created: the doctor is for when that fails.
  if (command.verb == Verb::kDoctor) {
    return RunDoctor(command.quiet, [out](const std::wstring& text) { WriteText(out, text); });
  }
  ComPtr<ISoftwareProcessControlManager> control;
  const HRESULT hr = CoCreateInstance(CLSID_SoftwareProcessControlManagerObject, nullptr,
                                      CLSCTX_INPROC_SERVER, IID_ISoftwareProcessControlManager,
                                      control.put_void());
  if (FAILED(hr)) {
    WriteText(out, L"result: " + FormatResult(hr, ResultDomain::kHResult, SystemMessage) + L"\n");
    WriteText(err, L"velmoractl: cannot create the control object; is Velmora.dll registered?\n");
    return kExitFailure;
  }

  ScmServiceStateReader services;
  ClientContext context;
  context.control = control.get();
  context.services = &services;
  context.messages = SystemMessage;
  context.writeOut = [out](const std::wstring& text) { WriteText(out, text); };
  if (IsTerminal(err)) {
    context.writeProgress = [err](const std::wstring& text) { WriteText(err, text); };
  }
  return RunCommand(command, context);
}
