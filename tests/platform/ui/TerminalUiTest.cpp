#include "platform/ui/TerminalUi.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/system/Text.h"
#include "tests/support/TestEnvironment.h"

namespace {

using platform::system::utf8ToUtf16;
using platform::ui::ChoiceRequest;
using platform::ui::OpenFileRequest;
using platform::ui::TerminalUi;

class TerminalUiTest : public testsupport::IsolatedTest {
 protected:
  int box(const std::string& input, UINT type, bool interactive = true) {
    std::istringstream in(input);
    TerminalUi ui(in, m_out, interactive);
    return ui.messageBox(nullptr, u"Print it?\nReally", u"Quillmark", type);
  }
  std::optional<std::u16string> pick(const std::string& input, const OpenFileRequest& request, bool interactive = true) {
    std::istringstream in(input);
    TerminalUi ui(in, m_out, interactive);
    return ui.openFile(request);
  }
  std::ostringstream m_out;
};

TEST_F(TerminalUiTest, WithoutTerminalTheDefaultButtonAnswersAndALineSaysSo) {
  EXPECT_EQ(box("y\n", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, false), IDNO);
  EXPECT_EQ(m_out.str(), "message box \"Quillmark\": Print it? Really -> No (no terminal)\n");
  EXPECT_EQ(box("", MB_OK | MB_ICONERROR, false), IDOK);
  EXPECT_EQ(box("", MB_OKCANCEL | MB_DEFBUTTON4, false), IDOK);  // out of range: the first
}

TEST_F(TerminalUiTest, PromptTakesLabelsKeysEnterAndEndOfInput) {
  const struct {
    const char* input;
    UINT type;
    int expected;
  } cases[] = {
      {"y\n", MB_YESNO, IDYES},
      {"  NO \n", MB_YESNO, IDNO},
      {"\n", MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
      {"maybe\nn\n", MB_YESNO, IDNO},
      {"", MB_YESNOCANCEL, IDCANCEL},  // end of input is Escape
      {"", MB_OK, IDOK},
      {"", MB_YESNO | MB_DEFBUTTON2, IDNO},
      {"try again\n", MB_CANCELTRYCONTINUE, IDTRYAGAIN},
      {"o\n", MB_CANCELTRYCONTINUE, IDCONTINUE},
      {"i\n", MB_ABORTRETRYIGNORE, IDIGNORE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(box(c.input, c.type), c.expected);
  }
  EXPECT_NE(m_out.str().find("Please answer Yes / No."), std::string::npos);
}

TEST_F(TerminalUiTest, FilePromptResolvesNamesAndChecksExistence) {
  std::filesystem::create_directories(dir() / "t");
  std::ofstream(dir() / "t" / "page.htm") << "x";
  OpenFileRequest request;
  request.title = u"Select Quillmark Template";
  request.filters = {{u"HTML Files (*.htm,*.html)", u"*.htm;*.html"}};
  request.initialDir = utf8ToUtf16((dir() / "t").string());
  request.flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
  request.defaultExtension = u"htm";
  // "missing" gets the extension and does not exist; "page" then does.
  EXPECT_EQ(pick("missing\npage\n", request), utf8ToUtf16((dir() / "t" / "page.htm").string()));
  EXPECT_NE(m_out.str().find("File not found."), std::string::npos);
  EXPECT_NE(m_out.str().find("*.htm;*.html"), std::string::npos);
  EXPECT_EQ(pick("/no/such/dir/x.htm\n", request), std::nullopt);  // asked again, then end of input
  EXPECT_NE(m_out.str().find("Path does not exist."), std::string::npos);
  EXPECT_EQ(pick("\n", request), std::nullopt);  // nothing offered: Enter cancels
  request.fileName = u"page.htm";
  EXPECT_EQ(pick("\n", request), utf8ToUtf16((dir() / "t" / "page.htm").string()));
  EXPECT_EQ(pick("page.htm\n", request, false), std::nullopt);
}

TEST_F(TerminalUiTest, ChoiceTakesANumberOrTheDefault) {
  ChoiceRequest request;
  request.title = u"Templates";
  request.options = {u"Memo", u"Table", u"Letter"};
  request.defaultIndex = 1;
  std::istringstream in("7\nx\n3\n\n");
  TerminalUi ui(in, m_out, true);
  EXPECT_EQ(ui.choose(request), 2);
  EXPECT_EQ(ui.choose(request), 1);
  EXPECT_EQ(ui.choose(request), -1);  // end of input cancels
  std::istringstream none;
  TerminalUi quiet(none, m_out, false);
  EXPECT_EQ(quiet.choose(request), 1);
  EXPECT_NE(m_out.str().find("choice \"Templates\": Table (no terminal)"), std::string::npos);
}

}  // namespace
