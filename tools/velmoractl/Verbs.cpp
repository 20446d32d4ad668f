#include "tools/velmoractl/Verbs.h"

#include <cwchar>
#include <memory>
#include <vector>

#include "tools/velmoractl/CheckApp.h"
#include "tools/velmoractl/Progress.h"
#include "tools/velmoractl/RequestArguments.h"
#include "tools/velmoractl/StatusNames.h"
#include "win32/Owners.h"

namespace {

// How long the client lets a pending pause or continue settle: 30 x 100 ms.
constexpr DWORD kSettlePollMs = 100;
constexpr int kSettlePolls = 30;

bool IsPending(DWORD state) {
  return state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ||
         state == SERVICE_PAUSE_PENDING || state == SERVICE_CONTINUE_PENDING;
}

struct ServiceStateRead {
  bool read = false;
  DWORD state = 0;
  DWORD error = 0;
};

class Printer {
 public:
  explicit Printer(const ClientContext& context)
      : context_(context), startTicks_(GetTickCount64()) {}

  void Line(const wchar_t* key, const std::wstring& value) const {
    context_.writeOut(std::wstring(key) + L": " + value + L"\n");
  }

  // Prints the result line and returns whether it counts as success.
  bool Result(long code, bool applicationRoute) const {
    const ResultDomain domain = DomainOf(applicationRoute, code);
    Line(L"result", FormatResult(code, domain, context_.messages));
    return IsSuccess(code, domain);
  }

  void Elapsed() const { Line(L"elapsed", FormatSeconds(GetTickCount64() - startTicks_)); }

  // Reads the service's state as the service manager reports it. With
  // settle, a pending state is read again for a while first: the module
  // gives a pause or continue only about a second, a stop settles on its own
  // clock, and a busy service may take a little longer.
  ServiceStateRead ReadServiceState(const std::wstring& name, bool settle) const {
    ServiceStateRead seen;
    seen.read = context_.services &&
                context_.services->Read(name.c_str(), &seen.state, &seen.error);
    for (int poll = 0; seen.read && settle && IsPending(seen.state) && poll < kSettlePolls;
         ++poll) {
      context_.sleep(kSettlePollMs);
      seen.read = context_.services->Read(name.c_str(), &seen.state, &seen.error);
    }
    return seen;
  }

  void StateLines(const ServiceStateRead& seen) const {
    if (!seen.read) {
      Line(L"state", L"unknown");
      Line(L"state-error", FormatResult(static_cast<long>(seen.error), ResultDomain::kWin32,
                                        context_.messages));
      return;
    }
    const wchar_t* stateName = ServiceStateName(seen.state);
    Line(L"state", stateName ? stateName : std::to_wstring(seen.state));
  }

  // Prints the service's state, settled first when a state is expected. True
  // when the state could be read and, if expected is not 0, equals it.
  bool ServiceState(const std::wstring& name, DWORD expected) const {
    const ServiceStateRead seen = ReadServiceState(name, expected != 0);
    StateLines(seen);
    return seen.read && (expected == 0 || seen.state == expected);
  }

 private:
  const ClientContext& context_;
  ULONGLONG startTicks_;
};

// Progress for a request that may block; nothing unless stderr is a terminal.
// Kept short: the line is rewritten in place and must not wrap.
std::unique_ptr<ProgressReporter> StartProgress(const ClientContext& context,
                                                const std::wstring& target, bool service) {
  if (!context.writeProgress) return nullptr;
  ServiceStateReader* services = context.services;
  ProgressReporter::DetailFn detail;
  if (!service) {
    detail = [target] { return L"application " + target + L" asked to exit"; };
  } else {
    detail = [services, target] {
      DWORD state = 0;
      DWORD error = 0;
      if (!services || !services->Read(target.c_str(), &state, &error)) {
        return L"service " + target + L" state unknown (" + std::to_wstring(error) + L")";
      }
      const wchar_t* name = ServiceStateName(state);
      return L"service " + target + L" " + (name ? name : std::to_wstring(state));
    };
  }
  return std::make_unique<ProgressReporter>(std::move(detail), context.writeProgress);
}

int Finish(const Printer& printer, bool success) {
  printer.Elapsed();
  return success ? kExitSuccess : kExitFailure;
}

int Start(const Command& command, const ClientContext& context) {
  const Printer printer(context);
  const bool service = IsServiceStart(command.ctrlArgs);
  std::vector<wchar_t> name = WritableCopy(service ? command.target : FullPath(command.target));
  std::vector<wchar_t> args = WritableCopy(command.cmdArgs);
  std::vector<wchar_t> ctrl = WritableCopy(command.ctrlArgs);
  UniqueBstr identity;
  HRESULT hr;
  {
    auto progress = service ? StartProgress(context, command.target, true) : nullptr;
    hr = context.control->StartSoftwareProcess(name.data(), args.data(), ctrl.data(),
                                               identity.put());
  }
  if (identity.get()) printer.Line(L"identity", identity.get());
  const bool success = printer.Result(hr, !service);
  if (service) printer.ServiceState(command.target, 0);
  return Finish(printer, success);
}

// The outcome is what the client sees afterwards, not the module's answer
// alone: a service must read STOPPED, and a program that the module answered
// S_OK for must be gone (each velmoractl call is a new host process, so the
// module never lists the program and opens it by id, and it answers S_OK also
// when that fails). A stop whose outcome is not "stopped" fails.
int Stop(const Command& command, const ClientContext& context) {
  const Printer printer(context);
  const bool application = IsApplicationIdentity(command.target);
  std::vector<wchar_t> identity = WritableCopy(command.target);
  SystemApplicationLookout systemLookout;
  ApplicationLookout& lookout = context.applications ? *context.applications : systemLookout;
  const Presence before = application ? lookout.Before(command.target) : Presence::kAbsent;
  long forced = 0;
  HRESULT hr;
  {
    auto progress = StartProgress(context, command.target, !application);
    hr = context.control->StopSoftwareProcess(identity.data(), command.timeoutMs, &forced);
  }
  const bool success = printer.Result(hr, application);
  StopOutcome outcome;
  if (application) {
    const Presence after = NeedsLookAfterStop(hr, forced) ? lookout.After() : Presence::kEnded;
    outcome = ApplicationStopOutcome(hr, forced, before, after);
    printer.Line(L"forced", std::to_wstring(forced));
    if (!outcome.text.empty()) printer.Line(L"outcome", outcome.text);
  } else {
    const ServiceStateRead after = printer.ReadServiceState(command.target, success);
    if (success && after.read) outcome = ServiceStopOutcome(after.state);
    if (!outcome.text.empty()) printer.Line(L"outcome", outcome.text);
    printer.StateLines(after);
  }
  return Finish(printer, success && outcome.stopped);
}

// The module answers every restart request with S_OK and does nothing; the
// client says so rather than let the success read as a restart.
int Restart(const Command& command, const ClientContext& context) {
  const Printer printer(context);
  std::vector<wchar_t> identity = WritableCopy(command.target);
  const HRESULT hr = context.control->RestartSoftwareProcess(identity.data());
  const bool success = printer.Result(hr, IsApplicationIdentity(command.target));
  if (success) {
    printer.Line(L"outcome",
                 L"nothing restarted (the module answers restart requests without acting)");
  }
  return Finish(printer, success);
}

// The module answers a service's pause or continue with the service's own
// result, and does nothing for an application. Whether a pending service got
// there shows only in its state afterwards, so that is read too.
int PauseOrContinue(const Command& command, const ClientContext& context) {
  const Printer printer(context);
  const bool application = IsApplicationIdentity(command.target);
  const bool pause = command.verb == Verb::kPause;
  std::vector<wchar_t> identity = WritableCopy(command.target);
  const HRESULT hr = pause ? context.control->PauseSoftwareProcess(identity.data())
                           : context.control->ContineSoftwareProcess(identity.data());
  bool success = printer.Result(hr, application);
  if (application) {
    printer.Line(L"note", L"pause and continue do nothing for an application");
  } else {
    success = printer.ServiceState(command.target, pause ? SERVICE_PAUSED : SERVICE_RUNNING) &&
              success;
  }
  return Finish(printer, success);
}

int Status(const Command& command, const ClientContext& context) {
  const Printer printer(context);
  const bool application = IsApplicationIdentity(command.target);
  std::vector<wchar_t> identity = WritableCopy(command.target);
  long status = 0;
  const HRESULT hr = context.control->GetProcessStatus(identity.data(), &status);
  if (application && SUCCEEDED(hr)) {
    const wchar_t* name = ProcessStatusName(status);
    printer.Line(L"status", std::to_wstring(status) + L" " + (name ? name : L"UNKNOWN"));
  }
  const bool success = printer.Result(hr, application);
  if (!application && success) printer.ServiceState(command.target, 0);
  return Finish(printer, success);
}

}  // namespace

bool IsApplicationIdentity(const std::wstring& identity) {
  return identity.find(kApplicationIdentityPrefix) != std::wstring::npos;
}

int RunCommand(const Command& command, const ClientContext& context) {
  switch (command.verb) {
    case Verb::kStart: return Start(command, context);
    case Verb::kStop: return Stop(command, context);
    case Verb::kRestart: return Restart(command, context);
    case Verb::kPause:
    case Verb::kContinue: return PauseOrContinue(command, context);
    case Verb::kStatus: return Status(command, context);
    case Verb::kCheckApp: return RunCheckApp(command, context);
    case Verb::kHelp:
    case Verb::kDoctor: break;
  }
  return kExitFailure;
}
