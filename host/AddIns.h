#pragma once
// Outlook's add-in manager: the add-ins registered under HKCU's Outlook add-in key with
// LoadBehavior 3 are created through COM from their ProgIDs (the module comes from its HKCR
// registration) and connected through _IDTExtensibility2.

#include <string>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/com/Dispatch.h"
#include "platform/office/OfficeInterfaces.h"

namespace host {

// The key `quillmark install` writes an add-in's sub-key under, in HKCU.
inline constexpr const char16_t* kOutlookAddinsKey = u"Software\\Microsoft\\Office\\Outlook\\Addins";

class CAddInHost {
 public:
  CAddInHost() = default;
  CAddInHost(const CAddInHost&) = delete;
  CAddInHost& operator=(const CAddInHost&) = delete;
  // Disconnects what is still connected.
  ~CAddInHost();

  // Loads every add-in with LoadBehavior 3 and calls OnConnection(application, 1, null, empty)
  // on each, then OnStartupComplete on each that connected. True when at least one connected;
  // otherwise error says why none did (not installed, not registered, the module failed to
  // load with the activation's reason, no _IDTExtensibility2, OnConnection failed). Every
  // add-in that fails is reported on stderr and to the log with its reason, and the others go
  // on. A second call while connected does nothing and answers true.
  bool connect(IDispatch* application, std::string& error);
  // OnBeginShutdown on each, then OnDisconnection(0) on each, releases them and unloads the
  // modules no longer used (CoFreeUnusedLibraries). A second call only unloads.
  void disconnect();

  // The ProgIDs of the add-ins connected now.
  std::vector<std::string> connected() const;
  // The add-in objects connected now (for their ribbons), in the order of connected().
  std::vector<CComPtr<IUnknown>> objects() const;
  // One line for each add-in that failed in the last connect, with its reason.
  const std::vector<std::string>& failures() const { return m_failures; }

 private:
  struct AddIn {
    std::string progId;
    CComPtr<_IDTExtensibility2> connection;
  };
  void fail(const std::string& progId, const std::string& why);

  std::vector<AddIn> m_addIns;
  std::vector<std::string> m_failures;
};

}  // namespace host
