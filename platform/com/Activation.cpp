#include "platform/com/Activation.h"

#include <dlfcn.h>

#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/com/ComError.h"
#include "platform/registry/RegKey.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Text.h"

namespace {

using platform::system::utf16ToUtf8;

// A server module loaded for its class objects; the handle is dlopen's.
struct LoadedServer {
  void* handle = nullptr;
  LPFNGETCLASSOBJECT getClassObject = nullptr;
  LPFNCANUNLOADNOW canUnloadNow = nullptr;
};

std::mutex g_mutex;
std::map<std::string, LoadedServer> g_servers;  // by the path as registered

std::string hresultText(HRESULT hr) { return utf16ToUtf8(_com_error(hr).ErrorMessage()); }

// The text of a REG_SZ or REG_EXPAND_SZ value; nullopt when absent or of another type.
std::optional<std::u16string> readText(HKEY root, const std::u16string& path, const char16_t* name) {
  CRegKey key;
  if (key.Open(root, path.c_str(), KEY_READ) != ERROR_SUCCESS) return std::nullopt;
  DWORD type = 0, bytes = 0;
  if (key.QueryValue(name, &type, nullptr, &bytes) != ERROR_SUCCESS) return std::nullopt;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
  std::vector<char16_t> buffer(bytes / sizeof(char16_t) + 1);
  if (key.QueryValue(name, &type, buffer.data(), &bytes) != ERROR_SUCCESS) return std::nullopt;
  std::u16string text(buffer.data(), bytes / sizeof(char16_t));
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

std::string dlFailure() {
  const char* text = ::dlerror();
  return text ? text : "unknown failure";
}

// The loaded server of a path, loading it on first use. Called with g_mutex held.
HRESULT serverOf(const std::string& path, LoadedServer*& out) {
  if (auto found = g_servers.find(path); found != g_servers.end()) {
    out = &found->second;
    return S_OK;
  }
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    platform::diag::error("CoGetClassObject", "cannot load " + path + ": " + dlFailure());
    return CO_E_DLLNOTFOUND;
  }
  LoadedServer server;
  server.handle = handle;
  server.getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(::dlsym(handle, "DllGetClassObject"));
  server.canUnloadNow = reinterpret_cast<LPFNCANUNLOADNOW>(::dlsym(handle, "DllCanUnloadNow"));
  if (!server.getClassObject) {
    platform::diag::error("CoGetClassObject", path + " does not export DllGetClassObject");
    ::dlclose(handle);
    return CO_E_ERRORINDLL;
  }
  out = &g_servers.emplace(path, server).first->second;
  return S_OK;
}

}  // namespace

HRESULT CLSIDFromProgID(const char16_t* progId, LPCLSID clsid) {
  return platform::diag::guarded("CLSIDFromProgID", E_FAIL, [&]() -> HRESULT {
    if (!progId || !clsid) return E_INVALIDARG;
    const std::u16string name(progId);
    // A ProgID is one key name: a separator would reach another key.
    if (name.empty() || name.find(u'\\') != std::u16string::npos) return CO_E_CLASSSTRING;
    const auto text = readText(HKEY_CLASSES_ROOT, name + u"\\CLSID", nullptr);
    if (!text) {
      platform::diag::error("CLSIDFromProgID", "\"" + utf16ToUtf8(name) + "\" is not registered");
      return CO_E_CLASSSTRING;
    }
    if (FAILED(CLSIDFromString(text->c_str(), clsid))) {
      platform::diag::error("CLSIDFromProgID",
                            "\"" + utf16ToUtf8(name) + "\" names no valid class id: " + utf16ToUtf8(*text));
      return CO_E_CLASSSTRING;
    }
    return S_OK;
  });
}

HRESULT CoGetClassObject(REFCLSID rclsid, CLSCTX context, void*, REFIID riid, void** ppv) {
  return platform::diag::guarded("CoGetClassObject", E_FAIL, [&]() -> HRESULT {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    const std::string id = utf16ToUtf8(platform::com::formatGuid(rclsid));
    if (!(context & CLSCTX_INPROC_SERVER)) {
      platform::diag::error("CoGetClassObject", "class " + id + " is served in process only");
      return REGDB_E_CLASSNOTREG;
    }
    const auto path =
        readText(HKEY_CLASSES_ROOT, u"CLSID\\" + platform::com::formatGuid(rclsid) + u"\\InprocServer32", nullptr);
    if (!path || path->empty()) {
      platform::diag::error("CoGetClassObject", "class " + id + " is not registered");
      return REGDB_E_CLASSNOTREG;
    }
    // A relative path would be searched for along the library path: only the registered file loads.
    if (path->front() != u'/') {
      platform::diag::error("CoGetClassObject", "class " + id + " names a module without a full path: " +
                                                    utf16ToUtf8(*path));
      return REGDB_E_CLASSNOTREG;
    }
    LPFNGETCLASSOBJECT getClassObject = nullptr;
    {
      std::lock_guard lock(g_mutex);
      LoadedServer* server = nullptr;
      if (const HRESULT hr = serverOf(utf16ToUtf8(*path), server); FAILED(hr)) return hr;
      getClassObject = server->getClassObject;
    }
    const HRESULT hr = getClassObject(rclsid, riid, ppv);
    if (FAILED(hr))
      platform::diag::error("CoGetClassObject", "the module of class " + id + " gave no class object: " + hresultText(hr));
    return hr;
  });
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* outer, CLSCTX context, REFIID riid, void** ppv) {
  return platform::diag::guarded("CoCreateInstance", E_FAIL, [&]() -> HRESULT {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(rclsid, context, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(outer, riid, ppv);
    factory->Release();
    if (FAILED(hr))
      platform::diag::error("CoCreateInstance", "class " + utf16ToUtf8(platform::com::formatGuid(rclsid)) +
                                                    " made no object: " + hresultText(hr));
    return hr;
  });
}

void CoFreeUnusedLibraries() {
  platform::diag::guarded("CoFreeUnusedLibraries", [&] {
    std::lock_guard lock(g_mutex);
    for (auto it = g_servers.begin(); it != g_servers.end();) {
      // A module without DllCanUnloadNow cannot say it is unused: it stays.
      if (it->second.canUnloadNow && it->second.canUnloadNow() == S_OK) {
        if (::dlclose(it->second.handle) != 0)
          platform::diag::error("CoFreeUnusedLibraries", "cannot unload " + it->first + ": " + dlFailure());
        it = g_servers.erase(it);
      } else {
        ++it;
      }
    }
  });
}

namespace platform::com {

HRESULT runServerRegistration(const std::u16string& path, bool registerServer) {
  return diag::guarded("runServerRegistration", E_FAIL, [&]() -> HRESULT {
    const std::string file = utf16ToUtf8(path);
    const char* exportName = registerServer ? "DllRegisterServer" : "DllUnregisterServer";
    void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      diag::error("runServerRegistration", "cannot load " + file + ": " + dlFailure());
      return CO_E_DLLNOTFOUND;
    }
    HRESULT hr = CO_E_ERRORINDLL;
    if (auto entry = reinterpret_cast<LPFNREGISTERSERVER>(::dlsym(handle, exportName))) {
      hr = entry();
      if (FAILED(hr)) diag::error("runServerRegistration", file + ": " + exportName + " failed: " + hresultText(hr));
    } else {
      diag::error("runServerRegistration", file + " does not export " + exportName);
    }
    // The class objects' own reference (if any) keeps the module loaded.
    ::dlclose(handle);
    return hr;
  });
}

bool isServerLoaded(const std::u16string& path) {
  std::lock_guard lock(g_mutex);
  return g_servers.count(utf16ToUtf8(path)) != 0;
}

}  // namespace platform::com
