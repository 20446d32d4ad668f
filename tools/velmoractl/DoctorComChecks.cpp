// The doctor's checks of the COM classes: the control class in both registry
// views, and the two host components that the module creates.
#include "tools/velmoractl/DoctorChecks.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include "Velmora.h"
#include "module/RegistryNames.h"
#include "tools/velmoractl/DllFile.h"
#include "tools/velmoractl/RegistryView.h"
#include "tools/velmoractl/ResultText.h"
#include "win32/ComPtr.h"
#include "win32/Owners.h"

namespace {

constexpr wchar_t kControlClass[] = L"control class";
constexpr wchar_t kThreadingModel[] = L"threading model";
constexpr wchar_t kProgIds[] = L"progids";
constexpr wchar_t kTypeLibrary[] = L"type library";
constexpr wchar_t kOtherView[] = L"other view";
constexpr char kClassObjectExport[] = "DllGetClassObject";

std::wstring Bits(const RegistryView& view) { return std::to_wstring(view.bits) + L"-bit"; }

std::wstring RegisterVelmora(const RegistryView& view) {
  return L"register the " + Bits(view) + L" build of Velmora.dll with \"" + Regsvr32For(view) +
         L" <folder>\\Velmora.dll\"";
}

std::wstring HResultText(HRESULT hr) {
  return FormatResult(hr, ResultDomain::kHResult, SystemMessage);
}

std::wstring ReplaceVelmora(const RegistryView& view) {
  return L"replace the file with the " + Bits(view) + L" Velmora.dll and " + RegisterVelmora(view);
}

// What to do about a server file that a host of the view cannot load.
std::wstring ServerFileFix(const DllFile& dll, const RegistryView& view) {
  switch (dll.problem) {
    case DllProblem::kMissing:
      return L"the file has moved or gone: " + RegisterVelmora(view) + L" from where it now lives";
    case DllProblem::kWrongMachine:
      return RegisterVelmora(view) + L"; the " + std::to_wstring(MachineBits(dll.image.machine)) +
             L"-bit build belongs to hosts of that bitness, registered with their own regsvr32";
    default: return ReplaceVelmora(view);
  }
}

// Control class: registered in the view, and its InprocServer32 names a DLL
// of the view's architecture that serves classes. Returns the usable DLL's
// path, or empty.
std::wstring CheckClassServer(const ClassRegistrationInfo& info, const RegistryView& view,
                              CheckResults* results) {
  const std::wstring clsid = GuidText(CLSID_SoftwareProcessControlManagerObject);
  if (!info.registered()) {
    std::wstring found = clsid + L" is not registered in " + ViewName(view);
    if (OtherViewExists() &&
        ReadClassRegistration(CLSID_SoftwareProcessControlManagerObject, OtherView())
            .registered()) {
      found += L"; it is registered only in " + ViewName(OtherView()) + L", for " +
               Bits(OtherView()) + L" hosts";
    }
    results->push_back(Fail(kControlClass, found, RegisterVelmora(view)));
    return std::wstring();
  }
  if (!info.hasServer()) {
    results->push_back(Fail(kControlClass, clsid + L" has no InprocServer32 path",
                            RegisterVelmora(view) + L" again"));
    return std::wstring();
  }
  const DllFile dll = InspectDll(info.server, view.machine);
  if (!dll.usable()) {
    results->push_back(Fail(kControlClass, clsid + L" -> " + dll.found, ServerFileFix(dll, view)));
    return std::wstring();
  }
  if (dll.image.exportNames.count(kClassObjectExport) == 0) {
    results->push_back(Fail(kControlClass,
                            clsid + L" -> " + dll.found + L", which exports no DllGetClassObject",
                            ReplaceVelmora(view)));
    return std::wstring();
  }
  results->push_back(Ok(kControlClass, clsid + L" -> " + dll.found));
  return dll.path;
}

// Registration writes "both"; COM compares the value without regard to case.
void CheckThreadingModel(const ClassRegistrationInfo& info, const RegistryView& view,
                         CheckResults* results) {
  if (info.serverKey != ERROR_SUCCESS) {
    results->push_back(NotChecked(kThreadingModel, kControlClass));
    return;
  }
  if (info.threadingValue != ERROR_SUCCESS) {
    results->push_back(Fail(kThreadingModel,
                            L"InprocServer32 has no ThreadingModel: COM would keep every object "
                            L"in the host's main apartment",
                            RegisterVelmora(view) + L" again"));
    return;
  }
  if (lstrcmpiW(info.threadingModel.c_str(), kThreadingBothName) != 0) {
    results->push_back(Fail(kThreadingModel,
                            L"\"" + info.threadingModel + L"\", not \"" + kThreadingBothName +
                                L"\" as registration writes it",
                            RegisterVelmora(view) + L" again"));
    return;
  }
  results->push_back(Ok(kThreadingModel, L"\"" + info.threadingModel +
                                             L"\", as registration writes it: objects live in "
                                             L"the caller's apartment"));
}

// A host may create the class by either ProgID; each must lead to its class id.
void CheckProgIds(const RegistryView& view, CheckResults* results) {
  const std::wstring clsid = GuidText(CLSID_SoftwareProcessControlManagerObject);
  std::wstring wrong;
  for (const wchar_t* progId : {kControlObjectProgId, kControlObjectVersionIndependentProgId}) {
    UniqueHKey key;
    std::wstring named;
    if (OpenKeyInView(HKEY_CLASSES_ROOT, std::wstring(progId) + L"\\" + kClsidKey, view, &key) !=
            ERROR_SUCCESS ||
        ReadString(key.get(), nullptr, &named) != ERROR_SUCCESS) {
      wrong += (wrong.empty() ? L"" : L"; ") + std::wstring(progId) + L" is missing";
    } else if (lstrcmpiW(named.c_str(), clsid.c_str()) != 0) {
      wrong += (wrong.empty() ? L"" : L"; ") + std::wstring(progId) + L" -> " + named;
    }
  }
  if (!wrong.empty()) {
    results->push_back(Warn(kProgIds, wrong + L": hosts that create the class by ProgID fail",
                            RegisterVelmora(view) + L" again"));
    return;
  }
  results->push_back(Ok(kProgIds, std::wstring(kControlObjectProgId) + L", " +
                                      kControlObjectVersionIndependentProgId + L" -> " + clsid));
}

// The type library is a resource of the DLL. Registration leaves it out of
// the registry on purpose, so only a registration that names another file is
// worth a warning.
void CheckTypeLibrary(const std::wstring& server, const RegistryView& view,
                      CheckResults* results) {
  if (server.empty()) {
    results->push_back(NotChecked(kTypeLibrary, kControlClass));
    return;
  }
  ComPtr<ITypeLib> library;
  const HRESULT loaded = LoadTypeLibEx(server.c_str(), REGKIND_NONE, library.put());
  if (FAILED(loaded)) {
    results->push_back(Fail(kTypeLibrary, L"cannot load it from " + server + L": " +
                                              HResultText(loaded),
                            L"replace Velmora.dll with a complete " + Bits(view) +
                                L" build and " + RegisterVelmora(view)));
    return;
  }
  TLIBATTR* attributes = nullptr;
  SYSKIND kind = SYS_WIN32;
  if (SUCCEEDED(library->GetLibAttr(&attributes))) {
    kind = attributes->syskind;
    library->ReleaseTLibAttr(attributes);
  }
  const bool kindFits = kind == (view.bits == 64 ? SYS_WIN64 : SYS_WIN32);
  std::wstring found = L"VELMORALib loads from the DLL (" +
                       std::wstring(kind == SYS_WIN64 ? L"win64" : L"win32") + L")";

  UniqueBstr registered;
  if (SUCCEEDED(QueryPathOfRegTypeLib(LIBID_VELMORALib, 0, 0, LOCALE_NEUTRAL, registered.put())) &&
      registered.get() && lstrcmpiW(registered.get(), server.c_str()) != 0) {
    results->push_back(Warn(kTypeLibrary,
                            found + L"; but its registration names " + registered.get(),
                            L"remove the stale HKCR\\TypeLib\\" + GuidText(LIBID_VELMORALib) +
                                L" registration"));
    return;
  }
  if (!kindFits) {
    results->push_back(Warn(kTypeLibrary, found + L", built for the other bitness",
                            L"install the " + Bits(view) + L" build of Velmora.dll"));
    return;
  }
  results->push_back(Ok(kTypeLibrary, found + (registered.get() ? L", registered"
                                                                 : L", not registered (nor "
                                                                   L"needs to be)")));
}

// The other view, for hosts of the other bitness: information, never a
// failure of this host's set-up.
void CheckOtherView(CheckResults* results) {
  if (!OtherViewExists()) {
    results->push_back(Ok(kOtherView, L"none: 32-bit Windows has a single registry view"));
    return;
  }
  const RegistryView other = OtherView();
  const std::wstring hosts = Bits(other) + L" hosts: ";
  const ClassRegistrationInfo info =
      ReadClassRegistration(CLSID_SoftwareProcessControlManagerObject, other);
  if (!info.registered()) {
    results->push_back(Ok(kOtherView, hosts + L"the control class is not registered in " +
                                          ViewName(other)));
    return;
  }
  if (!info.hasServer()) {
    results->push_back(Warn(kOtherView, hosts + L"registered without an InprocServer32 path",
                            L"for " + Bits(other) + L" hosts, " + RegisterVelmora(other)));
    return;
  }
  const DllFile dll = InspectDll(FileAsHostSeesIt(info.server, other), other.machine);
  if (!dll.usable()) {
    results->push_back(Warn(kOtherView, hosts + dll.found,
                            L"for " + Bits(other) + L" hosts, " + ServerFileFix(dll, other)));
    return;
  }
  results->push_back(Ok(kOtherView, hosts + dll.found));
}

struct HostComponent {
  const wchar_t* check;
  const wchar_t* coclass;
  const CLSID* clsid;
  DWORD context;   // as the module creates it
  const IID* iid;  // the interface the module asks for
};

// What the server file of a host component is, in a few words.
std::wstring ServerText(const ClassRegistrationInfo& info, const RegistryView& view) {
  if (!info.registered()) return L" is not registered in " + ViewName(view);
  if (!info.hasServer()) return L" (no InprocServer32)";
  return L" -> " + InspectDll(info.server, view.machine).found;
}

void CheckHostComponent(const HostComponent& component, const RegistryView& view,
                        CheckResults* results) {
  const ClassRegistrationInfo info = ReadClassRegistration(*component.clsid, view);
  const std::wstring found =
      std::wstring(component.coclass) + L" " + GuidText(*component.clsid) + ServerText(info, view);
  ComPtr<IUnknown> object;
  const HRESULT hr = CoCreateInstance(*component.clsid, /*pUnkOuter=*/nullptr, component.context,
                                      *component.iid, object.put_void());
  if (SUCCEEDED(hr)) {
    results->push_back(Ok(component.check, found + L"; created"));
    return;
  }
  std::wstring failed = found;
  if (info.registered()) failed += L"; creation failed: " + HResultText(hr);
  const std::wstring registerIt = L"register the host's " + Bits(view) + L" " +
                                  component.coclass + L" server with \"" + Regsvr32For(view) +
                                  L" <dll>\" (here HostStandins.dll stands in for the host)";
  if (*component.clsid == CLSID_ProcessRealtimeClerkObject) {
    results->push_back(Fail(component.check, failed,
                            registerIt + L"; until then every stop and status request of an "
                                         L"application fails with E_INVALIDARG"));
    return;
  }
  // The module copes with an account store it cannot create, whatever the
  // reason: the launch goes on under the caller's own account.
  const bool absent = hr == REGDB_E_CLASSNOTREG || hr == HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
  const std::wstring consequence =
      L"; until then launches run under the caller's own account, and each one logs "
      L"\"Unable to CoCreate coclass CAdminAccountInfo\"";
  const bool configure = absent && info.registered();
  results->push_back(Warn(component.check, failed,
                          (configure ? L"configure the operating-system administrator account "
                                       L"in the host's account store"
                                     : registerIt) +
                              consequence));
}

}  // namespace

void CheckControlClass(CheckResults* results) {
  const RegistryView view = OwnView();
  const ClassRegistrationInfo info =
      ReadClassRegistration(CLSID_SoftwareProcessControlManagerObject, view);
  const std::wstring server = CheckClassServer(info, view, results);
  CheckThreadingModel(info, view, results);
  CheckProgIds(view, results);
  CheckTypeLibrary(server, view, results);
  CheckOtherView(results);
}

void CheckHostComponents(CheckResults* results) {
  const RegistryView view = OwnView();
  const HostComponent components[] = {
      {L"realtime table", L"ProcessRealtimeClerkObject", &CLSID_ProcessRealtimeClerkObject,
       CLSCTX_INPROC_SERVER, &IID_IProcessRealtimeClerk},
      {L"account store", L"CAdminAccountInfo", &CLSID_CAdminAccountInfo, CLSCTX_ALL,
       &IID_ICAdminAccountInfo},
  };
  for (const HostComponent& component : components) CheckHostComponent(component, view, results);
}
