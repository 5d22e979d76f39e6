#pragma once
// The calls every property object of this read-only MAPI refuses: nothing is ever written.

#include "platform/mapi/MAPIInterfaces.h"
#include "platform/mapi/detail/Streams.h"

namespace platform::mapi::detail {

template <class Interface>
class CReadOnlyProp : public CUnknownImpl<Interface> {
 public:
  HRESULT GetLastError(HRESULT, ULONG, LPMAPIERROR* error) override {
    if (error) *error = nullptr;
    return S_OK;
  }
  HRESULT SaveChanges(ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT SetProps(ULONG, LPSPropValue, LPSPropProblemArray*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT DeleteProps(LPSPropTagArray, LPSPropProblemArray*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT CopyTo(ULONG, LPCIID, LPSPropTagArray, ULONG, IMAPIProgress*, LPCIID, void*, ULONG,
                 LPSPropProblemArray*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT CopyProps(LPSPropTagArray, ULONG, IMAPIProgress*, LPCIID, void*, ULONG, LPSPropProblemArray*) override {
    return MAPI_E_NO_SUPPORT;
  }
};

}  // namespace platform::mapi::detail
