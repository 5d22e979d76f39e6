// The module's dialog templates: each dialog with the controls, texts and kinds its procedure
// relies on, laid out so that nothing overlaps, leaves its dialog or cuts its text; the selection
// dialog's context menu and the dialogs' icon.

#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/resources/Resources.h"
#include "platform/ui/WinStyles.h"
#include "resources/resource.h"
#include "tests/support/TestEnvironment.h"

extern const platform::resources::ModuleResources kQuillMarkResources;

namespace {

using platform::resources::DialogItem;
using platform::resources::DialogTemplate;

const char16_t kWebBrowser[] = u"{8856F961-340A-11D0-A96B-00C04FD705A2}";

HINSTANCE module() { return platform::resources::handleOf(kQuillMarkResources); }

enum class Kind { Push, DefPush, Check, Radio, Group, Edit, Combo, Static, Icon, ReportList, IconList, UpDown, Browser, Other };

Kind kindOf(const DialogItem& item) {
  const std::u16string cls = item.className;
  const DWORD type = item.style & BS_TYPEMASK;
  if (cls == u"BUTTON") {
    if (type == BS_PUSHBUTTON) return Kind::Push;
    if (type == BS_DEFPUSHBUTTON) return Kind::DefPush;
    if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX) return Kind::Check;
    if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) return Kind::Radio;
    if (type == BS_GROUPBOX) return Kind::Group;
  }
  if (cls == u"EDIT") return Kind::Edit;
  if (cls == u"COMBOBOX") return Kind::Combo;
  if (cls == u"STATIC") return (item.style & SS_TYPEMASK) == SS_ICON ? Kind::Icon : Kind::Static;
  if (cls == u"SysListView32") return (item.style & LVS_TYPEMASK) == LVS_REPORT ? Kind::ReportList : Kind::IconList;
  if (cls == u"msctls_updown32") return Kind::UpDown;
  if (cls == kWebBrowser) return Kind::Browser;
  return Kind::Other;
}

struct Control {
  int id;
  Kind kind;
  const char16_t* text;  // null: set at run time or not worded by the design
};

struct Expected {
  UINT id;
  const char16_t* caption;  // null: set at run time
  std::vector<Control> controls;
};

// Every control the dialogs' procedures address, as the design words them.
const std::vector<Expected> kDialogs = {
    {IDD_PRINTER, u"", {{202, Kind::Browser, nullptr}}},
    {IDD_QUILLMARKPP,
     u"",
     {{204, Kind::ReportList, nullptr},
      {205, Kind::Push, u"A&dd..."},
      {206, Kind::Push, u"&Edit..."},
      {207, Kind::Push, u"&Remove..."},
      {229, Kind::Push, u"Buttons Options ..."},
      {238, Kind::Push, u"Autoprint Options..."},
      {239, Kind::Push, u"Other Options..."}}},
    {IDD_ATTACHMENTS,
     u"Print Attachments ...",
     {{202, Kind::IconList, nullptr},
      {204, Kind::DefPush, u"Print"},
      {3, Kind::Push, u"Print and Close"},
      {2, Kind::Push, u"Close"},
      {297, Kind::Push, u"List View >>"},
      {234, Kind::Icon, u"206"}}},
    {IDD_ADD_OUTLOOK_ITEM,
     u"Add Outlook Item...",
     {{213, Kind::Radio, u"Standard Outlook Items"},
      {214, Kind::Radio, u"Custom Message Class"},
      {215, Kind::Edit, nullptr},
      {216, Kind::IconList, nullptr},
      {1, Kind::DefPush, u"OK"},
      {2, Kind::Push, u"Cancel"}}},
    {IDD_TEMPLATES,
     u"Document Template",
     {{208, Kind::Edit, nullptr},
      {241, Kind::ReportList, nullptr},
      {234, Kind::Icon, nullptr},
      {216, Kind::Push, u"Change..."},
      {235, Kind::Push, u"A&dd..."},
      {236, Kind::Push, u"&Edit..."},
      {237, Kind::Push, u"&Remove..."},
      {291, Kind::Push, u"Online Help..."},
      {250, Kind::UpDown, nullptr},
      {224, Kind::Static, u"Click 'Change...' to select the Outlook Item or specify a custom message class."},
      {1, Kind::DefPush, u"OK"},
      {2, Kind::Push, u"Cancel"}}},
    {IDD_TEMPLATE,
     nullptr,
     {{242, Kind::Edit, nullptr},
      {209, Kind::Edit, nullptr},
      {215, Kind::Push, u"&Browse..."},
      {239, Kind::Radio, u"Memo style"},
      {240, Kind::Radio, u"Multi Item (folder)"},
      {223, Kind::Push, u"Print Options ..."},
      {225, Kind::Push, u"Page Setup..."},
      {291, Kind::Push, u"Online Help..."},
      {224, Kind::Static, u"Specify the details of the Quillmark template:"},
      {1, Kind::DefPush, u"OK"},
      {2, Kind::Push, u"Cancel"}}},
    {IDD_TEMPLATE_SELECTION,
     u"Template Selection",
     {{241, Kind::ReportList, nullptr},
      {1, Kind::DefPush, u"OK"},
      {2, Kind::Push, u"Cancel"},
      {249, Kind::Group, u"Multi Item Options"},
      {248, Kind::Radio, u"Print Selected Rows"},
      {246, Kind::Radio, u"Print All Rows"},
      {234, Kind::Icon, u"206"}}},
    {IDD_PAGE_SETUP,
     nullptr,
     {{255, Kind::Edit, nullptr},
      {256, Kind::Edit, nullptr},
      {257, Kind::Edit, nullptr},
      {258, Kind::Edit, nullptr},
      {3, Kind::Push, u"Reset Defaults"},
      {253, Kind::Radio, u"Portrait"},
      {254, Kind::Radio, u"Landscape"},
      {264, Kind::Group, nullptr},
      {229, Kind::Static, u"These settings will be stored against the template."},
      {1, Kind::DefPush, u"OK"},
      {2, Kind::Push, u"Cancel"}}},
    {IDD_HTML_SELECTION,
     nullptr,
     {{267, Kind::Browser, nullptr},
      {269, Kind::Push, u"Quick Print"},
      {270, Kind::Push, u"Print ..."},
      {271, Kind::Push, u"Print Preview ..."},
      {2, Kind::Push, u"Cancel"},
      {234, Kind::Icon, u"206"}}},
    {IDD_CUSTOM_BUTTON,
     u"Edit Quick Button",
     {{284, Kind::Edit, nullptr},
      {212, Kind::Edit, nullptr},
      {213, Kind::Edit, nullptr},
      {285, Kind::Push, u"Action Settings..."},
      {287, Kind::Radio, u"Print with Dialog"},
      {286, Kind::Radio, u"Print Preview"},
      {288, Kind::Radio, u"Quick Print"},
      {289, Kind::Check, u"Display Quillmark quickprint attachment dialog"},
      {291, Kind::Check, u"Automatically select all attachments"},
      {290, Kind::Check, u"Ignore action template, and display Quillmark template selection for item"},
      {292, Kind::Push, u"Online Help..."},
      {279, Kind::Static,
       u"By creating a quick button, you can control the look of the button, and control what the button will "
       u"print - the item, the attachments or both."},
      {1, Kind::DefPush, u"OK"},
      {2, Kind::Push, u"Cancel"}}},
    {IDD_AUTOPRINT_SETTINGS,
     u"Quillmark Autoprint Manager",
     {{273, Kind::ReportList, nullptr},
      {277, Kind::UpDown, nullptr},
      {274, Kind::Push, u"A&dd..."},
      {275, Kind::Push, u"&Edit..."},
      {276, Kind::Push, u"&Remove..."},
      {291, Kind::Push, u"Online Help..."},
      {280, Kind::Edit, nullptr},
      {281, Kind::Static, u"Number of seconds to allow attachment to print:"},
      {279, Kind::Static,
       u"The Quillmark Autoprint Manager allow you to create Autoprint Actions to be associated with Outlook "
       u"rules. To get started, either add a new action or edit an existing action."},
      {278, Kind::Static,
       u"To complete automatic printing, configure your target Outlook rule to perform the custom action: "
       u"'Print with Quillmark', and select the autoprint action to match the above."},
      {1, Kind::DefPush, u"OK"},
      {2, Kind::Push, u"Cancel"}}},
    {IDD_ACTION_SELECTION,
     u"Quillmark Action Selection",
     {{279, Kind::ReportList, nullptr},
      {3, Kind::Push, u"Edit Settings ..."},
      {1, Kind::DefPush, u"OK"},
      {2, Kind::Push, u"Cancel"}}},
    {IDD_BUTTON_MANAGER,
     u"Button Options...",
     {{281, Kind::ReportList, nullptr},
      {282, Kind::Push, u"&Edit..."},
      {292, Kind::Push, u"Online Help..."},
      {225, Kind::Check, u"Display &Print Preview button"},
      {229, Kind::Check, u"Display Print Selection button"},
      {226, Kind::Check, u"Display Quickprint &Attachment button"},
      {220, Kind::Check, u"&Allow Quillmark to control &Outlook printing controls"},
      {221, Kind::Check, u"Display buttons in 'Quillmark Menu' popup"},
      {222, Kind::Check, u"Create separate toolbar for buttons"},
      {279, Kind::Static,
       u"Quillmark allows you to decide how the Quillmark buttons will be displayed - in a drop down menu, or in "
       u"a toolbar. In addtion, create quick buttons to perform more complex print operations."},
      {1, Kind::DefPush, u"OK"},
      {2, Kind::Push, u"Cancel"}}},
    {IDD_ACTION,
     u"Quillmark action settings",
     {{210, Kind::Edit, nullptr},
      {209, Kind::Edit, nullptr},
      {211, Kind::Edit, nullptr},
      {251, Kind::Check, u"Enable item printing"},
      {252, Kind::Check, u"Enable attachment printing"},
      {213, Kind::Radio, u"Print using Outlook style message layout"},
      {283, Kind::Radio, u"Print using Quillmark template:"},
      {215, Kind::Push, u"&Browse..."},
      {223, Kind::Push, u"Print Options ..."},
      {224, Kind::Push, u"Page Setup..."},
      {278, Kind::Radio, u"Print All Attachment Types"},
      {279, Kind::Radio, u"Print Specified Attachment Types"},
      {280, Kind::Radio, u"Print All Except Specified Attachment Types"},
      {225, Kind::Push, u"Online Help..."},
      {1, Kind::DefPush, u"OK"},
      {2, Kind::Push, u"Cancel"}}},
    {IDD_PRINT_OPTIONS,
     u"Print Options",
     {{252, Kind::Edit, nullptr},
      {259, Kind::Radio, u"All"},
      {260, Kind::Radio, u"Pages:"},
      {261, Kind::Radio, u"Threaded Responses:"},
      {293, Kind::Combo, nullptr},
      {224, Kind::Static, u"Enter either a single page number or a single page range. For example, 5-12"},
      {1, Kind::DefPush, u"OK"},
      {2, Kind::Push, u"Cancel"}}},
    {IDD_COMPLEX_ATTACHMENTS,
     u"Print Attachments ...",
     {{296, Kind::ReportList, nullptr},
      {1, Kind::DefPush, u"Print"},
      {3, Kind::Push, u"Print and Close"},
      {2, Kind::Push, u"Close"},
      {4, Kind::Push, u"Selection View >>"},
      {223, Kind::Push, u"Select All Attachments"},
      {234, Kind::Icon, u"206"}}},
    {IDD_OTHER_OPTIONS,
     u"Other Options...",
     {{221, Kind::Check, u"Save as user settings / Allow user settings"},
      {222, Kind::Check, u"Ensure HTML body is well formed before printing"},
      {223, Kind::Check, u"Enable Logging"},
      {299, Kind::Edit, nullptr},
      {300, Kind::Push, u"Browse ..."},
      {1, Kind::DefPush, u"OK"},
      {2, Kind::Push, u"Cancel"}}},
    {IDD_PROPERTY_PAGE_HOST,
     u"Quillmark for Outlook Options",
     {{1, Kind::DefPush, u"OK"}, {2, Kind::Push, u"Cancel"}}},
};

const DialogItem* itemOf(const DialogTemplate& d, int id) {
  for (std::size_t i = 0; i < d.itemCount; ++i)
    if (d.items[i].id == id) return &d.items[i];
  return nullptr;
}

std::set<std::u16string> textsOf(const DialogTemplate& d) {
  std::set<std::u16string> texts;
  for (std::size_t i = 0; i < d.itemCount; ++i) texts.insert(d.items[i].text);
  return texts;
}

// A generous estimate of a text's width in dialog units of an 8-point dialog font (a dialog unit
// is a quarter of the average character width); a mnemonic '&' takes no room.
double textWidth(std::u16string_view s) {
  static const std::u16string_view kNarrow = u"iljtfrI.,:;'!|()[]/\\- *";
  double width = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    if (c == u'&' && (i + 1 == s.size() || s[i + 1] != u'&')) continue;
    if (c == u'&') ++i;
    if (c == u'm' || c == u'w' || c == u'M' || c == u'W') width += 6;
    else if (kNarrow.find(c) != std::u16string_view::npos) width += 2.5;
    else if (c >= u'A' && c <= u'Z') width += 5;
    else width += 4;
  }
  return width;
}

struct Box {
  int left, top, right, bottom;
  bool contains(const Box& o) const { return left <= o.left && top <= o.top && o.right <= right && o.bottom <= bottom; }
  bool overlaps(const Box& o) const { return left < o.right && o.left < right && top < o.bottom && o.top < bottom; }
};

// What a control covers on screen: a drop-down combo box shows one line until it is opened.
Box boxOf(const DialogItem& item) {
  int height = item.cy;
  if (std::u16string(item.className) == u"COMBOBOX" && (item.style & 3) != CBS_SIMPLE) height = 14;
  return {item.x, item.y, item.x + item.cx, item.y + height};
}

std::string where(const DialogTemplate& d, const DialogItem& item) {
  std::string text;
  for (const char16_t* p = item.text; *p && text.size() < 30; ++p) text += *p < 128 ? static_cast<char>(*p) : '?';
  return "dialog " + std::to_string(d.id) + " control " + std::to_string(item.id) + " \"" + text + "\"";
}

class DialogsTest : public testsupport::IsolatedTest {};

TEST_F(DialogsTest, EveryDialogHasTheControlsItsProcedureAddresses) {
  for (const Expected& e : kDialogs) {
    SCOPED_TRACE("dialog " + std::to_string(e.id));
    const DialogTemplate* d = platform::resources::findDialog(module(), e.id);
    ASSERT_NE(d, nullptr);
    if (e.caption) {
      EXPECT_EQ(std::u16string(d->caption), e.caption);
    }
    EXPECT_NE(d->style & DS_SETFONT, 0u);
    EXPECT_EQ(d->pointSize, 8);
    for (const Control& c : e.controls) {
      const DialogItem* item = itemOf(*d, c.id);
      ASSERT_NE(item, nullptr) << "control " << c.id;
      EXPECT_EQ(kindOf(*item), c.kind) << "control " << c.id;
      if (c.text) {
        EXPECT_EQ(std::u16string(item->text), c.text) << "control " << c.id;
      }
      EXPECT_EQ(item->style & (WS_CHILD | WS_VISIBLE), WS_CHILD | WS_VISIBLE) << "control " << c.id;
    }
    // One control per id: GetDlgItem finds the first only.
    std::set<int> ids;
    for (std::size_t i = 0; i < d->itemCount; ++i) {
      if (d->items[i].id != -1) {
        EXPECT_TRUE(ids.insert(d->items[i].id).second) << "id " << d->items[i].id << " twice";
      }
    }
    if (d->menuId) {
      EXPECT_NE(platform::resources::findMenu(module(), d->menuId), nullptr);
    }
  }
  EXPECT_EQ(platform::resources::allResources(module()).empty(), false);
}

TEST_F(DialogsTest, SizesStylesAndTextsTheDesignFixes) {
  const DialogTemplate* printer = platform::resources::findDialog(module(), IDD_PRINTER);
  ASSERT_NE(printer, nullptr);
  EXPECT_EQ(printer->style, WS_POPUP | WS_BORDER | DS_SETFONT);
  EXPECT_EQ(std::u16string(printer->fontFace), u"MS Sans Serif");
  ASSERT_EQ(printer->itemCount, 1u);
  EXPECT_EQ(boxOf(printer->items[0]).right, printer->cx) << "the browser fills the dialog";
  EXPECT_EQ(boxOf(printer->items[0]).bottom, printer->cy);

  const std::map<UINT, std::pair<int, int>> sizes = {
      {IDD_PRINTER, {432, 239}},         {IDD_ATTACHMENTS, {319, 143}}, {IDD_COMPLEX_ATTACHMENTS, {309, 194}},
      {IDD_HTML_SELECTION, {583, 360}}, {IDD_PROPERTY_PAGE_HOST, {287, 275}}};
  for (const auto& [id, size] : sizes) {
    const DialogTemplate* d = platform::resources::findDialog(module(), id);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->cx, size.first) << id;
    EXPECT_EQ(d->cy, size.second) << id;
  }
  const DialogTemplate* host = platform::resources::findDialog(module(), IDD_PROPERTY_PAGE_HOST);
  EXPECT_EQ(std::u16string(host->fontFace), u"MS Shell Dlg");
  EXPECT_EQ(host->style & (WS_CAPTION | WS_SYSMENU | DS_MODALFRAME), WS_CAPTION | WS_SYSMENU | DS_MODALFRAME);
  const DialogItem* ok = itemOf(*host, 1);
  const DialogItem* cancel = itemOf(*host, 2);
  EXPECT_EQ((std::vector<int>{ok->x, ok->y, ok->cx, ok->cy}), (std::vector<int>{166, 254, 50, 14}));
  EXPECT_EQ((std::vector<int>{cancel->x, cancel->y, cancel->cx, cancel->cy}), (std::vector<int>{221, 254, 50, 14}));

  // The options page is a child page without a caption.
  const DialogTemplate* page = platform::resources::findDialog(module(), IDD_QUILLMARKPP);
  EXPECT_NE(page->style & WS_CHILD, 0u);
  EXPECT_EQ(page->style & WS_CAPTION, 0u);
  for (const char16_t* label : {u"Quillmark Templates", u"Options", u"To configure buttons, quick buttons and toolbar options:",
                                u"To configure autoprint options, click:", u"To configure other options, click:"})
    EXPECT_TRUE(textsOf(*page).count(label)) << std::u16string(label).size();

  // Enter in the selection dialog is IDOK, not a print: it has no default button.
  const DialogTemplate* selection = platform::resources::findDialog(module(), IDD_HTML_SELECTION);
  for (std::size_t i = 0; i < selection->itemCount; ++i) EXPECT_NE(kindOf(selection->items[i]), Kind::DefPush);
  EXPECT_TRUE(textsOf(*selection).count(u"Print Request"));
  EXPECT_TRUE(textsOf(*selection).count(
      u"To print a selection, highlight the section of the message you wish to print, and click on a print request button:"));

  // List views: single selection where one row is edited; the attachments' icons take several.
  for (const auto& [dialog, list] : std::vector<std::pair<UINT, int>>{{IDD_QUILLMARKPP, 204}, {IDD_TEMPLATES, 241},
                                                                       {IDD_ADD_OUTLOOK_ITEM, 216}, {IDD_AUTOPRINT_SETTINGS, 273},
                                                                       {IDD_ACTION_SELECTION, 279}, {IDD_BUTTON_MANAGER, 281},
                                                                       {IDD_COMPLEX_ATTACHMENTS, 296}}) {
    const DialogItem* item = itemOf(*platform::resources::findDialog(module(), dialog), list);
    EXPECT_EQ(item->style & (LVS_SINGLESEL | LVS_SHOWSELALWAYS), LVS_SINGLESEL | LVS_SHOWSELALWAYS) << dialog;
  }
  const DialogItem* icons = itemOf(*platform::resources::findDialog(module(), IDD_ATTACHMENTS), 202);
  EXPECT_EQ(icons->style & LVS_SINGLESEL, 0u);

  // The template list's up-down moves rows itself: no buddy, no range.
  const DialogTemplate* templates = platform::resources::findDialog(module(), IDD_TEMPLATES);
  const DialogItem* updown = itemOf(*templates, IDC_TEMPLATE_UPDOWN);
  EXPECT_NE(updown->style & UDS_ARROWKEYS, 0u);
  EXPECT_EQ(updown->style & (UDS_AUTOBUDDY | UDS_SETBUDDYINT | UDS_HORZ), 0u);
  EXPECT_NE(itemOf(*templates, IDC_CLASS_EDIT)->style & WS_DISABLED, 0u) << "the class is chosen, never typed";
  EXPECT_EQ(itemOf(*platform::resources::findDialog(module(), IDD_PRINT_OPTIONS), IDC_RESPONSES)->style & 3u,
            CBS_DROPDOWNLIST);
}

TEST_F(DialogsTest, ContextMenuAndIcon) {
  const auto* menu = platform::resources::findMenu(module(), IDR_SELECTION_MENU);
  ASSERT_NE(menu, nullptr);
  struct Entry {
    UINT id;
    const char16_t* text;
    UINT flags;
    int depth;
  };
  const Entry expected[] = {
      {0, u"Print", MF_POPUP, 0},
      {32771, u"Quick Print", 0, 1},
      {32772, u"Print ...", 0, 1},
      {32773, u"Print Preview ...", 0, 1},
      {0, u"", MF_SEPARATOR, 1},
      {0, u"Text Size", MF_POPUP, 1},
      {32778, u"Largest", 0, 2},
      {32779, u"Larger", 0, 2},
      {32780, u"Medium", 0, 2},
      {32781, u"Smaller", 0, 2},
      {32782, u"Smallest", 0, 2},
  };
  ASSERT_EQ(menu->entryCount, std::size(expected));
  for (std::size_t i = 0; i < menu->entryCount; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(menu->entries[i].id, expected[i].id);
    EXPECT_EQ(std::u16string(menu->entries[i].text), expected[i].text);
    EXPECT_EQ(menu->entries[i].flags, expected[i].flags);
    EXPECT_EQ(menu->entries[i].depth, expected[i].depth);
  }

  // Every icon a dialog shows is in the module, with a 32x32 image for the dialogs.
  const auto icon = platform::resources::findResource(module(), u"206", u"ICON");
  ASSERT_GE(icon.size(), 22u);
  bool has32 = false;
  for (std::size_t i = 0; i < icon[4]; ++i) has32 |= icon[6 + 16 * i] == 32 && icon[7 + 16 * i] == 32;
  EXPECT_TRUE(has32);
  for (const Expected& e : kDialogs) {
    const DialogTemplate* d = platform::resources::findDialog(module(), e.id);
    for (std::size_t i = 0; i < d->itemCount; ++i) {
      const std::u16string text = d->items[i].text;
      if (kindOf(d->items[i]) == Kind::Icon && !text.empty()) {
        EXPECT_FALSE(platform::resources::findResource(module(), text.c_str(), u"ICON").empty()) << where(*d, d->items[i]);
      }
    }
  }
}

TEST_F(DialogsTest, ControlsStayInsideTheirDialogWithoutOverlapOrCutText) {
  for (const Expected& e : kDialogs) {
    const DialogTemplate* d = platform::resources::findDialog(module(), e.id);
    ASSERT_NE(d, nullptr);
    const Box dialog{0, 0, d->cx, d->cy};
    for (std::size_t i = 0; i < d->itemCount; ++i) {
      const DialogItem& a = d->items[i];
      const Box box = boxOf(a);
      EXPECT_TRUE(dialog.contains(box)) << where(*d, a) << " leaves the dialog";
      EXPECT_GT(a.cx, 0) << where(*d, a);
      for (std::size_t j = i + 1; j < d->itemCount; ++j) {
        const DialogItem& b = d->items[j];
        const Box other = boxOf(b);
        // A group box frames what lies wholly inside it.
        const bool framed = (kindOf(a) == Kind::Group && box.contains(other)) || (kindOf(b) == Kind::Group && other.contains(box));
        EXPECT_TRUE(framed || !box.overlaps(other)) << where(*d, a) << " overlaps " << where(*d, b);
      }
      const double width = textWidth(a.text);
      switch (kindOf(a)) {
        case Kind::Push:
        case Kind::DefPush: EXPECT_LE(width + 8, a.cx) << where(*d, a) << " is cut"; break;
        case Kind::Check:
        case Kind::Radio: EXPECT_LE(width + 14, a.cx) << where(*d, a) << " is cut"; break;
        case Kind::Group: EXPECT_LE(width + 12, a.cx) << where(*d, a) << " is cut"; break;
        case Kind::Static: {
          // Word wrap leaves part of each line empty: a tenth more room than the bare text.
          const int lines = static_cast<int>(std::ceil(width * 1.1 / a.cx));
          EXPECT_LE(8 * std::max(lines, 1), a.cy) << where(*d, a) << " is cut (" << lines << " lines)";
          break;
        }
        default: break;
      }
    }
  }
  // Texts set at run time fit as well.
  const DialogTemplate* setup = platform::resources::findDialog(module(), IDD_PAGE_SETUP);
  EXPECT_LE(textWidth(u"Margin (millimeters)") + 12, itemOf(*setup, IDC_MARGIN_GROUP)->cx);
}

}  // namespace
