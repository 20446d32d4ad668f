// The type library read back from the module's resources, and the module's
// other resources: strings, registrar script and version information.
#include <windows.h>
#include <oleauto.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "VelmoraModule.h"

namespace {

class TypeLibrary {
 public:
  explicit TypeLibrary(const std::wstring& path) { hr_ = LoadTypeLib(path.c_str(), &lib_); }
  ~TypeLibrary() {
    if (lib_ != nullptr) lib_->Release();
  }
  HRESULT hr() const { return hr_; }
  ITypeLib* operator->() const { return lib_; }

 private:
  HRESULT hr_ = E_FAIL;
  ITypeLib* lib_ = nullptr;
};

std::wstring MemberName(ITypeInfo* info, MEMBERID id) {
  BSTR name = nullptr;
  info->GetDocumentation(id, &name, nullptr, nullptr, nullptr);
  std::wstring result = name != nullptr ? name : L"";
  SysFreeString(name);
  return result;
}

std::vector<std::wstring> ParameterNames(ITypeInfo* info, MEMBERID id, UINT count) {
  std::vector<BSTR> names(count + 1, nullptr);
  UINT got = 0;
  info->GetNames(id, names.data(), count + 1, &got);
  std::vector<std::wstring> result;
  for (UINT i = 1; i < got; ++i) result.push_back(names[i]);  // [0] is the method
  for (UINT i = 0; i < got; ++i) SysFreeString(names[i]);
  return result;
}

TEST(TypeLibrary, DeclaresTwentyEightTypesOfTheExpectedKinds) {
  TypeLibrary lib(BesideTestExecutable(L"Velmora.dll"));
  ASSERT_EQ(lib.hr(), S_OK);
  ASSERT_EQ(lib->GetTypeInfoCount(), 28u);
  std::map<TYPEKIND, int> kinds;
  for (UINT i = 0; i < 28; ++i) {
    TYPEKIND kind = TKIND_MAX;
    ASSERT_EQ(lib->GetTypeInfoType(i, &kind), S_OK);
    // The dual interface is listed once, as its dispatch view.
    if (kind == TKIND_DISPATCH) kind = TKIND_INTERFACE;
    ++kinds[kind];
  }
  EXPECT_EQ(kinds[TKIND_COCLASS], 3);
  EXPECT_EQ(kinds[TKIND_INTERFACE], 4);
  EXPECT_EQ(kinds[TKIND_ENUM], 8);
  EXPECT_EQ(kinds[TKIND_RECORD], 13);

  TLIBATTR* attr = nullptr;
  ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
  EXPECT_TRUE(IsEqualGUID(attr->guid, GUID_NULL));
  EXPECT_EQ(attr->lcid, 0x0409u);
  EXPECT_EQ(attr->wMajorVerNum, 0);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  EXPECT_EQ(attr->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
  lib->ReleaseTLibAttr(attr);

  BSTR name = nullptr;
  BSTR help = nullptr;
  ASSERT_EQ(lib->GetDocumentation(-1, &name, &help, nullptr, nullptr), S_OK);
  EXPECT_STREQ(name, L"VELMORALib");
  EXPECT_EQ(SysStringLen(help), 0u);
  SysFreeString(name);
  SysFreeString(help);
}

TEST(TypeLibrary, ControlInterfaceMethodsSlotsAndMemberIds) {
  TypeLibrary lib(BesideTestExecutable(L"Velmora.dll"));
  ASSERT_EQ(lib.hr(), S_OK);
  ITypeInfo* info = nullptr;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(IID_ISoftwareProcessControlManager, &info), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
  EXPECT_EQ(attr->cFuncs, 6);
  EXPECT_EQ(attr->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION), 0);
  info->ReleaseTypeAttr(attr);
  EXPECT_EQ(MemberName(info, MEMBERID_NIL), L"ISoftwareProcessControlManager");

  const struct {
    const wchar_t* name;
    std::vector<std::wstring> params;
  } expected[] = {
      {L"StartSoftwareProcess", {L"szName", L"szCmdLnArgs", L"szProcessCtrlArgs", L"processIdentity"}},
      {L"StopSoftwareProcess", {L"instanceName", L"lShutdownTimeout", L"plProcessForceTerminated"}},
      {L"RestartSoftwareProcess", {L"instanceName"}},
      {L"PauseSoftwareProcess", {L"instanceName"}},
      {L"ContineSoftwareProcess", {L"instanceName"}},
      {L"GetProcessStatus", {L"instanceName", L"status"}},
  };
  for (UINT i = 0; i < 6; ++i) {
    FUNCDESC* func = nullptr;
    ASSERT_EQ(info->GetFuncDesc(i, &func), S_OK);
    EXPECT_EQ(func->memid, static_cast<MEMBERID>(0x60010000 + i));
    EXPECT_EQ(func->oVft, static_cast<SHORT>((3 + i) * sizeof(void*)));
    EXPECT_EQ(func->callconv, CC_STDCALL);
    EXPECT_EQ(func->elemdescFunc.tdesc.vt, VT_HRESULT);
    EXPECT_EQ(MemberName(info, func->memid), expected[i].name);
    EXPECT_EQ(ParameterNames(info, func->memid, func->cParams), expected[i].params);
    if (i == 1) {
      // Both trailing parameters are optional with a default of 0.
      for (int p : {1, 2}) {
        const USHORT flags = func->lprgelemdescParam[p].paramdesc.wParamFlags;
        EXPECT_NE(flags & PARAMFLAG_FOPT, 0) << p;
        EXPECT_NE(flags & PARAMFLAG_FHASDEFAULT, 0) << p;
      }
      EXPECT_NE(func->lprgelemdescParam[2].paramdesc.wParamFlags & PARAMFLAG_FOUT, 0);
    }
    info->ReleaseFuncDesc(func);
  }
  info->Release();
}

TEST(TypeLibrary, InterfacesAndCoclassesWithTheirIdsAndHelpStrings) {
  TypeLibrary lib(BesideTestExecutable(L"Velmora.dll"));
  ASSERT_EQ(lib.hr(), S_OK);
  const struct {
    const GUID* guid;
    const wchar_t* name;
    const wchar_t* help;
    TYPEKIND kind;
    WORD functions;       // own methods, inherited ones not counted
    MEMBERID firstMember;
    WORD flags;           // dual / oleautomation bits expected
  } types[] = {
      {&IID_ICAdminAccountInfo, L"ICAdminAccountInfo", L"ICAdminAccountInfo Interface",
       TKIND_INTERFACE, 3, 0x60020000, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION},
      {&IID_IProcessRealtimeClerk, L"IProcessRealtimeClerk", L"IProcessRealtimeClerk Interface",
       TKIND_INTERFACE, 22, 0x60010000, 0},
      {&IID_ISoftwareProcessControlManager, L"ISoftwareProcessControlManager",
       L"ISoftwareProcessControlManager Interface", TKIND_INTERFACE, 6, 0x60010000, 0},
      {&IID_IWatchdog, L"IWatchdog", L"IWatchdog Interface", TKIND_INTERFACE, 9, 0x60010000, 0},
      {&CLSID_CAdminAccountInfo, L"CAdminAccountInfo", L"CAdminAccountInfo Class",
       TKIND_COCLASS, 0, 0, 0},
      {&CLSID_ProcessRealtimeClerkObject, L"ProcessRealtimeClerkObject",
       L"ProcessRealtimeClerk Class", TKIND_COCLASS, 0, 0, 0},
      {&CLSID_SoftwareProcessControlManagerObject, L"SoftwareProcessControlManagerObject",
       L"SoftwareProcessControlManager Class", TKIND_COCLASS, 0, 0, 0},
  };
  for (const auto& type : types) {
    ITypeInfo* info = nullptr;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(*type.guid, &info), S_OK) << type.name;
    // A dual interface is found as its dispatch view; its vtable view is
    // the referenced interface type.
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    if (attr->typekind == TKIND_DISPATCH) {
      HREFTYPE href = 0;
      ITypeInfo* vtable = nullptr;
      ASSERT_EQ(info->GetRefTypeOfImplType(-1, &href), S_OK);
      ASSERT_EQ(info->GetRefTypeInfo(href, &vtable), S_OK);
      info->ReleaseTypeAttr(attr);
      info->Release();
      info = vtable;
      ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    }
    EXPECT_EQ(attr->typekind, type.kind) << type.name;
    EXPECT_EQ(attr->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION), type.flags)
        << type.name;
    if (type.kind == TKIND_INTERFACE) {
      EXPECT_EQ(attr->cFuncs, type.functions) << type.name;
      FUNCDESC* first = nullptr;
      ASSERT_EQ(info->GetFuncDesc(0, &first), S_OK);
      EXPECT_EQ(first->memid, type.firstMember) << type.name;
      info->ReleaseFuncDesc(first);
    } else {
      EXPECT_EQ(attr->cImplTypes, 1) << type.name;
    }
    info->ReleaseTypeAttr(attr);
    BSTR name = nullptr;
    BSTR help = nullptr;
    ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, &name, &help, nullptr, nullptr), S_OK);
    EXPECT_STREQ(name, type.name);
    EXPECT_STREQ(help, type.help);
    SysFreeString(name);
    SysFreeString(help);
    info->Release();
  }
}

TEST(TypeLibrary, ThirtyTwoBitBuildDeclaresWin32Layout) {
  // In a 32-bit process, the library embedded in the shipped module itself;
  // in a 64-bit one, the same source built by the 32-bit type library
  // compiler, since a 64-bit process cannot load the 32-bit module.
  TypeLibrary lib(BesideTestExecutable(sizeof(void*) == 4 ? L"Velmora.dll" : L"Velmora32.tlb"));
  ASSERT_EQ(lib.hr(), S_OK);
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
  EXPECT_EQ(attr->syskind, SYS_WIN32);
  lib->ReleaseTLibAttr(attr);

  // Records align to 4 bytes except _ProcessInfo (2); BSTRs are 4 bytes wide.
  const struct {
    const wchar_t* name;
    ULONG size;
    WORD alignment;
  } records[] = {
      {L"tagProcessRealtimeInfo", 64, 4},
      {L"tagPlatformRegistrationInformation3", 32, 4},
      {L"_ProcessInfo", 1024, 2},
      {L"_ComInfo", 36, 4},
  };
  for (const auto& record : records) {
    ITypeInfo* info = nullptr;
    MEMBERID id = 0;
    USHORT found = 1;
    std::wstring name = record.name;
    ASSERT_EQ(lib->FindName(&name[0], 0, &info, &id, &found), S_OK) << record.name;
    ASSERT_EQ(found, 1);
    TYPEATTR* typeAttr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&typeAttr), S_OK);
    EXPECT_EQ(typeAttr->cbSizeInstance, record.size) << record.name;
    EXPECT_EQ(typeAttr->cbAlignment, record.alignment) << record.name;
    info->ReleaseTypeAttr(typeAttr);
    info->Release();
  }
}

TEST(ModuleResources, TypeLibraryIsEnglishResourceOne) {
  VelmoraModule module;
  ASSERT_TRUE(module.Loaded());
  EXPECT_NE(FindResourceExW(module.handle(), L"TYPELIB", MAKEINTRESOURCEW(1),
                            MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)),
            nullptr);
}

TEST(ModuleResources, StringsAndRegistrarScript) {
  VelmoraModule module;
  ASSERT_TRUE(module.Loaded());
  wchar_t text[256] = L"";
  ASSERT_GT(LoadStringW(module.handle(), 100, text, 256), 0);
  EXPECT_STREQ(text, L"Velmora");
  ASSERT_GT(LoadStringW(module.handle(), 101, text, 256), 0);
  EXPECT_STREQ(text, kDescription);

  HRSRC script = FindResourceW(module.handle(), MAKEINTRESOURCEW(101), L"REGISTRY");
  ASSERT_NE(script, nullptr);
  const DWORD size = SizeofResource(module.handle(), script);
  const char* bytes = static_cast<const char*>(LockResource(LoadResource(module.handle(), script)));
  ASSERT_NE(bytes, nullptr);
  const std::string body(bytes, size);
  EXPECT_NE(body.find("Oxlume.Velmora.SoftwareProcessControlManager.1"), std::string::npos);
  EXPECT_NE(body.find("val ThreadingModel = s 'Free'"), std::string::npos);
  EXPECT_NE(body.find("ForceRemove {69767865-33E1-11D3-87E7-00A0C982C01C}"), std::string::npos);
}

std::wstring VersionString(const std::vector<BYTE>& block, const wchar_t* name, bool* found) {
  std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
  void* value = nullptr;
  UINT length = 0;
  *found = VerQueryValueW(block.data(), query.c_str(), &value, &length) != FALSE;
  if (!*found || value == nullptr || length == 0) return L"";
  return static_cast<const wchar_t*>(value);
}

TEST(ModuleResources, VersionInformationMarksTheModuleSelfRegistering) {
  const std::wstring path = BesideTestExecutable(L"Velmora.dll");
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

  bool found = false;
  EXPECT_EQ(VersionString(block, L"FileDescription", &found), L"Velmora Module");
  EXPECT_TRUE(found);
  EXPECT_EQ(VersionString(block, L"OriginalFilename", &found), L"Velmora.DLL");
  EXPECT_TRUE(found);
  EXPECT_EQ(VersionString(block, L"OLESelfRegister", &found), L"");
  EXPECT_TRUE(found);

  void* translation = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &translation, &length));
  ASSERT_GE(length, 4u);
  const WORD* pair = static_cast<const WORD*>(translation);
  EXPECT_EQ(pair[0], 0x0409);
  EXPECT_EQ(pair[1], 1200);
}

}  // namespace
