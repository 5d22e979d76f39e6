#pragma once
// Where one command's printed pages go: the process's print destination set for the command and
// given back after it.

#include <filesystem>

#include "platform/browser/PrintDestination.h"

namespace host {

class CCommandDestination {
 public:
  // Pages into `out` when given, else where the add-in puts them, each PDF under a name no file
  // had; the lists of written PDFs and of files the shell did not print start empty.
  explicit CCommandDestination(const std::filesystem::path& out);
  ~CCommandDestination();
  CCommandDestination(const CCommandDestination&) = delete;
  CCommandDestination& operator=(const CCommandDestination&) = delete;

  platform::browser::PrintDestination& get() { return platform::browser::printDestination(); }
  // Says every PDF written, as "<command>: wrote <file>".
  void reportWritten(const char* command) const;
  // Says on stderr every file (an attachment) the shell was asked to print and did not, and why,
  // as "<command>: <file> was not printed: <reason>"; answers whether there was any.
  bool reportNotPrinted(const char* command) const;

 private:
  platform::browser::PrintDestination m_previous;
};

}  // namespace host
