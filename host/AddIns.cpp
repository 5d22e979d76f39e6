#include "host/AddIns.h"

#include <cstdio>

#include "platform/com/Activation.h"
#include "platform/com/ComError.h"
#include "platform/office/OfficeInterfaces.h"
#include "platform/registry/RegKey.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Text.h"

namespace host {
namespace {

std::string narrow(std::u16string_view text) { return platform::system::utf16ToUtf8(text); }

std::string hresultText(HRESULT hr) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
  return narrow(_com_error(hr).ErrorMessage()) + " (" + code + ")";
}

// The activation's own reason when it reported one, else the HRESULT's text.
std::string activationFailure(HRESULT hr) {
  std::string why = platform::diag::lastFailure();
  return why.empty() ? hresultText(hr) : why + " [" + hresultText(hr) + "]";
}

struct Registered {
  std::u16string progId;
  DWORD loadBehavior = 0;
  bool hasLoadBehavior = false;
};

std::vector<Registered> registeredAddIns() {
  std::vector<Registered> found;
  CRegKey addins;
  if (addins.Open(HKEY_CURRENT_USER, kOutlookAddinsKey, KEY_READ) != ERROR_SUCCESS) return found;
  std::u16string name;
  for (DWORD i = 0; addins.EnumKey(i, name) == ERROR_SUCCESS; ++i) {
    Registered entry{name};
    CRegKey key;
    if (key.Open(addins.m_hKey, name.c_str(), KEY_READ) == ERROR_SUCCESS)
      entry.hasLoadBehavior = key.QueryDWORDValue(u"LoadBehavior", entry.loadBehavior) == ERROR_SUCCESS;
    found.push_back(std::move(entry));
  }
  return found;
}

}  // namespace

CAddInHost::~CAddInHost() { disconnect(); }

void CAddInHost::fail(const std::string& progId, const std::string& why) {
  const std::string line = "the add-in " + progId + " was not loaded: " + why;
  m_failures.push_back(line);
  std::fprintf(stderr, "quillmark outlook: %s\n", line.c_str());
  platform::diag::error("Add-ins", line);
}

bool CAddInHost::connect(IDispatch* application, std::string& error) {
  if (!m_addIns.empty()) return true;
  m_failures.clear();
  if (!application) {
    error = "there is no Outlook application to connect add-ins to";
    platform::diag::error("Add-ins", error);
    return false;
  }
  const std::vector<Registered> registered = registeredAddIns();
  int startUp = 0;
  for (const Registered& entry : registered) {
    const std::string progId = narrow(entry.progId);
    // Only add-ins loaded at start-up; the others wait for the user, as in Outlook.
    if (!entry.hasLoadBehavior || entry.loadBehavior != 3) continue;
    ++startUp;
    platform::diag::clearLastFailure();
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(entry.progId.c_str(), &clsid);
    if (FAILED(hr)) {
      fail(progId, "it is not registered (no class id under HKEY_CLASSES_ROOT\\" + progId + ")");
      continue;
    }
    CComPtr<IUnknown> object;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object.p));
    if (FAILED(hr) || !object) {
      fail(progId, "its module could not be loaded: " + activationFailure(hr));
      continue;
    }
    CComPtr<_IDTExtensibility2> connection;
    hr = object->QueryInterface(IID__IDTExtensibility2, reinterpret_cast<void**>(&connection.p));
    if (FAILED(hr) || !connection) {
      fail(progId, "the add-in does not implement _IDTExtensibility2");
      continue;
    }
    SAFEARRAY* custom = nullptr;
    hr = connection->OnConnection(application, ext_cm_Startup, nullptr, &custom);
    if (FAILED(hr)) {
      fail(progId, "OnConnection failed: " + activationFailure(hr));
      continue;
    }
    m_addIns.push_back({progId, connection});
  }
  for (AddIn& addIn : m_addIns) {
    SAFEARRAY* custom = nullptr;
    if (const HRESULT hr = addIn.connection->OnStartupComplete(&custom); FAILED(hr)) {
      const std::string line = "OnStartupComplete of " + addIn.progId + " failed: " + hresultText(hr);
      m_failures.push_back(line);
      std::fprintf(stderr, "quillmark outlook: %s\n", line.c_str());
      platform::diag::error("Add-ins", line);
    }
  }
  if (!m_addIns.empty()) return true;
  if (startUp == 0) {
    error = "no add-in is installed (HKEY_CURRENT_USER\\" + narrow(kOutlookAddinsKey) +
            " holds none with LoadBehavior 3; run quillmark install)";
  } else {
    error.clear();
    for (const std::string& line : m_failures) error += (error.empty() ? "" : "; ") + line;
  }
  platform::diag::error("Add-ins", error);
  return false;
}

void CAddInHost::disconnect() {
  // Modules of add-ins that failed to connect are unloaded here too.
  if (m_addIns.empty()) {
    CoFreeUnusedLibraries();
    return;
  }
  // Moved out first: an add-in's shutdown may run the loop, and nothing may connect meanwhile.
  std::vector<AddIn> addIns = std::move(m_addIns);
  m_addIns.clear();
  for (AddIn& addIn : addIns) {
    SAFEARRAY* custom = nullptr;
    if (const HRESULT hr = addIn.connection->OnBeginShutdown(&custom); FAILED(hr))
      platform::diag::error("Add-ins", "OnBeginShutdown of " + addIn.progId + " failed: " + hresultText(hr));
  }
  for (AddIn& addIn : addIns) {
    SAFEARRAY* custom = nullptr;
    if (const HRESULT hr = addIn.connection->OnDisconnection(ext_dm_HostShutdown, &custom); FAILED(hr))
      platform::diag::error("Add-ins", "OnDisconnection of " + addIn.progId + " failed: " + hresultText(hr));
  }
  addIns.clear();
  CoFreeUnusedLibraries();
}

std::vector<std::string> CAddInHost::connected() const {
  std::vector<std::string> names;
  for (const AddIn& addIn : m_addIns) names.push_back(addIn.progId);
  return names;
}

}  // namespace host

namespace host {

std::vector<CComPtr<IUnknown>> CAddInHost::objects() const {
  std::vector<CComPtr<IUnknown>> found;
  for (const AddIn& addIn : m_addIns) found.emplace_back(static_cast<IUnknown*>(addIn.connection.p));
  return found;
}

}  // namespace host
