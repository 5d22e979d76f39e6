#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/AddinGlobals.h"
#include "foundation/QuilString.h"
#include "platform/resources/Resources.h"
#include "resources/resource.h"
#include "tests/support/TestEnvironment.h"

namespace {

class StringTableTest : public testsupport::IsolatedTest {
 protected:
  HINSTANCE module() const { return NGlobals::moduleInstance(); }

  quilstring load(UINT id) const {
    quilstring s;
    EXPECT_TRUE(s.LoadString(module(), id)) << "no text for id " << id;
    return s;
  }
};

// Every id the code may name has a text: an id defined without a text would only show up as an
// empty message box.
TEST_F(StringTableTest, EveryNamedIdHasText) {
  const UINT ids[] = {
      IDS_ENTER_MESSAGE_CLASS, IDS_AUTOPRINT_ACTIONS, IDS_AUTOPRINT_NAME_REQUIRED,
      IDS_INVALID_ATTACHMENT_SECONDS, IDS_RESTART_OUTLOOK, IDS_SELECT_AUTOPRINT_ACTION,
      IDS_QUICK_BUTTON_N, IDS_QUICK_BUTTON_NAME_REQUIRED, IDS_COLUMN_DISPLAY_QUICK_BUTTON,
      IDS_COLUMN_FURTHER_DETAILS, IDS_FACEID_NOT_A_NUMBER, IDS_LATEST_RESPONSE_ONLY,
      IDS_LATEST_RESPONSE_PLUS_1, IDS_LATEST_RESPONSE_PLUS_2, IDS_LATEST_RESPONSE_PLUS_3,
      IDS_ON_BEHALF_OF, IDS_COLUMN_MESSAGE_ATTACHMENTS, IDS_THREAD_HEADER_FROM,
      IDS_COLUMN_MESSAGE_CLASS, IDS_COLUMN_TEMPLATES, IDS_USES_DEFAULT, IDS_SELECT_TEMPLATE_TITLE,
      IDS_ADD_SUPPORTED_ITEM, IDS_EDIT_CAPTION, IDS_N_TEMPLATES, IDS_CLASS_ALREADY_PRESENT,
      IDS_CONFIRM_REMOVE_CLASS, IDS_SAVE_SETTINGS_FAILED, IDS_PROJNAME, IDS_PRINT_PREVIEW_BUTTON,
      IDS_OFFER_ITEM_TYPE_SUPPORT, IDS_UNKNOWN_ERROR, IDS_NO_TEMPLATE, IDS_TEMPLATE_MISSING,
      IDS_LOADING_TIMED_OUT, IDS_BROWSER_ERROR, IDS_COLUMN_DISPLAY_NAME, IDS_COLUMN_TEMPLATE_NAME,
      IDS_COLUMN_VIEW_TYPE, IDS_ITEM_TYPE_NOT_CONFIGURED, IDS_QUICKPRINT_ATTACHMENTS_BUTTON,
      IDS_DEFAULT_CLASS, IDS_LONG_PRODUCT_NAME, IDS_DEFAULT_NOT_REMOVABLE,
      IDS_PRINT_PREVIEW_MENU_ITEM, IDS_EMBEDDED_OBJECTS, IDS_EMBEDDED_OBJECTS_OUTLOOK_FALLBACK,
      IDS_IE_VERSION_REQUIRED, IDS_PRINT_TEMPLATE_NOT_FOUND, IDS_VIEW_TYPE_MEMO,
      IDS_VIEW_TYPE_MULTI_ITEM, IDS_CONFIRM_REMOVE_TEMPLATE, IDS_EDIT_TEMPLATE_CAPTION,
      IDS_NEW_TEMPLATE_CAPTION, IDS_TEMPLATE_REQUIRED, IDS_COLUMN_QUILLMARK_TEMPLATE,
      IDS_COLUMN_SELECTION_VIEW_TYPE, IDS_PRINT_OPTIONS_CAPTION, IDS_MARGIN_MILLIMETERS,
      IDS_MARGIN_INCHES, IDS_INVALID_PAGE_RANGE, IDS_INVALID_MARGINS, IDS_PRINT_SELECTION_BUTTON,
      IDS_QUILLMARK_MENU, IDS_SELECTION_CAPTION, IDS_CONFIGURE_PRINT_TEMPLATE,
      IDS_CONFIRM_REMOVE_ACTION,
  };
  for (UINT id : ids) {
    SCOPED_TRACE(id);
    EXPECT_FALSE(load(id).empty());
  }
}

// Texts whose exact form matters: captions compared by the code, blanks at the ends, line
// breaks and the product names.
TEST_F(StringTableTest, TextsKeepTheirExactForm) {
  const struct {
    UINT id;
    std::u16string_view text;
  } cases[] = {
      {312, u"Quillmark"},
      {328, u"Quillmark for Outlook"},
      {316, u"An unknown error occurred."},
      {327, u"<Default>"},
      {130, u"From"},
      {307, u"Edit "},
      {114, u"Please select an autoprint action and click OK. "},
      {320, u"Loading of HTML document(s) timed out. "},
      {321, u"Internet Explorer, web browser control or MSHTML returned an error. "},
      {330, u"Print Pre&view"},
      {355, u"The syntax for the page range is invalid.\nEither enter a single page number or a single "
            u"page range. For example, 5-12."},
      {331, u"This item contains embedded objects which cannot be printed using Quillmark for Outlook. "
            u"\n\n Do you wish to continue printing?"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(std::u16string_view(load(c.id)), c.text);
  }
}

TEST_F(StringTableTest, FormatsWithTheirArguments) {
  quilstring s;
  ASSERT_TRUE(s.FormatResource(module(), IDS_ITEM_TYPE_NOT_CONFIGURED, u"IPM.Task"));
  EXPECT_EQ(s, u"Quillmark for Outlook is not currently configured to handle items of this type (IPM.Task).");
  ASSERT_TRUE(s.FormatResource(module(), IDS_N_TEMPLATES, 3));
  EXPECT_EQ(s, u"3 Templates ...");
  ASSERT_TRUE(s.FormatResource(module(), IDS_ON_BEHALF_OF, u"Assistant", u"Director"));
  EXPECT_EQ(s, u"Assistant on behalf of Director");
  ASSERT_TRUE(s.FormatResource(module(), IDS_IE_VERSION_REQUIRED, 6.0, 5.5));
  EXPECT_EQ(s, u"Quillmark for Outlook requires Microsoft Internet Explorer version 6.0 or later to operate "
               u"correctly -- the version on this machine appears to be 5.5.");
}

std::string_view signatureOf(std::u16string_view name) {
  if (name.ends_with(u".GIF")) return "GIF89a";
  if (name.ends_with(u".BMP")) return "BM";
  if (name.ends_with(u".JPG")) return "\xFF\xD8\xFF";
  return "<!DOCTYPE html>";
}

// The support files are found by the names and the type they are extracted with, and each holds a
// whole file of the kind its name says.
TEST_F(StringTableTest, EverySupportFileIsEmbeddedWhole) {
  const char16_t* const names[] = {
      u"PRINTINGTEMPLATE_2057.HTM", u"PAGEPRINT_2057.HTM",
      u"ATTACHMENTS.GIF", u"ATTACHMENTS_HILITE.GIF", u"ATTACHMENTS_INACTIVE.GIF",
      u"BEGIN.GIF", u"BEGIN_HILITE.GIF", u"BEGIN_INACTIVE.GIF",
      u"END.GIF", u"END_HILITE.GIF", u"END_INACTIVE.GIF",
      u"NEXT.GIF", u"NEXT_HILITE.GIF", u"NEXT_INACTIVE.GIF",
      u"PREV.GIF", u"PREV_HILITE.GIF", u"PREV_INACTIVE.GIF",
      u"PRINTCTL.GIF", u"PRINTCTL_HILITE.GIF",
      u"ZOOMIN.GIF", u"ZOOMIN_HILITE.GIF",
      u"ZOOMOUT.GIF", u"ZOOMOUT_HILITE.GIF", u"ZOOM_INACTIVE.GIF",
      u"QUILLMARK_SMALL.BMP", u"QMARK.GIF", u"BACKGROUND.JPG",
  };
  for (const char16_t* name : names) {
    const std::u16string_view view(name);
    SCOPED_TRACE(quilstring(name).toUtf8());
    const auto data = platform::resources::findResource(module(), name, u"HTML");
    ASSERT_GT(data.size(), 0u);
    const std::string bytes(data.begin(), data.end());
    EXPECT_TRUE(bytes.starts_with(signatureOf(view)));
    if (view.ends_with(u".GIF")) {
      EXPECT_EQ(bytes.back(), '\x3B');  // the trailer: not cut short
    } else if (view.ends_with(u".JPG")) {
      EXPECT_TRUE(bytes.ends_with("\xFF\xD9"));
    } else if (view.ends_with(u".HTM")) {
      EXPECT_NE(bytes.find("</html>"), std::string::npos);
    }
    if (view.ends_with(u".BMP")) {
      ASSERT_GE(bytes.size(), 6u);
      const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
      const std::uint32_t declared = p[2] | (p[3] << 8) | (p[4] << 16) | (static_cast<std::uint32_t>(p[5]) << 24);
      EXPECT_EQ(declared, bytes.size());
    }
  }
}

}  // namespace
