#pragma once
// The desktop's shell on Linux: "open" runs xdg-open on the file, "print" runs CUPS lp. Helpers
// run without a shell, their arguments passed one by one, so no file name is ever interpreted.

#include <chrono>
#include <string>

#include "platform/Export.h"
#include "platform/shell/Shell.h"

namespace platform::shell {

struct HelperPrograms {
  std::string open = "xdg-open";  // a name looked up in PATH, or a path
  std::string print = "lp";
  // How long a helper may run before it is left to finish on its own (counted as started).
  std::chrono::milliseconds wait{15000};
};

class QM_PLATFORM_API XdgShell : public IShell {
 public:
  explicit XdgShell(HelperPrograms programs = {});

  // ERROR_NO_ASSOCIATION for a verb other than open and print or a helper that is missing or
  // cannot do it; ERROR_FILE_NOT_FOUND for a missing file; ERROR_PATH_NOT_FOUND for a missing
  // directory; ERROR_GEN_FAILURE when the helper fails otherwise.
  DWORD execute(const ShellRequest& request) override;

 private:
  HelperPrograms m_programs;
};

namespace detail {

// The program's path: a name with a slash as it is, else the first executable match in PATH;
// empty when there is none.
QM_PLATFORM_API std::string findProgram(const std::string& name);

}  // namespace detail

}  // namespace platform::shell
