#include "host/Install.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string_view>
#include <system_error>
#include <vector>

#include "host/AddIns.h"
#include "platform/com/Activation.h"
#include "platform/com/ComError.h"
#include "platform/registry/RegKey.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Errors.h"
#include "platform/registry/RegistryFiles.h"
#include "platform/resources/Resources.h"
#include "platform/system/Text.h"

extern const platform::resources::ModuleResources kHostResources;

namespace host {
namespace {

namespace fs = std::filesystem;

constexpr const char16_t* kProductKey = u"SOFTWARE\\Corvessa\\QuillMark For Outlook";
constexpr const char16_t* kMakerKey = u"SOFTWARE\\Corvessa";
// The install defaults are registered for the fallback locale, which every locale reads.
constexpr const char16_t* kDefaultsKey = u"SOFTWARE\\Corvessa\\QuillMark For Outlook\\Install defaults\\Templates";
constexpr const char16_t* kDefaultsLocale = u"1033";
constexpr const char16_t* kConnectProgId = u"quillMark.Connect";

struct ShippedTemplate {
  std::string messageClass;
  std::string displayName;
  std::string file;
  bool isFolder = false;
};

std::u16string wide(std::string_view text) { return platform::system::utf8ToUtf16(text); }

std::string_view resource(const char16_t* name, const char16_t* type) {
  const auto bytes = platform::resources::findResource(platform::resources::handleOf(kHostResources), name, type);
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::vector<ShippedTemplate> shippedTemplates() {
  std::vector<ShippedTemplate> list;
  std::istringstream in{std::string(resource(u"TEMPLATES.TSV", u"RCDATA"))};
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> cells;
    std::istringstream fields(line);
    for (std::string cell; std::getline(fields, cell, '\t');) cells.push_back(cell);
    if (cells.size() != 4) continue;
    list.push_back({cells[0], cells[1], cells[2], cells[3] == "1"});
  }
  return list;
}

std::string upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return text;
}

std::string describe(LONG code) {
  return platform::system::utf16ToUtf8(platform::system::errorText(static_cast<DWORD>(code)));
}

// Writes the file whole under a name of its own beside the target, then puts it in place, so
// that installs running at once never write into each other's file and a reader sees the old
// file or the new one. Answers an empty text, or why it failed (no file of its own left behind).
std::string replaceFile(const fs::path& target, std::string_view bytes) {
  std::string temporary = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return std::strerror(errno);
  std::string failure;
  for (std::size_t done = 0; done < bytes.size() && failure.empty();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) failure = n < 0 ? std::strerror(errno) : "nothing written";
    else done += static_cast<std::size_t>(n);
  }
  // Templates are read by everyone who prints: the same mode as any installed file.
  if (failure.empty() && ::fchmod(fd, 0644) != 0) failure = std::strerror(errno);
  if (failure.empty() && ::fsync(fd) != 0) failure = std::strerror(errno);
  if (::close(fd) != 0 && failure.empty()) failure = std::strerror(errno);
  if (failure.empty() && ::rename(temporary.c_str(), target.c_str()) != 0) failure = std::strerror(errno);
  if (!failure.empty()) ::unlink(temporary.c_str());
  return failure;
}

// Removes what an earlier install registered and this one does not: message classes no longer
// shipped and numbered templates past this install's count. Done after the new values are in, so
// that a print reading the defaults meanwhile never finds them gone.
bool pruneDefaults(CRegKey& locale, const std::vector<std::pair<std::string, int>>& counts) {
  bool ok = true;
  std::vector<std::u16string> classes;
  std::u16string name;
  for (DWORD i = 0; locale.EnumKey(i, name) == ERROR_SUCCESS; ++i) classes.push_back(name);
  for (const std::u16string& cls : classes) {
    int count = 0;
    for (const auto& [shipped, n] : counts)
      if (wide(shipped) == cls) count = n;
    if (count == 0) {
      ok &= locale.RecurseDeleteKey(cls.c_str()) == ERROR_SUCCESS;
      continue;
    }
    CRegKey classKey;
    if (classKey.Open(locale.m_hKey, cls.c_str()) != ERROR_SUCCESS) continue;
    std::vector<std::u16string> stale;
    for (DWORD i = 0; classKey.EnumKey(i, name) == ERROR_SUCCESS; ++i) {
      bool keep = false;
      for (int n = 1; n <= count && !keep; ++n) keep = name == u"Template" + wide(std::to_string(n));
      if (!keep) stale.push_back(name);
    }
    for (const std::u16string& key : stale) ok &= classKey.RecurseDeleteKey(key.c_str()) == ERROR_SUCCESS;
  }
  return ok;
}

bool setDwordIfAbsent(CRegKey& key, const char16_t* name, DWORD value) {
  DWORD existing = 0;
  if (key.QueryDWORDValue(name, existing) == ERROR_SUCCESS) return true;
  return key.SetDWORDValue(name, value) == ERROR_SUCCESS;
}

// Runs the module's DllRegisterServer or DllUnregisterServer; an empty text, or why it failed.
std::string runModuleRegistration(const fs::path& module, bool registering) {
  platform::diag::clearLastFailure();
  const HRESULT hr = platform::com::runServerRegistration(wide(module.string()), registering);
  if (SUCCEEDED(hr)) return {};
  std::string why = platform::diag::lastFailure();
  if (why.empty()) why = platform::system::utf16ToUtf8(_com_error(hr).ErrorMessage());
  return std::string(registering ? "cannot register " : "cannot unregister ") + module.string() + ": " + why;
}

std::string writeOutlookAddinKey() {
  CRegKey addins;
  LONG rc = addins.Create(HKEY_CURRENT_USER, kOutlookAddinsKey);
  CRegKey key;
  if (rc == ERROR_SUCCESS) rc = key.Create(addins.m_hKey, kConnectProgId);
  if (rc != ERROR_SUCCESS) return "cannot create Outlook's add-in key: " + describe(rc);
  // 3: loaded at start-up, and loaded now.
  bool ok = key.SetDWORDValue(u"LoadBehavior", 3) == ERROR_SUCCESS;
  ok &= key.SetStringValue(u"FriendlyName", u"QuillMark For Outlook") == ERROR_SUCCESS;
  ok &= key.SetStringValue(u"Description", u"Prints Outlook items through HTML templates") == ERROR_SUCCESS;
  ok &= key.Close() == ERROR_SUCCESS;
  ok &= addins.Close() == ERROR_SUCCESS;
  return ok ? std::string() : "Outlook's add-in key could not be written completely";
}

fs::path moduleOf(const InstallOptions& options) {
  return options.modulePath.empty() ? addinModulePath() : options.modulePath;
}

}  // namespace

fs::path installedTemplateFolder() {
  CRegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, kMakerKey, KEY_READ) != ERROR_SUCCESS) return {};
  char16_t buffer[4096];
  DWORD type = 0, size = sizeof buffer;
  if (key.QueryValue(u"InstallDir", &type, buffer, &size) != ERROR_SUCCESS || type != REG_SZ || size < 2) return {};
  return fs::path(platform::system::utf16ToUtf8(std::u16string(buffer, size / 2 - 1))) / "Templates";
}

fs::path addinModulePath() {
  std::error_code ec;
  const fs::path beside = fs::read_symlink("/proc/self/exe", ec).parent_path() / "libquillmark.so";
  if (!ec && fs::exists(beside, ec)) return beside;
  return QM_ADDIN_MODULE_PATH;
}

InstallResult uninstall(const InstallOptions& options) {
  InstallResult result;
  if (std::string failure = runModuleRegistration(moduleOf(options), false); !failure.empty()) {
    result.message = std::move(failure);
    return result;
  }
  CRegKey addins;
  LONG rc = addins.Open(HKEY_CURRENT_USER, kOutlookAddinsKey, KEY_READ | KEY_WRITE);
  if (rc == ERROR_SUCCESS) {
    rc = addins.RecurseDeleteKey(kConnectProgId);
    if (rc == ERROR_SUCCESS) rc = addins.Close();
  }
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) {
    result.message = "cannot remove Outlook's add-in key: " + describe(rc);
    return result;
  }
  result.ok = true;
  result.message = "unregistered the add-in " + moduleOf(options).string();
  return result;
}

InstallResult install(const InstallOptions& options) {
  InstallResult result;
  fs::path programDir = options.programDir;
  if (programDir.empty()) programDir = platform::registry::registryHome() / "program";
  // The registry keeps these paths for prints started from any folder: never relative ones.
  std::error_code ec;
  programDir = fs::absolute(programDir, ec).lexically_normal();
  if (ec) {
    result.message = "cannot resolve " + programDir.string() + ": " + ec.message();
    return result;
  }
  const fs::path templateDir = programDir / "Templates";

  fs::create_directories(templateDir, ec);
  if (ec) {
    result.message = "cannot create " + templateDir.string() + ": " + ec.message();
    return result;
  }

  const std::vector<ShippedTemplate> templates = shippedTemplates();
  if (templates.empty()) {
    result.message = "the installer carries no templates";
    return result;
  }
  for (const ShippedTemplate& t : templates) {
    const std::string_view html = resource(wide(upper(t.file)).c_str(), u"HTML");
    const fs::path target = templateDir / t.file;
    if (const std::string failure = replaceFile(target, html); !failure.empty()) {
      result.message = "cannot write " + target.string() + ": " + failure;
      return result;
    }
  }

  CRegKey product;
  LONG rc = product.Create(HKEY_LOCAL_MACHINE, kProductKey);
  if (rc != ERROR_SUCCESS) {
    result.message = "cannot create the product key: " + describe(rc);
    return result;
  }
  // An administrator's earlier choices stay; only missing values get the install defaults.
  bool ok = setDwordIfAbsent(product, u"Allow users to modify settings", 1);
  ok &= setDwordIfAbsent(product, u"Tidy HTML", 1);
  ok &= setDwordIfAbsent(product, u"Enable Logging", 0);

  CRegKey maker;
  rc = maker.Create(HKEY_LOCAL_MACHINE, kMakerKey);
  if (rc != ERROR_SUCCESS) {
    result.message = "cannot create the maker's key: " + describe(rc);
    return result;
  }
  std::string installDir = programDir.string();
  if (installDir.back() != '/') installDir.push_back('/');
  ok &= maker.SetStringValue(u"InstallDir", wide(installDir).c_str()) == ERROR_SUCCESS;

  CRegKey defaults;
  rc = defaults.Create(HKEY_LOCAL_MACHINE, kDefaultsKey);
  if (rc != ERROR_SUCCESS) {
    result.message = "cannot create the install defaults: " + describe(rc);
    return result;
  }
  std::vector<std::pair<std::string, int>> numbers;
  for (const ShippedTemplate& t : templates) {
    int number = 1;
    for (auto& [cls, n] : numbers) {
      if (cls == t.messageClass) number = ++n;
    }
    if (number == 1) numbers.emplace_back(t.messageClass, 1);
    const std::u16string keyName =
        std::u16string(kDefaultsLocale) + u"\\" + wide(t.messageClass) + u"\\Template" + wide(std::to_string(number));
    CRegKey key;
    rc = key.Create(defaults.m_hKey, keyName.c_str());
    if (rc != ERROR_SUCCESS) {
      result.message = "cannot register " + t.file + ": " + describe(rc);
      return result;
    }
    ok &= key.SetStringValue(u"DisplayName", wide(t.displayName).c_str()) == ERROR_SUCCESS;
    ok &= key.SetStringValue(u"Printing template", wide((templateDir / t.file).string()).c_str()) == ERROR_SUCCESS;
    ok &= key.SetDWORDValue(u"IsFolder", t.isFolder ? 1 : 0) == ERROR_SUCCESS;
    ok &= key.Close() == ERROR_SUCCESS;
  }
  CRegKey locale;
  rc = locale.Open(defaults.m_hKey, kDefaultsLocale);
  if (rc != ERROR_SUCCESS) {
    result.message = "cannot open the install defaults: " + describe(rc);
    return result;
  }
  if (!pruneDefaults(locale, numbers)) {
    result.message = "cannot remove the earlier install defaults";
    return result;
  }
  for (CRegKey* key : {&locale, &defaults, &maker, &product}) ok &= key->Close() == ERROR_SUCCESS;
  if (!ok) {
    result.message = "the registry could not be written completely";
    return result;
  }
  const fs::path module = moduleOf(options);
  if (std::string failure = runModuleRegistration(module, true); !failure.empty()) {
    result.message = std::move(failure);
    return result;
  }
  if (std::string failure = writeOutlookAddinKey(); !failure.empty()) {
    result.message = std::move(failure);
    return result;
  }
  result.ok = true;
  result.message = "installed " + std::to_string(templates.size()) + " templates in " + templateDir.string() +
                   " and registered the add-in " + module.string();
  return result;
}

}  // namespace host
