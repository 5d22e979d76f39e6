#include "foundation/Settings.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include <boost/make_shared.hpp>

#include "foundation/AddinGlobals.h"
#include "foundation/Log.h"
#include "platform/office/RibbonUI.h"
#include "platform/registry/RegistryFiles.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/ProcessFolder.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;

const quilstring kProduct(kProductKey);

class SettingsTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    CSettings::resetForTesting();
    CLogger::instance().resetForTesting();
    NGlobals::resetForTesting();
    platform::registry::setStorageForTesting(nullptr);
    platform::registry::resetForTesting();
    NUtils::setWriteLimitForTesting(nullptr);
  }
  void TearDown() override {
    CSettings::resetForTesting();
    CLogger::instance().resetForTesting();
    NUtils::setWriteLimitForTesting(nullptr);
    platform::registry::setStorageForTesting(nullptr);
    platform::registry::resetForTesting();
  }

  static void setDword(HKEY hive, const quilstring& path, const char16_t* name, DWORD value) {
    CRegKey key;
    ASSERT_EQ(key.Create(hive, path.c_str()), ERROR_SUCCESS);
    ASSERT_EQ(key.SetDWORDValue(name, value), ERROR_SUCCESS);
  }
  static void setText(HKEY hive, const quilstring& path, const char16_t* name, const char16_t* value) {
    CRegKey key;
    ASSERT_EQ(key.Create(hive, path.c_str()), ERROR_SUCCESS);
    ASSERT_EQ(key.SetStringValue(name, value), ERROR_SUCCESS);
  }
  static bool keyExists(HKEY hive, const quilstring& path) {
    CRegKey key;
    return key.Open(hive, path.c_str(), KEY_READ) == ERROR_SUCCESS;
  }
  static void addTemplate(HKEY hive, const quilstring& root, const char16_t* cls, const char16_t* keyName,
                          const char16_t* path) {
    setText(hive, root + u"\\" + cls + u"\\" + keyName, u"Printing template", path);
  }
  static std::vector<quilstring> templatePaths(const char16_t* cls) {
    std::vector<quilstring> out;
    auto& classes = CSettings::instance().getSettingsData().messageClasses;
    auto it = classes.find(cls);
    if (it == classes.end() || !it->second) return out;
    for (const auto& t : it->second->templates) out.push_back(t.printingTemplate);
    return out;
  }

  static SettingsData fullBlock() {
    SettingsData data;
    auto note = boost::make_shared<MessageClassSettings>();
    for (int i = 1; i <= 12; ++i) {
      TemplateDetail t;
      t.displayName.Format(u"Memo %d", i);
      t.printingTemplate.Format(u"/opt/qm/Templates/memo%d.htm", i);
      t.isFolder = i % 5 == 0;
      t.printOptions = {static_cast<DWORD>(i), static_cast<DWORD>(i + 3), static_cast<DWORD>(i % 3), static_cast<DWORD>(i % 4)};
      note->templates.push_back(t);
    }
    data.messageClasses[u"IPM.Note"] = note;
    auto appt = boost::make_shared<MessageClassSettings>();
    appt->templates.push_back({u"Appointment", u"/opt/qm/Templates/appt.htm", false, {}});
    data.messageClasses[u"IPM.Appointment"] = appt;
    data.messageClasses[kDefaultMessageClass] = boost::make_shared<MessageClassSettings>();
    data.autoprint.numSeconds = 9;
    for (int i = 1; i <= 3; ++i) {
      ActionDetail a;
      a.templateEnabled = i != 2;
      a.attachmentEnabled = i == 2;
      a.useOutlookTemplate = i == 3;
      a.attachmentState = static_cast<DWORD>(i);
      a.displayName.Format(u"Action %d", i);
      a.printingTemplate.Format(u"/opt/qm/a%d.htm", i);
      a.attachmentString = u"pdf;*.doc;my.report.pdf";
      a.printOptions = {2, 5, 1, 3};
      data.autoprint.actions.push_back(a);
    }
    for (int i = 1; i <= 5; ++i) {
      CustomButton b;
      b.printOperation = static_cast<DWORD>(i % 3);
      b.showAttachmentDialog = i % 2 == 0;
      b.selectAttachments = i % 2 == 1;
      b.showTemplateSelectionDialog = i == 4;
      b.showButton = true;
      b.displayName.Format(u"Button \u00e9 %d", i);
      b.faceId = static_cast<DWORD>(100 + i);
      b.imageMso = u"FilePrint";
      b.action.displayName.Format(u"Button action %d", i);
      b.action.useOutlookTemplate = false;
      data.buttons.buttons.push_back(b);
    }
    ButtonSettings& f = data.buttons;
    f.displaySelectionButton = false;
    f.displayPreviewButton = false;
    f.displayAttachmentsButton = false;
    f.displayOnlineHelpButton = false;
    f.useOutlookButtons = false;
    f.buttonsInMenu = true;
    f.createToolbar = false;
    f.attachmentsSelectionView = true;
    data.otherOptions.tidyHTML = false;
    return data;
  }
};

TEST_F(SettingsTest, FreshHomeHoldsDefaultsAndExtractsTheSupportFiles) {
  CSettings& s = CSettings::instance();
  const auto& classes = s.getSettingsData().messageClasses;
  ASSERT_EQ(classes.size(), 1u);
  EXPECT_TRUE(classes.count(kDefaultMessageClass));
  EXPECT_EQ(s.getSettingsData().buttons.buttons.size(), 3u);
  EXPECT_TRUE(s.getAllowUsersToModify());
  EXPECT_TRUE(s.getReadFailure().empty());
  EXPECT_EQ(s.getWBHostLoadTimeout(), 20000u);
  ASSERT_EQ(s.getExtractedFiles().size(), 27u);
  for (const quilstring& path : s.getExtractedFiles()) EXPECT_GT(fs::file_size(path.toUtf8()), 0u) << path.toUtf8();
  EXPECT_EQ(fs::path(s.getPrintTemplatePath().toUtf8()).filename(), "PRINTINGTEMPLATE_2057.HTM");
  EXPECT_EQ(fs::path(s.getDefaultTemplatePath().toUtf8()).filename(), "PAGEPRINT_2057.HTM");
  const std::string folder = NUtils::getTempPath().toUtf8();
  EXPECT_EQ(fs::path(folder).parent_path().parent_path(), dir() / "Corvessa");  // the process's own in it
  EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_EQ(fs::path(s.getPrintTemplatePath().toUtf8()).parent_path(), fs::path(folder).parent_path());
  const std::vector<quilstring> files = s.getExtractedFiles();
  CSettings::resetForTesting();
  for (const quilstring& path : files) EXPECT_FALSE(fs::exists(path.toUtf8()));
}

TEST_F(SettingsTest, FullBlockSurvivesWriteAndRead) {
  const SettingsData data = fullBlock();
  CSettings& s = CSettings::instance();
  ASSERT_TRUE(s.save(data));
  EXPECT_EQ(s.getSettingsData(), data);
  const quilstring classKey = kProduct + u"\\Templates\\1033\\IPM.Note\\";
  EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, classKey + u"Template12"));
  EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, classKey + u"Template13"));

  // A fresh process reads the same block from the files.
  CSettings::resetForTesting();
  platform::registry::resetForTesting();
  EXPECT_EQ(CSettings::instance().getSettingsData(), data);

  // Fewer templates and a removed class: renumbered from 1, nothing stale left behind.
  SettingsData smaller = data;
  auto note = boost::make_shared<MessageClassSettings>(*data.messageClasses.at(u"IPM.Note"));
  note->templates.erase(note->templates.begin(), note->templates.begin() + 9);
  smaller.messageClasses[u"IPM.Note"] = note;
  smaller.messageClasses.erase(u"IPM.Appointment");
  ASSERT_TRUE(CSettings::instance().save(smaller));
  EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, classKey + u"Template3"));
  EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, classKey + u"Template4"));
  EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, kProduct + u"\\Templates\\1033\\IPM.Appointment"));
  EXPECT_EQ(templatePaths(u"IPM.Note").front(), u"/opt/qm/Templates/memo10.htm");
  EXPECT_EQ(CSettings::instance().getSettingsData(), smaller);
}

TEST_F(SettingsTest, MachineSettingsWinWhenUsersMayNotModify) {
  setDword(HKEY_LOCAL_MACHINE, kProduct, u"Allow users to modify settings", 0);
  setDword(HKEY_LOCAL_MACHINE, kProduct, u"Tidy HTML", 1);
  setDword(HKEY_CURRENT_USER, kProduct, u"Tidy HTML", 0);
  addTemplate(HKEY_LOCAL_MACHINE, kProduct + u"\\Templates\\1033", u"IPM.Note", u"Template1", u"/m/note.htm");
  addTemplate(HKEY_CURRENT_USER, kProduct + u"\\Templates\\1033", u"IPM.Note", u"Template1", u"/u/note.htm");
  CSettings& s = CSettings::instance();
  EXPECT_FALSE(s.getAllowUsersToModify());
  EXPECT_TRUE(s.getTidyHTML());
  EXPECT_EQ(templatePaths(u"IPM.Note"), std::vector<quilstring>{u"/m/note.htm"});
}

TEST_F(SettingsTest, UserSettingsWinWithoutTheAllowValue) {
  setDword(HKEY_LOCAL_MACHINE, kProduct, u"Tidy HTML", 1);
  setDword(HKEY_CURRENT_USER, kProduct, u"Tidy HTML", 0);
  addTemplate(HKEY_LOCAL_MACHINE, kProduct + u"\\Templates\\1033", u"IPM.Note", u"Template1", u"/m/note.htm");
  addTemplate(HKEY_CURRENT_USER, kProduct + u"\\Templates\\1033", u"IPM.Note", u"Template1", u"/u/note.htm");
  CSettings& s = CSettings::instance();
  EXPECT_TRUE(s.getAllowUsersToModify());
  EXPECT_FALSE(s.getTidyHTML());
  EXPECT_EQ(templatePaths(u"IPM.Note"), std::vector<quilstring>{u"/u/note.htm"});
}

TEST_F(SettingsTest, TemplatesFallBackFromEmptyUserKeyToMachineThenInstallDefaults) {
  setDword(HKEY_LOCAL_MACHINE, kProduct, u"Tidy HTML", 1);
  CRegKey empty;
  ASSERT_EQ(empty.Create(HKEY_CURRENT_USER, (kProduct + u"\\Templates\\1033").c_str()), ERROR_SUCCESS);
  empty.Close();
  addTemplate(HKEY_LOCAL_MACHINE, kProduct + u"\\Install defaults\\Templates\\1033", u"IPM.Contact", u"Template1",
              u"/d/contact.htm");
  EXPECT_EQ(templatePaths(u"IPM.Contact"), std::vector<quilstring>{u"/d/contact.htm"});
  CSettings::resetForTesting();
  addTemplate(HKEY_LOCAL_MACHINE, kProduct + u"\\Templates\\1033", u"IPM.Note", u"Template1", u"/m/note.htm");
  EXPECT_EQ(templatePaths(u"IPM.Note"), std::vector<quilstring>{u"/m/note.htm"});
  EXPECT_TRUE(templatePaths(u"IPM.Contact").empty());
}

TEST_F(SettingsTest, MissingLocaleFallsBackTo1033AndSaveWritesTheThreadLocale) {
  NGlobals::setThreadLocale(1031);
  addTemplate(HKEY_CURRENT_USER, kProduct + u"\\Templates\\1033", u"IPM.Note", u"Template1", u"/u/en.htm");
  EXPECT_EQ(templatePaths(u"IPM.Note"), std::vector<quilstring>{u"/u/en.htm"});
  SettingsData data = CSettings::instance().getSettingsData();
  ASSERT_TRUE(CSettings::instance().save(data));
  EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, kProduct + u"\\Templates\\1031\\IPM.Note\\Template1"));
  EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, kProduct + u"\\Templates\\1033\\IPM.Note\\Template1"));
}

TEST_F(SettingsTest, WithoutAMachineKeyUserSettingsAreStillRead) {
  setDword(HKEY_CURRENT_USER, kProduct, u"Tidy HTML", 0);
  addTemplate(HKEY_CURRENT_USER, kProduct + u"\\Templates\\1033", u"IPM.Note", u"Template1", u"/u/note.htm");
  CSettings& s = CSettings::instance();
  EXPECT_FALSE(s.getTidyHTML());
  EXPECT_EQ(templatePaths(u"IPM.Note"), std::vector<quilstring>{u"/u/note.htm"});
  EXPECT_TRUE(s.getSettingsData().messageClasses.count(kDefaultMessageClass));
  EXPECT_EQ(s.getSettingsData().buttons.buttons.size(), 3u);
}

TEST_F(SettingsTest, TemplateKeysAreReadByPrefixAndNumberWithBadOnesSkipped) {
  const quilstring root = kProduct + u"\\Templates\\1033";
  for (int i : {1, 2, 10, 11, 3}) {
    quilstring name, path;
    name.Format(u"Template%d", i);
    path.Format(u"/t/%d.htm", i);
    addTemplate(HKEY_CURRENT_USER, root, u"IPM.Note", name.c_str(), path.c_str());
  }
  setText(HKEY_CURRENT_USER, root + u"\\IPM.Note\\Template4", u"DisplayName", u"no path");
  // A template with an IsFolder other than 0 or 1 is read as it is (printing never uses it).
  addTemplate(HKEY_CURRENT_USER, root, u"IPM.Note", u"Template5", u"/t/5.htm");
  setDword(HKEY_CURRENT_USER, root + u"\\IPM.Note\\Template5", u"IsFolder", 2);
  setDword(HKEY_CURRENT_USER, root + u"\\IPM.Note\\Template3", u"IsFolder", 1);
  addTemplate(HKEY_CURRENT_USER, root, u"IPM.Note", u"TEMPLATEx", u"/t/x.htm");
  addTemplate(HKEY_CURRENT_USER, root, u"IPM.Note", u"Templ", u"/t/short.htm");
  EXPECT_EQ(templatePaths(u"IPM.Note"),
            (std::vector<quilstring>{u"/t/1.htm", u"/t/2.htm", u"/t/3.htm", u"/t/5.htm", u"/t/10.htm", u"/t/11.htm",
                                     u"/t/x.htm"}));
  const auto& templates = CSettings::instance().getSettingsData().messageClasses.at(u"IPM.Note")->templates;
  EXPECT_EQ(templates.front().displayName, u"1.htm");
  EXPECT_EQ(templates[2].isFolder, 1u);
  EXPECT_EQ(templates[3].isFolder, 2u);
}

TEST_F(SettingsTest, LegacyFormsAreRead) {
  const quilstring root = kProduct + u"\\Templates\\1033";
  setText(HKEY_CURRENT_USER, root + u"\\IPM.Note", u"Printing template", u"C:\\Templates\\Old Memo.htm");
  addTemplate(HKEY_CURRENT_USER, root, u"IPM.Note", u"Template1", u"/ignored.htm");
  addTemplate(HKEY_CURRENT_USER, root, u"IPM.Post", u"Autoprint", u"/auto.htm");
  setDword(HKEY_CURRENT_USER, root + u"\\IPM.Post\\Autoprint", u"Enabled", 1);
  CSettings& s = CSettings::instance();
  const auto& note = s.getSettingsData().messageClasses.at(u"IPM.Note")->templates;
  ASSERT_EQ(note.size(), 1u);
  EXPECT_EQ(note[0].displayName, u"Old Memo");
  ASSERT_EQ(s.getAutoprintSettings().actions.size(), 1u);
  EXPECT_EQ(s.getAutoprintSettings().actions[0].displayName, u"print with quillmark");
  EXPECT_TRUE(s.getAutoprintSettings().actions[0].templateEnabled);
}

TEST_F(SettingsTest, AbsentValuesOfActionsAndButtonsReadAsZero) {
  const quilstring buttons = kProduct + u"\\Custom Buttons\\1033";
  setText(HKEY_CURRENT_USER, buttons + u"\\Custom Button1", u"Display Name", u"One");
  setText(HKEY_CURRENT_USER, buttons + u"\\Custom Button1\\Action", u"Display Name", u"Act");
  const auto& list = CSettings::instance().getSettingsData().buttons.buttons;
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].displayName, u"One");
  EXPECT_FALSE(list[0].showAttachmentDialog);
  EXPECT_FALSE(list[0].action.useOutlookTemplate);
  EXPECT_TRUE(list[1].showAttachmentDialog);  // an appended default
}

TEST_F(SettingsTest, ClassesDifferingOnlyByCaseAreRefused) {
  SettingsData data = fullBlock();
  data.messageClasses[u"ipm.note"] = boost::make_shared<MessageClassSettings>();
  CSettings& s = CSettings::instance();
  const SettingsData before = s.getSettingsData();
  EXPECT_FALSE(s.save(data));
  EXPECT_EQ(s.getSettingsData(), before);
  EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, kProduct + u"\\Templates"));
}

TEST_F(SettingsTest, SaveAnswersFalseWhenTheHiveCannotBeWritten) {
  struct FullDisk : platform::registry::PosixHiveStorage {
    LONG writeDurably(const std::filesystem::path&, std::string_view) override { return ERROR_DISK_FULL; }
  };
  CSettings& s = CSettings::instance();
  platform::registry::setStorageForTesting(std::make_shared<FullDisk>());
  EXPECT_FALSE(s.save(fullBlock()));
  platform::registry::setStorageForTesting(nullptr);
  platform::registry::resetForTesting();
  EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, kProduct));
}

TEST_F(SettingsTest, MachineKeyIsNotWritableWhenItsHiveIsNot) {
  struct ReadOnlyMachine : platform::registry::PosixHiveStorage {
    bool canWrite(const std::filesystem::path& file) override { return file.filename() != "machine.reg"; }
  };
  platform::registry::setStorageForTesting(std::make_shared<ReadOnlyMachine>());
  CSettings& s = CSettings::instance();  // no machine key at all
  EXPECT_FALSE(s.isMachineKeyWritable());
  EXPECT_TRUE(s.canModifySettings());  // users may modify: their own key is written
  SettingsData data = s.getSettingsData();
  data.otherOptions.tidyHTML = false;
  EXPECT_TRUE(s.save(data));
  EXPECT_FALSE(s.getTidyHTML());
}

TEST_F(SettingsTest, AMalformedHiveIsAReadFailureWithItsLineInTheLog) {
  const fs::path log = dir() / "quillmark.log";
  setDword(HKEY_LOCAL_MACHINE, kProduct, u"Enable Logging", 1);
  setText(HKEY_LOCAL_MACHINE, kProduct, u"Log path", quilstring::fromUtf8(log.string()).c_str());
  std::ofstream(testsupport::quillmarkHome() / "user.reg") << "REGEDIT4\r\n\r\nnot a key\r\n";
  platform::registry::resetForTesting();
  EXPECT_NE(CSettings::instance().getReadFailure().toUtf8().find("user.reg at line 3"), std::string::npos);
  EXPECT_NE(testsupport::readFile(log).find("user.reg at line 3"), std::string::npos);
}

TEST_F(SettingsTest, UsersMayNotModifyIsStoredOrTheSaveFails) {
  // No machine key yet: the flag is stored with a new one and holds in the next process.
  SettingsData data = CSettings::instance().getSettingsData();
  data.otherOptions.allowUsersToModifySettings = false;
  ASSERT_TRUE(CSettings::instance().save(data));
  CSettings::resetForTesting();
  EXPECT_FALSE(CSettings::instance().getAllowUsersToModify());

  // A machine key the user may not write keeps its "no": a save asking otherwise fails.
  struct ReadOnlyMachine : platform::registry::PosixHiveStorage {
    bool canWrite(const std::filesystem::path& file) override { return file.filename() != "machine.reg"; }
  };
  platform::registry::setStorageForTesting(std::make_shared<ReadOnlyMachine>());
  CSettings::resetForTesting();
  data.otherOptions.allowUsersToModifySettings = true;
  EXPECT_FALSE(CSettings::instance().save(data));
  EXPECT_FALSE(CSettings::instance().getAllowUsersToModify());
}

TEST_F(SettingsTest, EnableLoggingZeroSwitchesTheLogOff) {
  const std::string log = (dir() / "qm.log").string();
  SettingsData data = CSettings::instance().getSettingsData();
  data.otherOptions.enableLogging = true;
  data.otherOptions.logPath = quilstring::fromUtf8(log);
  ASSERT_TRUE(CSettings::instance().save(data));
  EXPECT_TRUE(NLog::enabled());
  EXPECT_EQ(CSettings::instance().getLogThreshold(), u"debug");
  EXPECT_NE(testsupport::readFile(log).find("Logging threshold set to debug"), std::string::npos);
  data.otherOptions.enableLogging = false;
  ASSERT_TRUE(CSettings::instance().save(data));
  EXPECT_FALSE(NLog::enabled());
  const std::size_t size = testsupport::readFile(log).size();
  CLogger::instance().error(LogSource(__FILE__, __LINE__), u"after");
  EXPECT_EQ(testsupport::readFile(log).size(), size);  // the file is no longer the log
}

TEST_F(SettingsTest, ThreadTextMatchesAreRebuiltOnEachRead) {
  setText(HKEY_CURRENT_USER, kProduct, u"Thread text matches", u"From;;Von;");
  setText(HKEY_CURRENT_USER, kProduct, u"Thread prefix chars", u"> |");
  CSettings& s = CSettings::instance();
  EXPECT_EQ(s.getThreadTextMatches(), (std::vector<quilstring>{u"FROM", u"VON"}));
  s.read();
  s.read();
  EXPECT_EQ(s.getThreadTextMatches().size(), 2u);
  EXPECT_EQ(s.getThreadPrefixChars(), u"> |");
}

TEST_F(SettingsTest, TemplateFolderFollowsInstallDirWithOrWithoutSeparator) {
  setText(HKEY_LOCAL_MACHINE, kMakerKey, u"InstallDir", u"/opt/quillmark");
  EXPECT_EQ(CSettings::instance().getTemplateFolder(), u"/opt/quillmark/Templates/");
  setText(HKEY_LOCAL_MACHINE, kMakerKey, u"InstallDir", u"/opt/quillmark/");
  EXPECT_EQ(CSettings::instance().getTemplateFolder(), u"/opt/quillmark/Templates/");
  setText(HKEY_LOCAL_MACHINE, kMakerKey, u"InstallDir", u"C:\\Program Files\\QM");
  EXPECT_EQ(CSettings::instance().getTemplateFolder(), u"C:\\Program Files\\QM\\Templates\\");
}

TEST_F(SettingsTest, MostRecentBrowseFolderIsKeptPerUser) {
  CSettings& s = CSettings::instance();
  EXPECT_TRUE(s.getMRUBrowseFolder().empty());
  ASSERT_TRUE(s.setMRUBrowseFolder(u"/home/u/templates"));
  EXPECT_EQ(s.getMRUBrowseFolder(), u"/home/u/templates");
}

TEST_F(SettingsTest, TemporaryFolderThatIsNotTheUsersOwnIsNeverUsed) {
  const fs::path corvessa = dir() / "Corvessa";
  const fs::path elsewhere = dir() / "elsewhere";
  const struct {
    const char* what;
    std::function<bool()> make;  // false: cannot be arranged here
  } cases[] = {
      {"a link", [&] { fs::create_directory_symlink(elsewhere, corvessa); return true; }},
      {"open to others", [&] {
         fs::create_directory(corvessa);
         fs::permissions(corvessa, fs::perms::all);
         return true;
       }},
      {"another user's", [&] {
         fs::create_directory(corvessa);
         fs::permissions(corvessa, fs::perms::owner_all);
         return ::geteuid() == 0 && ::chown(corvessa.c_str(), 65534, 65534) == 0;
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CSettings::resetForTesting();
    fs::remove_all(corvessa);
    fs::remove_all(elsewhere);
    fs::create_directories(elsewhere);
    if (!c.make()) continue;
    const fs::path keep = fs::is_symlink(corvessa) ? elsewhere / "keep.txt" : corvessa / "keep.txt";
    std::ofstream(keep) << "precious";
    std::ofstream(dir() / "shared.txt") << "shared";
    const auto modeBefore = fs::symlink_status(corvessa).permissions();
    platform::diag::clearLastFailure();

    EXPECT_FALSE(NUtils::isOwnTempFolder());
    EXPECT_NE(platform::diag::lastFailure().find("Couldn't create QM temp path"), std::string::npos);
    CSettings& s = CSettings::instance();
    // A private folder of its own stands in: never the temporary path itself.
    const fs::path temp = fs::path(NUtils::getTempPath().toUtf8()).parent_path();
    EXPECT_EQ(temp.parent_path(), dir());
    std::string why;
    EXPECT_TRUE(platform::system::isPrivateFolder(temp, why)) << why;
    EXPECT_EQ(fs::path(s.getPrintTemplatePath().toUtf8()).parent_path(), temp);
    EXPECT_TRUE(fs::exists(keep));
    EXPECT_TRUE(fs::exists(dir() / "shared.txt"));
    EXPECT_EQ(fs::symlink_status(corvessa).permissions(), modeBefore);
    EXPECT_FALSE(fs::exists(elsewhere / "PAGEPRINT_2057.HTM"));
    EXPECT_FALSE(fs::exists(dir() / "PAGEPRINT_2057.HTM"));
    CSettings::resetForTesting();
    EXPECT_FALSE(fs::exists(temp));
  }
}

TEST_F(SettingsTest, EmptyingAtStartLeavesWhatLiveProcessesUse) {
  // What ended processes left: a folder of its own no one holds, and loose files.
  fs::create_directory(dir() / "Corvessa");
  fs::permissions(dir() / "Corvessa", fs::perms::owner_all);
  fs::create_directory(dir() / "Corvessa" / "4242-ended");
  std::ofstream(dir() / "Corvessa" / "4242-ended" / "stale.txt") << "x";
  std::ofstream(dir() / "Corvessa" / "loose.txt") << "x";
  std::ofstream(dir() / "outside.txt") << "x";

  // Another process of the user, printing: its store is built and it goes on until told to end.
  int ready[2], finish[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(finish), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const std::string folder = NUtils::getTempPath().toUtf8();
    CSettings::instance();
    std::ofstream(folder + "attachment.pdf") << "in use";
    const std::string line = folder + "\n";
    if (::write(ready[1], line.data(), line.size()) < 0) std::_Exit(2);
    char c;
    if (::read(finish[0], &c, 1) < 0) std::_Exit(2);
    std::exit(0);  // an ordinary exit removes its folder
  }
  char buffer[4096] = {};
  ASSERT_GT(::read(ready[0], buffer, sizeof buffer - 1), 0);
  const fs::path other = std::string(buffer, std::strlen(buffer) - 1);

  CSettings::instance();
  const fs::path mine = NUtils::getTempPath().toUtf8();
  EXPECT_NE(mine, other);
  EXPECT_FALSE(fs::exists(dir() / "Corvessa" / "4242-ended"));
  EXPECT_FALSE(fs::exists(dir() / "Corvessa" / "loose.txt"));
  EXPECT_TRUE(fs::exists(dir() / "outside.txt"));
  EXPECT_TRUE(fs::exists(other / "attachment.pdf"));
  EXPECT_TRUE(fs::exists(other / "PREV.GIF"));

  ASSERT_EQ(::write(finish[1], "x", 1), 1);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_FALSE(fs::exists(other));
  EXPECT_TRUE(fs::exists(mine / "PREV.GIF"));
  for (int fd : {ready[0], ready[1], finish[0], finish[1]}) ::close(fd);
}

TEST_F(SettingsTest, SupportFileWrittenInPartIsDeletedAndHasNoPath) {
  NUtils::setWriteLimitForTesting([](std::size_t) { return std::size_t{0}; });
  CSettings& s = CSettings::instance();
  EXPECT_TRUE(s.getPrintTemplatePath().empty());
  EXPECT_TRUE(s.getExtractedFiles().empty());
  EXPECT_FALSE(fs::exists(NUtils::getTempPath().toUtf8() + "PRINTINGTEMPLATE_2057.HTM"));
  std::size_t calls = 0;
  NUtils::setWriteLimitForTesting([&calls](std::size_t n) { return ++calls == 2 ? std::size_t{0} : std::min<std::size_t>(n, 7); });
  s.extractResources();
  EXPECT_TRUE(s.getPrintTemplatePath().empty());  // its second write failed after seven bytes
  EXPECT_EQ(s.getExtractedFiles().size(), 26u);
}

TEST_F(SettingsTest, MissingSupportFilesAreRestoredBeforeAPrint) {
  CSettings& s = CSettings::instance();
  const std::string folder = NUtils::getTempPath().toUtf8();
  fs::remove(folder + "PREV.GIF");
  fs::remove(folder + "PAGEPRINT_2057.HTM");
  s.ensureSupportFiles();
  EXPECT_TRUE(fs::exists(folder + "PREV.GIF"));
  EXPECT_TRUE(fs::exists(folder + "PAGEPRINT_2057.HTM"));
  fs::remove(folder + "PAGEPRINT_2057.HTM");
  s.ensureSupportFiles();  // only the probe file's absence triggers the restore
  EXPECT_FALSE(fs::exists(folder + "PAGEPRINT_2057.HTM"));
}

// A ribbon whose Invalidate answers a scripted result.
class FakeRibbon : public IRibbonUI {
 public:
  explicit FakeRibbon(HRESULT answer) : m_answer(answer) {}
  STDMETHOD(QueryInterface)(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_IDispatch) && !IsEqualGUID(riid, IID_IRibbonUI)) {
      return E_NOINTERFACE;
    }
    *out = static_cast<IRibbonUI*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHOD_(ULONG, AddRef)() override { return ++refs; }
  STDMETHOD_(ULONG, Release)() override { return --refs; }
  STDMETHOD(GetTypeInfoCount)(UINT*) override { return E_NOTIMPL; }
  STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHOD(Invoke)(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }
  STDMETHOD(Invalidate)() override {
    ++invalidations;
    return m_answer;
  }
  STDMETHOD(InvalidateControl)(BSTR) override { return E_NOTIMPL; }
  ULONG refs = 0;
  int invalidations = 0;

 private:
  HRESULT m_answer;
};

TEST_F(SettingsTest, SaveInvalidatesEveryRibbonOnceAndAFailureThereDoesNotChangeTheAnswer) {
  const std::string log = (dir() / "qm.log").string();
  setDword(HKEY_CURRENT_USER, kProduct, u"Enable Logging", 1);
  setText(HKEY_CURRENT_USER, kProduct, u"Log path", quilstring::fromUtf8(log).c_str());
  // Office loads one ribbon per window type; a ribbon handed over twice is kept once.
  FakeRibbon explorer(E_FAIL), mailRead(S_OK);
  CSettings& s = CSettings::instance();
  s.addRibbonUI(&explorer);
  s.addRibbonUI(&mailRead);
  s.addRibbonUI(&explorer);
  s.addRibbonUI(nullptr);
  EXPECT_EQ(s.ribbonUIs().size(), 2u);
  SettingsData data = s.getSettingsData();
  EXPECT_TRUE(s.save(data));
  EXPECT_EQ(explorer.invalidations, 1);
  EXPECT_EQ(mailRead.invalidations, 1);
  EXPECT_NE(testsupport::readFile(log).find("Invalidate failed"), std::string::npos);
  s.releaseRibbonUIs();
  EXPECT_EQ(explorer.refs, 0u);
  EXPECT_EQ(mailRead.refs, 0u);
}

TEST_F(SettingsTest, SupportFilesAreDeletedWhenTheProcessEnds) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const bool ok = CSettings::instance().getExtractedFiles().size() == 27;
    std::exit(ok ? 0 : 1);  // an ordinary exit runs the store's destructor
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const fs::path folder = dir() / "Corvessa";
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_TRUE(fs::is_empty(folder));
}

}  // namespace
