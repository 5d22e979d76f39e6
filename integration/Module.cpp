#include "integration/Module.h"

#include <string>

#include "engine/quilMarkShellHandler.h"
#include "foundation/AddinGlobals.h"
#include "foundation/Log.h"
#include "integration/Connect.h"
#include "integration/Quillmarker.h"
#include "integration/quilMarkPP.h"
#include "platform/com/Registrar.h"
#include "platform/com/TypeLib.h"
#include "platform/resources/Resources.h"
#include "platform/system/Locale.h"
#include "platform/system/Module.h"
#include "platform/system/Text.h"
#include "resources/resource.h"

extern const platform::resources::ModuleResources kQuillMarkResources;

CAddInModule _AtlModule;

namespace {

template <class T>
HRESULT classObjectOf(REFIID riid, void** ppv) {
  CComPtr<CComObject<CComClassFactoryT<T>>> factory = CComObject<CComClassFactoryT<T>>::Make();
  if (!factory) return E_OUTOFMEMORY;
  return factory->QueryInterface(riid, ppv);
}

constexpr ClassEntry kClasses[] = {
    {&CLSID_Quillmarker, IDR_QUILLMARKER, &classObjectOf<CQuillmarker>, u"quilMark.Quillmarker"},
    {&CLSID_quillMarkPP, IDR_QUILLMARKPP, &classObjectOf<CquilMarkPP>, u"quillMarkLib.quillMarkPP"},
    {&CLSID_quillMarkShellHandler, IDR_QUILLMARKSHELLHANDLER, &classObjectOf<CquilMarkShellHandler>,
     u"quillMark.quillMarkShellHandler"},
    {&CLSID_Connect, IDR_CONNECT, &classObjectOf<CConnect>, u"quillMark.Connect"},
};

// Loading the module is its process attach; unloading its detach. Defined after _AtlModule, so
// it runs once the module object exists and goes before it.
struct ProcessAttach {
  ProcessAttach() { DllMain(platform::resources::handleOf(kQuillMarkResources), DLL_PROCESS_ATTACH, nullptr); }
  ~ProcessAttach() { DllMain(platform::resources::handleOf(kQuillMarkResources), DLL_PROCESS_DETACH, nullptr); }
} g_processAttach;

}  // namespace

std::span<const ClassEntry> classTable() { return kClasses; }

BOOL DllMain(HINSTANCE instance, DWORD, void*) {
  _AtlModule.SetResourceInstance(instance);
  NGlobals::setModuleInstance(instance);
  return TRUE;
}

HRESULT CAddInModule::DllCanUnloadNow() noexcept { return GetLockCount() == 0 ? S_OK : S_FALSE; }

HRESULT CAddInModule::DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  for (const ClassEntry& entry : kClasses)
    if (IsEqualCLSID(*entry.clsid, rclsid)) return entry.getClassObject(riid, ppv);
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CAddInModule::DllRegisterServer() { return updateRegistry(true); }
HRESULT CAddInModule::DllUnregisterServer() { return updateRegistry(false); }

HRESULT CAddInModule::updateRegistry(bool registering) {
  const LCID previous = GetThreadLocale();
  SetThreadLocale(LOCALE_SYSTEM_DEFAULT);
  // The caller's locale comes back however the registration ends.
  struct RestoreLocale {
    LCID locale;
    ~RestoreLocale() { SetThreadLocale(locale); }
  } restore{previous};

  char16_t path[4096];
  const DWORD length = GetModuleFileNameW(m_hResourceInstance, path, sizeof path / sizeof path[0]);
  if (length == 0 || length >= sizeof path / sizeof path[0]) {
    LOG_ERROR(u"The module's own path is not known");
    return E_FAIL;
  }
  platform::com::CRegistrar registrar;
  registrar.addReplacement(u"MODULE", std::u16string_view(path, length));
  registrar.addReplacement(u"APPID", u"");

  HRESULT result = S_OK;
  for (const ClassEntry& entry : kClasses) {
    const std::u16string name = platform::system::utf8ToUtf16(std::to_string(entry.registryScript));
    const auto bytes = platform::resources::findResource(m_hResourceInstance, name.c_str(), u"REGISTRY");
    const std::u16string script = platform::system::utf8ToUtf16(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    HRESULT hr = E_FAIL;
    if (script.empty()) LOG_ERROR(u"The registration script %u is missing", entry.registryScript);
    else hr = registering ? registrar.registerScript(script) : registrar.unregisterScript(script);
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  const HRESULT hr = updateTypeLib(registering, std::u16string(path, length));
  return FAILED(result) ? result : hr;
}

// The type library the module carries as resource TYPELIB 1.
HRESULT CAddInModule::updateTypeLib(bool registering, const std::u16string& modulePath) {
  const auto bytes = platform::resources::findResource(m_hResourceInstance, u"1", u"TYPELIB");
  if (bytes.empty()) {
    LOG_ERROR(u"The type library is missing");
    return E_FAIL;
  }
  platform::com::TypeLibDescription library;
  HRESULT hr = platform::com::parseTypeLib(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), library);
  if (FAILED(hr)) return hr;
  if (registering) return platform::com::RegisterTypeLib(library, modulePath);
  hr = platform::com::UnRegisterTypeLib(library.libid, library.major, library.minor);
  // Taking back what is not there is done.
  return hr == TYPE_E_REGISTRYACCESS ? S_OK : hr;
}
