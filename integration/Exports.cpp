// The four exports of the in-process server; nothing else of the module is visible outside it.
#include "foundation/Guard.h"
#include "integration/Module.h"

#define QM_EXPORT extern "C" __attribute__((visibility("default")))

QM_EXPORT HRESULT DllCanUnloadNow() {
  return NUtils::guarded(u"DllCanUnloadNow", S_FALSE, [] { return _AtlModule.DllCanUnloadNow(); });
}

QM_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  return NUtils::guarded(u"DllGetClassObject", E_FAIL, [&] { return _AtlModule.DllGetClassObject(rclsid, riid, ppv); });
}

QM_EXPORT HRESULT DllRegisterServer() {
  return NUtils::guarded(u"DllRegisterServer", E_FAIL, [] { return _AtlModule.DllRegisterServer(); });
}

QM_EXPORT HRESULT DllUnregisterServer() {
  return NUtils::guarded(u"DllUnregisterServer", E_FAIL, [] { return _AtlModule.DllUnregisterServer(); });
}
