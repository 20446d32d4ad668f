#include "host/standins/AdminAccountInfo.h"

#include <new>
#include <utility>

#include "host/standins/ServerModule.h"
#include "win32/Owners.h"

namespace velmora_host {
namespace {

HRESULT AllocString(const std::wstring& text, UniqueBstr* out) {
  BSTR value = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!value) return E_OUTOFMEMORY;
  out->reset(value);
  return S_OK;
}

}  // namespace

HRESULT CAdminAccountInfo::Create(REFIID iid, void** object) {
  AdminAccount account;
  const HRESULT hr = ReadAdminAccount(&account);
  if (FAILED(hr)) return hr;
  CAdminAccountInfo* created = new (std::nothrow) CAdminAccountInfo(std::move(account));
  if (!created) return E_OUTOFMEMORY;
  const HRESULT query = created->QueryInterface(iid, object);
  created->Release();
  return query;
}

CAdminAccountInfo::CAdminAccountInfo(AdminAccount account) : account_(std::move(account)) {
  LockModule();
}

CAdminAccountInfo::~CAdminAccountInfo() {
  // The password should not linger in freed heap memory.
  std::wstring& password = account_.password;
  SecureZeroMemory(&password[0], password.size() * sizeof(wchar_t));
  UnlockModule();
}

STDMETHODIMP CAdminAccountInfo::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_ICAdminAccountInfo) {
    *object = static_cast<ICAdminAccountInfo*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CAdminAccountInfo::AddRef() { return InterlockedIncrement(&refs_); }

STDMETHODIMP_(ULONG) CAdminAccountInfo::Release() {
  const LONG refs = InterlockedDecrement(&refs_);
  if (refs == 0) delete this;
  return refs;
}

STDMETHODIMP CAdminAccountInfo::GetTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_POINTER;
  *pctinfo = 0;
  return S_OK;
}

STDMETHODIMP CAdminAccountInfo::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
  if (!ppTInfo) return E_POINTER;
  *ppTInfo = nullptr;
  return DISP_E_BADINDEX;
}

STDMETHODIMP CAdminAccountInfo::GetIDsOfNames(REFIID, LPOLESTR*, UINT cNames, LCID,
                                              DISPID* rgDispId) {
  for (UINT i = 0; rgDispId && i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
  return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP CAdminAccountInfo::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                       EXCEPINFO*, UINT*) {
  return DISP_E_MEMBERNOTFOUND;
}

STDMETHODIMP CAdminAccountInfo::GetOSAdminAccountInfo(BSTR* pbstrOSUserName,
                                                      BSTR* pbstrPassword) {
  if (!pbstrOSUserName || !pbstrPassword) return E_POINTER;
  *pbstrOSUserName = nullptr;
  *pbstrPassword = nullptr;
  UniqueBstr user;
  UniqueBstr password;
  HRESULT hr = AllocString(account_.userName, &user);
  if (SUCCEEDED(hr)) hr = AllocString(account_.password, &password);
  if (FAILED(hr)) return hr;
  *pbstrOSUserName = user.release();
  *pbstrPassword = password.release();
  return S_OK;
}

STDMETHODIMP CAdminAccountInfo::GetOSAdminAccountInfoEx(BSTR* pbstrOSDomainName,
                                                        BSTR* pbstrOSUserName,
                                                        BSTR* pbstrPassword) {
  if (!pbstrOSDomainName || !pbstrOSUserName || !pbstrPassword) return E_POINTER;
  *pbstrOSDomainName = nullptr;
  *pbstrOSUserName = nullptr;
  *pbstrPassword = nullptr;
  UniqueBstr domain;
  UniqueBstr user;
  UniqueBstr password;
  HRESULT hr = AllocString(account_.domain, &domain);
  if (SUCCEEDED(hr)) hr = AllocString(account_.userName, &user);
  if (SUCCEEDED(hr)) hr = AllocString(account_.password, &password);
  if (FAILED(hr)) return hr;
  *pbstrOSDomainName = domain.release();
  *pbstrOSUserName = user.release();
  *pbstrPassword = password.release();
  return S_OK;
}

STDMETHODIMP CAdminAccountInfo::RegisterAppID(LPWSTR) { return E_NOTIMPL; }

}  // namespace velmora_host
