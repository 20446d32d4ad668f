#pragma once
// The names that the control class's registration writes under
// HKEY_CLASSES_ROOT. One place for them, because velmoractl's doctor reads
// back exactly what registration wrote and compares it the same way.
#include <windows.h>

inline constexpr wchar_t kClsidKey[] = L"CLSID";
inline constexpr wchar_t kProgIdKey[] = L"ProgID";
inline constexpr wchar_t kVersionIndependentProgIdKey[] = L"VersionIndependentProgID";
inline constexpr wchar_t kInprocServerKey[] = L"InprocServer32";
inline constexpr wchar_t kThreadingModelValue[] = L"ThreadingModel";
// COM reads the threading model without regard to letter case.
inline constexpr wchar_t kThreadingBothName[] = L"both";
inline constexpr wchar_t kThreadingApartmentName[] = L"Apartment";

// The control object's ProgIDs.
inline constexpr wchar_t kControlObjectProgId[] = L"Oxlume.SoftwareProcessControlManagerObject.1";
inline constexpr wchar_t kControlObjectVersionIndependentProgId[] = L"Oxlume.ZandrelObj";
