#pragma once
// The desktop's shell on Linux: "open" runs xdg-open on the file; "print" gives a file CUPS prints
// itself (PDF, PostScript, plain text, common pictures) to lp, and any other type to the print
// command of the application that owns the type. Helpers run without a shell, their arguments
// passed one by one, so no file name is ever interpreted.

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/Export.h"
#include "platform/shell/Shell.h"

namespace platform::shell {

struct HelperPrograms {
  std::string open = "xdg-open";  // a name looked up in PATH, or a path
  std::string print = "lp";
  // The command (program and its arguments, the file follows) that prints a file of a MIME type
  // CUPS does not print; empty when no application does. Unset: the type's default application,
  // when it is one that prints from its command line.
  std::function<std::vector<std::string>(const std::string& mimeType)> typePrinter;
  // How long a helper may run before it is left to finish on its own (counted as started).
  std::chrono::milliseconds wait{15000};
};

class QM_PLATFORM_API XdgShell : public IShell {
 public:
  explicit XdgShell(HelperPrograms programs = {});

  // ERROR_NO_ASSOCIATION for a verb other than open and print, a helper that is missing or
  // cannot do it, or a type no application prints (reported with the file's name); ERROR_FILE_NOT_FOUND for a missing file; ERROR_PATH_NOT_FOUND for a missing
  // directory; ERROR_GEN_FAILURE when the helper fails otherwise.
  DWORD execute(const ShellRequest& request) override;

 private:
  HelperPrograms m_programs;
};

namespace detail {

// The program's path: a name with a slash as it is, else the first executable match in PATH;
// empty when there is none.
QM_PLATFORM_API std::string findProgram(const std::string& name);
// The MIME type of a file by its name and its first bytes ("application/octet-stream" when unknown).
QM_PLATFORM_API std::string contentTypeOf(const std::string& file);
// Whether CUPS prints files of the MIME type itself.
QM_PLATFORM_API bool cupsPrints(const std::string& mimeType);
// The print command of the type's default application; empty when there is none.
QM_PLATFORM_API std::vector<std::string> applicationPrintCommand(const std::string& mimeType);

}  // namespace detail

}  // namespace platform::shell
