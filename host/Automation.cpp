#include "host/Automation.h"

#include <cstdio>
#include <cstdlib>

#include "host/AddIns.h"
#include "host/Destination.h"
#include "host/OutlookCommand.h"
#include "platform/browser/PrintDestination.h"
#include "platform/com/Activation.h"
#include "platform/com/Com.h"
#include "platform/loop/MessageLoop.h"
#include "platform/outlook/Outlook.h"
#include "platform/shell/ThreadRef.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Locale.h"
#include "platform/system/Text.h"

namespace host {

namespace fs = std::filesystem;
using platform::system::utf16ToUtf8;
using platform::system::utf8ToUtf16;

std::optional<AutomationCommandLine> parseAutomationCommandLine(const std::vector<std::string>& args,
                                                                std::string& error) {
  if (args.empty() || args[0] != "print") {
    error = args.empty() ? "no automation call given (print)" : "unknown automation call " + args[0];
    return std::nullopt;
  }
  AutomationCommandLine command;
  bool haveEntryId = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (i + 1 >= args.size()) {
      error = "unknown or incomplete option " + a;
      return std::nullopt;
    }
    const std::string& value = args[++i];
    if (a == "--entry-id") {
      command.entryId = utf8ToUtf16(value);
      haveEntryId = true;
    } else if (a == "--store-id") {
      command.storeId = utf8ToUtf16(value);
    } else if (a == "--action") {
      command.action = utf8ToUtf16(value);
    } else if (a == "--store") {
      command.store = value;
    } else if (a == "--out" && !value.empty()) {
      command.out = value;
    } else if (a == "--timeout") {
      char* end = nullptr;
      const unsigned long seconds = std::strtoul(value.c_str(), &end, 10);
      if (value.empty() || *end || seconds == 0 || seconds > 86400) {
        error = "--timeout takes a number of seconds from 1 to 86400";
        return std::nullopt;
      }
      command.timeoutSeconds = static_cast<unsigned>(seconds);
    } else {
      error = "unknown or incomplete option " + a;
      return std::nullopt;
    }
  }
  if (!haveEntryId || command.entryId.empty()) {
    error = "--entry-id ID is needed";
    return std::nullopt;
  }
  return command;
}

namespace {

// The thread's reference for the length of the command: the add-in's worker holds it while its
// queue holds jobs.
class CThreadRefScope {
 public:
  CThreadRefScope() {
    if (SUCCEEDED(SHCreateThreadRef(&m_count, m_ref.Receive()))) SHSetThreadRef(m_ref);
  }
  ~CThreadRefScope() {
    SHSetThreadRef(nullptr);
    m_ref.Release();
  }
  CThreadRefScope(const CThreadRefScope&) = delete;
  CThreadRefScope& operator=(const CThreadRefScope&) = delete;

  bool valid() const { return m_ref != nullptr; }
  // References held by others than the command.
  LONG pending() const { return m_ref ? m_count - 1 : 0; }

 private:
  LONG m_count = 0;
  CComPtr<IUnknown> m_ref;
};

std::string reasonOf(HRESULT hr, const EXCEPINFO& exception) {
  if (exception.bstrDescription && *exception.bstrDescription) return utf16ToUtf8(exception.bstrDescription);
  const std::string failure = platform::diag::lastFailure();
  if (!failure.empty()) return failure;
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(static_cast<ULONG>(hr)));
  return std::string("the call failed with ") + code;
}

}  // namespace

int runAutomation(const AutomationCommandLine& command) {
  const fs::path store = command.store.empty() ? defaultStore() : command.store;
  std::unique_ptr<platform::outlook::COutlook> outlook = platform::outlook::COutlook::open(store);
  if (!outlook) {
    std::fprintf(stderr, "quillmark automation: cannot open the store %s\n", store.string().c_str());
    return 2;
  }
  CAddInHost addIns;
  std::string error;
  if (!addIns.connect(outlook->application(), error)) {
    std::fprintf(stderr, "quillmark automation: no add-in connected: %s\n", error.c_str());
    return 2;
  }

  CCommandDestination destination(command.out);
  // Each PDF is named after the file of the item it prints, as quillmark print names them.
  destination.get().nameOf = [&outlook](IDispatch* item, bool table) -> std::u16string {
    const fs::path file = outlook->fileOf(item);
    if (file.empty()) return {};
    return utf8ToUtf16(file.stem().string()) + (table ? u"-table" : u"");
  };

  int status = 0;
  {
    CThreadRefScope threadRef;
    // As a script: the class by its ProgID, Print by name.
    CLSID clsid{};
    CComPtr<IDispatch> quillmarker;
    HRESULT hr = CLSIDFromProgID(u"quilMark.Quillmarker", &clsid);
    if (SUCCEEDED(hr))
      hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                            reinterpret_cast<void**>(quillmarker.Receive()));
    if (FAILED(hr) || !quillmarker) {
      std::fprintf(stderr, "quillmark automation: cannot create quilMark.Quillmarker: %s\n",
                   platform::diag::lastFailure().c_str());
      status = 2;
    }
    DISPID print = DISPID_UNKNOWN;
    if (status == 0) {
      LPOLESTR names[] = {const_cast<LPOLESTR>(u"Print")};
      hr = quillmarker->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &print);
      if (FAILED(hr)) {
        std::fprintf(stderr, "quillmark automation: quilMark.Quillmarker has no Print (0x%08lX)\n",
                     static_cast<unsigned long>(static_cast<ULONG>(hr)));
        status = 2;
      }
    }
    if (status == 0) {
      // DISPPARAMS hold the arguments last first.
      static_assert(sizeof(CComVariant) == sizeof(VARIANT));
      CComVariant args[] = {CComVariant(command.action.c_str()), CComVariant(command.storeId.c_str()),
                            CComVariant(command.entryId.c_str())};
      DISPPARAMS params{args, nullptr, 3, 0};
      EXCEPINFO exception{};
      UINT argError = 0;
      platform::diag::clearLastFailure();
      hr = quillmarker->Invoke(print, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, &exception,
                               &argError);
      const std::string reason = FAILED(hr) ? reasonOf(hr, exception) : std::string();
      SysFreeString(exception.bstrSource);
      SysFreeString(exception.bstrDescription);
      SysFreeString(exception.bstrHelpFile);
      if (FAILED(hr)) {
        // Outlook's own reason when it could not open the item: the add-in only hears "no item".
        const std::string unopened = outlook->openFailure(command.entryId);
        std::fprintf(stderr, "quillmark automation: Print failed: %s%s%s\n", reason.c_str(),
                     unopened.empty() ? "" : ": ", unopened.c_str());
        status = 1;
      }
    }
    quillmarker.Release();

    if (status == 0 && threadRef.valid()) {
      const bool emptied =
          platform::loop::runUntil([&] { return threadRef.pending() == 0; }, command.timeoutSeconds * 1000u);
      if (!emptied) {
        std::fprintf(stderr, "quillmark automation: the add-in's print queue was not empty after %u seconds\n",
                     command.timeoutSeconds);
        status = 1;
      }
    }
  }

  destination.reportWritten("quillmark automation");
  if (destination.reportNotPrinted("quillmark automation") && status == 0) status = 1;
  addIns.disconnect();
  return status;
}

}  // namespace host
