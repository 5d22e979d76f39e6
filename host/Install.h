#pragma once
// What an installer does on Windows: the machine-wide product key with its install defaults, the
// template files and the maker's "InstallDir", the add-in module's own registration and Outlook's
// add-in key; and what its uninstaller does.

#include <filesystem>
#include <string>

namespace host {

struct InstallOptions {
  std::filesystem::path programDir;  // where the templates go; empty: $QUILLMARK_HOME/program
  std::filesystem::path modulePath;  // the add-in module; empty: addinModulePath()
};

struct InstallResult {
  bool ok = false;
  std::string message;  // what was done, or why it failed
};

// The templates and product keys, then the module's DllRegisterServer, then Outlook's add-in key
// "Software\Microsoft\Office\Outlook\Addins\quillMark.Connect" in HKCU.
InstallResult install(const InstallOptions& options);

// The module's DllUnregisterServer and Outlook's add-in key removed; the templates, product keys
// and settings stay, as an administrator's choices do.
InstallResult uninstall(const InstallOptions& options);

// The installed templates: "Templates" in the folder the maker's "InstallDir" names; empty when the
// product is not installed.
std::filesystem::path installedTemplateFolder();

// libquillmark.so beside the quillmark binary, else the one of the build.
std::filesystem::path addinModulePath();

}  // namespace host
