#pragma once
// What an installer does on Windows: the machine-wide product key with its install defaults, the
// template files and the maker's "InstallDir".

#include <filesystem>
#include <string>

namespace host {

struct InstallOptions {
  std::filesystem::path programDir;  // where the templates go; empty: $QUILLMARK_HOME/program
};

struct InstallResult {
  bool ok = false;
  std::string message;  // what was done, or why it failed
};

InstallResult install(const InstallOptions& options);

}  // namespace host
