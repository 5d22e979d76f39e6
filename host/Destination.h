#pragma once
// Where one command's printed pages go: the process's print destination set for the command and
// given back after it.

#include <filesystem>

#include "platform/browser/PrintDestination.h"

namespace host {

class CCommandDestination {
 public:
  // Pages into `out` when given (files of earlier runs there replaced, never the command's own),
  // else where the add-in puts them; the list of written PDFs starts empty.
  explicit CCommandDestination(const std::filesystem::path& out);
  ~CCommandDestination();
  CCommandDestination(const CCommandDestination&) = delete;
  CCommandDestination& operator=(const CCommandDestination&) = delete;

  platform::browser::PrintDestination& get() { return platform::browser::printDestination(); }
  // Says every PDF written, as "<command>: wrote <file>".
  void reportWritten(const char* command) const;

 private:
  platform::browser::PrintDestination m_previous;
};

}  // namespace host
