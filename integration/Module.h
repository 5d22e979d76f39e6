#pragma once
// CAddInModule: the in-process server's module object. It counts the locks of live objects and
// class-object locks, holds the resource instance every resource lookup uses, serves the class
// factories of its class table and registers the table's classes from its registration scripts.

#include <span>
#include <string>

#include "platform/com/Com.h"

// One creatable class: its id, its "REGISTRY" script and its class factory.
struct ClassEntry {
  const CLSID* clsid;
  UINT registryScript;
  HRESULT (*getClassObject)(REFIID riid, void** ppv);
  const char16_t* progId;  // the version-independent ProgID
};

class CAddInModule : public CAtlModule {
 public:
  HINSTANCE GetResourceInstance() const noexcept { return m_hResourceInstance; }
  void SetResourceInstance(HINSTANCE instance) noexcept { m_hResourceInstance = instance; }

  // S_OK when no object or class-object lock is alive, else S_FALSE.
  HRESULT DllCanUnloadNow() noexcept;
  // CLASS_E_CLASSNOTAVAILABLE for a class id not in the table.
  HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
  // Run every script of the table (in unregister mode) and (un)register the type library, under the system default thread locale;
  // the caller's locale is restored. The first failure is answered, the remaining classes still
  // tried.
  HRESULT DllRegisterServer();
  HRESULT DllUnregisterServer();

 private:
  HRESULT updateRegistry(bool registering);
  HRESULT updateTypeLib(bool registering, const std::u16string& modulePath);

  HINSTANCE m_hResourceInstance = nullptr;
};

// The one module object of the process.
extern CAddInModule _AtlModule;

// The class table, in registration order.
std::span<const ClassEntry> classTable();

constexpr DWORD DLL_PROCESS_DETACH = 0;
constexpr DWORD DLL_PROCESS_ATTACH = 1;

// Run when the module is loaded (DLL_PROCESS_ATTACH) and unloaded: keeps the instance handle as
// the module's resource instance.
BOOL DllMain(HINSTANCE instance, DWORD reason, void* reserved);
