// The resource generator: what it makes of every statement of a script, and the line it names when
// it refuses one.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/wait.h>

#include <gtest/gtest.h>

#include "platform/resources/Resources.h"
#include "platform/ui/WinStyles.h"
#include "tests/support/TestEnvironment.h"
#include "tests/tools/SampleIds.h"

extern const platform::resources::ModuleResources kRcgenSample;

namespace {

using platform::resources::DialogItem;
using platform::resources::DialogTemplate;
using platform::resources::MenuEntry;

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

HINSTANCE sample() { return platform::resources::handleOf(kRcgenSample); }

class RcgenTest : public testsupport::IsolatedTest {
 protected:
  struct Run {
    int status;
    std::string errors;
    bool wroteOutput;
  };

  // Runs the generator on one script written into the test's folder, with the style names as the
  // build gives them.
  Run compile(const std::string& script) {
    const auto rc = dir() / "broken.rc";
    std::ofstream(rc, std::ios::binary) << script;
    const auto out = dir() / "out.cpp";
    const auto err = dir() / "errors.txt";
    const std::string command = std::string("'") + QM_RCGEN + "' '" + out.string() + "' kBroken -h '" + QM_SOURCE_DIR +
                                "/platform/ui/WinStyles.h' '" + rc.string() +
                                "' 2> '" + err.string() + "'";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, testsupport::readFile(err), std::filesystem::exists(out)};
  }
};

TEST_F(RcgenTest, ShorthandControlsGetTheirClassAndDefaultStyle) {
  const DialogTemplate* d = platform::resources::findDialog(sample(), IDD_DEFAULTS);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->style, WS_POPUP | WS_BORDER | WS_SYSMENU);
  EXPECT_EQ(std::u16string(d->caption), u"");
  EXPECT_EQ(std::u16string(d->fontFace), u"");
  EXPECT_EQ(d->x, 10);
  EXPECT_EQ(d->y, 20);
  EXPECT_EQ(d->cx, 200);
  EXPECT_EQ(d->cy, 100);
  struct Expected {
    int id;
    const char16_t* className;
    DWORD style;
    const char16_t* text;
  };
  const Expected expected[] = {
      {-1, u"STATIC", SS_LEFT | WS_GROUP, u"Left"},
      {1001, u"STATIC", SS_RIGHT | WS_GROUP, u"Right"},
      {1002, u"STATIC", SS_CENTER | WS_GROUP, u"Centre"},
      {1003, u"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, u"Push"},
      {1, u"BUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP, u"Default"},
      {1004, u"BUTTON", BS_CHECKBOX | WS_TABSTOP, u"Check"},
      {1005, u"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, u"Auto check"},
      {1006, u"BUTTON", BS_RADIOBUTTON | WS_TABSTOP, u"Radio"},
      {1007, u"BUTTON", BS_AUTORADIOBUTTON | WS_TABSTOP, u"Auto radio"},
      {1008, u"BUTTON", BS_GROUPBOX, u"Group"},
      {1009, u"EDIT", ES_LEFT | WS_BORDER | WS_TABSTOP, u""},
      {1010, u"COMBOBOX", CBS_SIMPLE | WS_TABSTOP, u""},
      {1011, u"LISTBOX", LBS_NOTIFY | WS_BORDER, u""},
      {1012, u"SCROLLBAR", SBS_HORZ, u""},
      {1013, u"STATIC", SS_ICON, u"300"},
  };
  ASSERT_EQ(d->itemCount, std::size(expected));
  for (std::size_t i = 0; i < d->itemCount; ++i) {
    const DialogItem& item = d->items[i];
    SCOPED_TRACE(item.id);
    EXPECT_EQ(item.id, expected[i].id);
    EXPECT_EQ(std::u16string(item.className), expected[i].className);
    EXPECT_EQ(item.style, kChild | expected[i].style);
    EXPECT_EQ(std::u16string(item.text), expected[i].text);
    EXPECT_EQ(item.exStyle, 0u);
  }
  EXPECT_EQ(d->items[0].cx, 30);
  EXPECT_EQ(d->items[14].cx, 0) << "an icon without a size sizes itself";
  EXPECT_EQ(d->items[14].y, 6);
}

TEST_F(RcgenTest, DialogStatementsStylesAndExpressions) {
  const DialogTemplate* d = platform::resources::findDialog(sample(), IDD_FULL);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->style, ((WS_OVERLAPPEDWINDOW & ~WS_MAXIMIZEBOX) | WS_CAPTION | DS_SETFONT));
  EXPECT_EQ(d->exStyle, WS_EX_CONTEXTHELP);
  EXPECT_EQ(d->x, -5);
  EXPECT_EQ(d->y, 16);
  EXPECT_EQ(d->helpId, 77u);
  EXPECT_EQ(std::u16string(d->caption), u"Full \"quoted\" caption \u263A");
  EXPECT_EQ(std::u16string(d->fontFace), u"Segoe UI");
  EXPECT_EQ(d->pointSize, 9);
  EXPECT_EQ(d->weight, 700);
  EXPECT_TRUE(d->italic);
  EXPECT_EQ(d->charset, 0xCC);
  EXPECT_EQ(d->menuId, static_cast<UINT>(IDR_SAMPLE_MENU));
  EXPECT_EQ(std::u16string(d->className), u"SampleClass");
  ASSERT_EQ(d->itemCount, 5u);

  const DialogItem& check = d->items[0];
  EXPECT_EQ(check.id, (0x1000 + 0x20) | 1) << "a script #define over a header's";
  EXPECT_EQ(std::u16string(check.className), u"BUTTON") << "predefined classes get one spelling";
  EXPECT_EQ(check.style, WS_CHILD | BS_AUTOCHECKBOX);
  EXPECT_EQ(check.exStyle, WS_EX_CLIENTEDGE);
  EXPECT_EQ(check.helpId, 55u);

  EXPECT_EQ(std::u16string(d->items[1].className), u"STATIC");
  EXPECT_EQ(std::u16string(d->items[1].text), u"300");

  const DialogItem& list = d->items[2];
  EXPECT_EQ(std::u16string(list.className), u"SysListView32");
  EXPECT_EQ(list.style, kChild | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_BORDER);
  EXPECT_EQ(list.y, 6);

  const DialogItem& push = d->items[3];
  EXPECT_EQ(push.style, kChild | WS_DISABLED) << "NOT takes the default tab stop away";
  EXPECT_EQ(push.exStyle, WS_EX_STATICEDGE);
  EXPECT_EQ(push.helpId, 99u);
  EXPECT_EQ(std::u16string(push.text), u"&Disabled");

  EXPECT_EQ(d->items[4].style, kChild | ES_MULTILINE | WS_TABSTOP) << "keywords ignore case";
}

TEST_F(RcgenTest, MenusIconsAndStrings) {
  const auto* menu = platform::resources::findMenu(sample(), IDR_SAMPLE_MENU);
  ASSERT_NE(menu, nullptr);
  struct Expected {
    UINT id;
    const char16_t* text;
    UINT flags;
    int depth;
  };
  const Expected expected[] = {
      {0, u"&File", MF_POPUP, 0},
      {2001, u"&Open\tCtrl+O", MF_CHECKED, 1},
      {2002, u"Grey", MF_GRAYED | MF_DISABLED, 1},
      {2003, u"Both", MF_CHECKED | MF_GRAYED, 1},
      {0, u"", MF_SEPARATOR, 1},
      {0, u"More", MF_POPUP | MF_GRAYED, 1},
      {2004, u"Deep", MF_MENUBREAK, 2},
      {2005, u"Top", MF_HELP, 0},
  };
  ASSERT_EQ(menu->entryCount, std::size(expected));
  for (std::size_t i = 0; i < menu->entryCount; ++i) {
    const MenuEntry& e = menu->entries[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(e.id, expected[i].id);
    EXPECT_EQ(std::u16string(e.text), expected[i].text);
    EXPECT_EQ(e.flags, expected[i].flags);
    EXPECT_EQ(e.depth, expected[i].depth);
  }
  EXPECT_EQ(platform::resources::findMenu(sample(), IDD_FULL), nullptr);
  EXPECT_EQ(platform::resources::findDialog(sample(), IDR_SAMPLE_MENU), nullptr);

  const auto icon = platform::resources::findResource(sample(), u"300", u"ICON");
  ASSERT_GE(icon.size(), 6u);
  EXPECT_EQ(icon[2], 1) << "the .ico file as it is";
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(icon.data()), icon.size()),
            testsupport::readFile(std::filesystem::path(QM_SOURCE_DIR) / "resources/images/QUILLMARK.ICO"));

  char16_t text[16];
  EXPECT_EQ(LoadStringW(sample(), IDS_SAMPLE, text, 16), 6);
  EXPECT_EQ(std::u16string(text), u"Sample");
}

TEST_F(RcgenTest, RefusesMalformedScriptsWithTheirLine) {
  std::ofstream(dir() / "text.ico") << "not an icon";
  struct Case {
    const char* script;
    int line;
    const char* message;
  };
  const Case cases[] = {
      {"1 DIALOGEX 0, 0, 10\nBEGIN\nEND\n", 2, "expected ',' after the width"},
      {"1 DIALOGEX 0,0,10,10\nBEGIN\n  LTEXT \"a\", 1, 0, 0, 5, 5\n  BUTTON \"b\", 2, 0, 0, 5, 5\nEND\n", 4,
       "unknown control statement"},
      {"1 DIALOGEX 0,0,10,10\nSTYLE WS_POPUP |\n  WS_NOPE\nBEGIN\nEND\n", 3, "unknown name WS_NOPE"},
      {"1 DIALOGEX 0,0,10,10\nBEGIN\n  LTEXT \"a\", 1, 0, 0, 5, 5\n", 1, "without END"},
      {"1 DIALOGEX 0,0,10,10\nBEGIN\n  EDITTEXT 1, 0, 0, -5, 14\nEND\n", 3, "width -5 out of range"},
      {"1 DIALOGEX 0,0,10,10\nBEGIN\n  LTEXT \"a\", 12abc, 0, 0, 5, 5\nEND\n", 3, "bad number 12abc"},
      {"1 DIALOGEX 0,0,10,10\nFONT 8, \"\"\nBEGIN\nEND\n", 2, "empty font name"},
      {"1 DIALOGEX 0,0,10,10\nBEGIN\nEND\n\n1 DIALOGEX 0,0,10,10\nBEGIN\nEND\n", 5, "duplicate dialog 1"},
      {"NAMED DIALOGEX 0,0,10,10\nBEGIN\nEND\n", 1, "needs a numeric id"},
      {"\n1 DIALOG 0,0,10,10\nBEGIN\nEND\n", 2, "DIALOG is not understood"},
      {"1 MENU\nBEGIN\n  MENUITEM \"Open, 1\nEND\n", 3, "newline in string"},
      {"1 MENU\nBEGIN\n  MENUITEM \"Open\", 1, BOLD\nEND\n", 3, "expected a menu option"},
      {"1 MENU\nBEGIN\n  POPUP \"File\"\n  BEGIN\n    MENUITEM \"Open\", 1\n", 3, "menu without END"},
      {"1 MENU\nBEGIN\nEND\n", 1, "no entries"},
      {"2 ICON \"text.ico\"\n", 1, "not an icon file"},
      {"\n\n4 HTML \"missing.htm\"\n", 3, "cannot open"},
      {"3 ACCELERATORS\nBEGIN\nEND\n", 1, "needs a file"},
      {"/* open\n\n", 1, "unterminated comment"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    const Run run = compile(c.script);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.errors.find("broken.rc:" + std::to_string(c.line) + ": "), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find(c.message), std::string::npos) << run.errors;
    EXPECT_FALSE(run.wroteOutput);
  }
  const Run good = compile("1 DIALOGEX 0,0,10,10\nBEGIN\nEND\n");
  EXPECT_EQ(good.status, 0) << good.errors;
  EXPECT_TRUE(good.wroteOutput);
}

}  // namespace
