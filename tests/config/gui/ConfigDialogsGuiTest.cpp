// The configuration dialogs on the test run's Xvfb, each filled from real settings by its own
// dialog procedure, saved as a picture for a person to look at.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <memory>
#include <string>

#include <boost/make_shared.hpp>

#include "config/AutoprintDialogs.h"
#include "config/ButtonDialogs.h"
#include "config/OtherOptionsDialog.h"
#include "config/PrintOptionsDialogs.h"
#include "config/TemplateListDialogs.h"
#include "foundation/Settings.h"
#include "platform/loop/MessageLoop.h"
#include "platform/registry/RegistryFiles.h"
#include "platform/ui/Desktop.h"
#include "resources/resource.h"
#include "tests/platform/ui/GuiSupport.h"
#include "tests/support/TestEnvironment.h"

namespace {

struct Shown {
  const char* name;
  std::function<std::unique_ptr<CConfigDialog>(const SettingsData&)> make;
};

// The test's name shows the dialog shown, not the parameter's bytes.
void PrintTo(const Shown& shown, std::ostream* out) { *out << shown.name; }

class ConfigDialogsGuiTest : public testsupport::IsolatedTest, public ::testing::WithParamInterface<Shown> {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    std::string why;
    if (!uitest::startGtkFace(why)) GTEST_SKIP() << "GUI test skipped: " << why;
    platform::registry::resetForTesting();
    CSettings::resetForTesting();
    SettingsData data = CSettings::instance().getSettingsData();
    auto note = boost::make_shared<MessageClassSettings>();
    note->templates = {{u"Business letter", u"/srv/templates/Letter.htm", false, {}},
                       {u"Folder listing", u"/srv/templates/Listing.htm", true, {}}};
    data.messageClasses[u"IPM.Note"] = note;
    ActionDetail invoices;
    invoices.displayName = u"Print invoices with their PDF attachments";
    invoices.templateEnabled = invoices.attachmentEnabled = true;
    invoices.useOutlookTemplate = false;
    invoices.printingTemplate = u"/srv/templates/Invoice.htm";
    invoices.attachmentState = 2;
    invoices.attachmentString = u"*.pdf;*.docx";
    data.autoprint.actions = {invoices};
    data.buttons.buttons[0].displayName = u"Print invoice";
    data.buttons.buttons[0].showButton = true;
    data.buttons.buttons[0].faceId = 4;
    data.otherOptions.enableLogging = true;
    data.otherOptions.logPath = u"/var/log/quillmark.log";
    ASSERT_TRUE(CSettings::instance().save(data));
  }
  void TearDown() override {
    CSettings::resetForTesting();
    platform::registry::resetForTesting();
  }
};

TEST_P(ConfigDialogsGuiTest, ShowsFilledFromRealSettings) {
  const SettingsData& data = CSettings::instance().getSettingsData();
  std::unique_ptr<CConfigDialog> dialog = GetParam().make(data);
  const std::string picture = uitest::picturePath(std::string("config-") + GetParam().name + ".png");
  bool saved = false;
  platform::loop::post([&] {
    const HWND shown = GetActiveWindow();
    uitest::waitUntilShown(shown);
    saved = platform::ui::saveWindowPicture(shown, picture);
    EndDialog(shown, IDCANCEL);
  });
  EXPECT_EQ(dialog->DoModal(nullptr), IDCANCEL);
  EXPECT_TRUE(saved);
  EXPECT_GT(std::filesystem::file_size(picture), 1000u);
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, ConfigDialogsGuiTest,
    ::testing::Values(
        Shown{"templates-118",
              [](const SettingsData& d) {
                return std::make_unique<CDialogQuillMarkTemplates>(
                    u"IPM.Note", boost::make_shared<MessageClassSettings>(*d.messageClasses.at(u"IPM.Note")));
              }},
        Shown{"add-item-113", [](const SettingsData&) { return std::make_unique<CAddOutlookItem>(); }},
        Shown{"template-119",
              [](const SettingsData& d) {
                return std::make_unique<CDialogQuillMarkTemplate>(d.messageClasses.at(u"IPM.Note")->templates[1]);
              }},
        Shown{"print-options-134",
              [](const SettingsData&) { return std::make_unique<CDialogPrintOptions>(PrintOptions{5, 12, 1, 0}); }},
        Shown{"page-setup-122",
              [](const SettingsData&) { return std::make_unique<CDialogPageSetup>(u"/srv/templates/Letter.htm"); }},
        Shown{"autoprint-129", [](const SettingsData& d) { return std::make_unique<CDialogAutoprintSettings>(d.autoprint); }},
        Shown{"action-133",
              [](const SettingsData& d) { return std::make_unique<CDialogQuillmarkAction>(d.autoprint.actions[0]); }},
        Shown{"action-selection-130", [](const SettingsData&) { return std::make_unique<CDialogActionSelection>(); }},
        Shown{"buttons-131", [](const SettingsData& d) { return std::make_unique<CDialogButtonManager>(d.buttons); }},
        Shown{"quick-button-128",
              [](const SettingsData& d) { return std::make_unique<CDialogCustomButton>(d.buttons.buttons[0]); }},
        Shown{"other-options-136", [](const SettingsData& d) { return std::make_unique<CDialogOtherOptions>(d.otherOptions); }}),
    [](const ::testing::TestParamInfo<Shown>& info) {
      std::string name = info.param.name;
      for (char& c : name)
        if (c == '-') c = '_';
      return name;
    });

}  // namespace
