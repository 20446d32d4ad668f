// CAdminAccountInfo: ICAdminAccountInfo over the account kept by
// AdminAccountStore. Creation reads the account once and fails with
// kNoAdminAccount when none is configured, so a caller that only checks the
// creation result falls back to its own account.
#pragma once

#include <windows.h>

#include "Velmora.h"
#include "host/standins/AdminAccountStore.h"

namespace velmora_host {

class CAdminAccountInfo final : public ICAdminAccountInfo {
 public:
  static HRESULT Create(REFIID iid, void** object);

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // Late binding is not offered: no type information, no members by name.
  STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
  STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                             DISPID* rgDispId) override;
  STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                      DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                      UINT* puArgErr) override;

  STDMETHODIMP GetOSAdminAccountInfo(BSTR* pbstrOSUserName, BSTR* pbstrPassword) override;
  STDMETHODIMP GetOSAdminAccountInfoEx(BSTR* pbstrOSDomainName, BSTR* pbstrOSUserName,
                                       BSTR* pbstrPassword) override;
  STDMETHODIMP RegisterAppID(LPWSTR pAppID) override;

 private:
  explicit CAdminAccountInfo(AdminAccount account);
  ~CAdminAccountInfo();

  LONG refs_ = 1;
  AdminAccount account_;
};

}  // namespace velmora_host
