#pragma once
// The host's user interface on a terminal: each box or picker is a prompt when the input is a
// terminal; otherwise the default answer is taken and a line on the error stream says so.

#include <iosfwd>

#include "platform/Export.h"
#include "platform/ui/Ui.h"

namespace platform::ui {

class QM_PLATFORM_API TerminalUi : public IUserInterface {
 public:
  // Standard input and error; interactive when standard input is a terminal.
  TerminalUi();
  // The streams are not owned and must outlive the object.
  TerminalUi(std::istream& in, std::ostream& out, bool interactive);

  // Interactive: the button's label or its key letter, Enter for the default, end of input for
  // Escape's answer. Otherwise the default button.
  int messageBox(HWND owner, const std::u16string& text, const std::u16string& caption, UINT type) override;
  // Interactive: a path (relative to the initial folder), Enter for the offered name; end of input,
  // or Enter with none offered, cancels. The default extension is added to a name without one;
  // OFN_FILEMUSTEXIST / OFN_PATHMUSTEXIST ask again. Otherwise Cancel.
  std::optional<std::u16string> openFile(const OpenFileRequest& request) override;
  // Interactive: the option's number, Enter for the default, end of input cancels. Otherwise the
  // default.
  int choose(const ChoiceRequest& request) override;

 private:
  bool readLine(std::string& line);

  std::istream& m_in;
  std::ostream& m_out;
  bool m_interactive;
};

}  // namespace platform::ui
