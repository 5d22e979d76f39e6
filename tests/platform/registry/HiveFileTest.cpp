// The hive files: regedit's format in and out, merges, and that no change is lost or half-written.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <tuple>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/system/Diagnostics.h"
#include "tests/platform/registry/RegistryTestSupport.h"

namespace {

using platform::registry::PosixHiveStorage;
using regtest::exists;
using regtest::setDword;
using regtest::setText;
using regtest::text;
using testsupport::readFile;

// As regedit 5 exports HKEY_CURRENT_USER\SOFTWARE: all five value types, escapes, wrapped hex lists.
constexpr std::u16string_view kRegeditExport =
    u"Windows Registry Editor Version 5.00\n"
    u"\n"
    u"[HKEY_CURRENT_USER\\SOFTWARE]\n"
    u"\n"
    u"[HKEY_CURRENT_USER\\SOFTWARE\\Corvessa]\n"
    u"\n"
    u"[HKEY_CURRENT_USER\\SOFTWARE\\Corvessa\\QuillMark For Outlook]\n"
    u"@=\"default\"\n"
    u"\"Log path\"=\"C:\\\\Users\\\\Anna \\\"A\\\"\\\\quillmark.log\"\n"
    u"\"Enable Logging\"=dword:00000001\n"
    u"\"WBHost load timeout\"=dword:00004e20\n"
    u"\"Template Root\"=hex(2):25,00,41,00,50,00,50,00,44,00,41,00,54,00,41,00,25,00,\\\n"
    u"  5c,00,51,00,75,00,69,00,6c,00,6c,00,4d,00,61,00,72,00,6b,00,00,00\n"
    u"\"Thread text matches\"=hex(7):46,00,72,00,6f,00,6d,00,00,00,53,00,65,00,6e,00,\\\n"
    u"  74,00,00,00,00,00\n"
    u"\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\n"
    u"  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27\n"
    u"\"Empty\"=hex:\n"
    u"\n"
    u"[HKEY_CURRENT_USER\\SOFTWARE\\Corvessa\\QuillMark For Outlook\\Templates]\n"
    u"\"MRUBrowseFolder\"=\"/home/anna/templates\"\n"
    u"\n";

class HiveFileTest : public regtest::RegistryFixture {
 protected:
  std::filesystem::path userFile() const { return testsupport::quillmarkHome() / "user.reg"; }
  std::filesystem::path machineFile() const { return testsupport::quillmarkHome() / "machine.reg"; }

  // Sets a text value of HKEY_CURRENT_USER as another process of the user would; its exit status.
  static int setTextInAnotherProcess(const char16_t* name, const char16_t* value) {
    const pid_t child = fork();
    if (child == 0) {
      platform::registry::resetForTesting();
      _exit(setText(HKEY_CURRENT_USER, name, value) == ERROR_SUCCESS ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }

  static void write(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
  }

  static std::vector<BYTE> raw(HKEY key, const char16_t* name, DWORD expectedType) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != expectedType) return {};
    std::vector<BYTE> data(size);
    RegQueryValueExW(key, name, nullptr, &type, data.data(), &size);
    return data;
  }

  static std::vector<BYTE> utf16(std::u16string_view text) {
    std::vector<BYTE> out;
    for (char16_t c : text) {
      out.push_back(static_cast<BYTE>(c & 0xFF));
      out.push_back(static_cast<BYTE>(c >> 8));
    }
    return out;
  }
};

TEST_F(HiveFileTest, RegeditExportLoadsAndWritesBackTheSame) {
  const std::string original = regtest::utf16File(kRegeditExport);
  write(userFile(), original);

  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Corvessa\\QuillMark For Outlook", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  EXPECT_EQ(text(key, nullptr), u"default");
  EXPECT_EQ(text(key, u"Log path"), u"C:\\Users\\Anna \"A\"\\quillmark.log");
  EXPECT_EQ(raw(key, u"WBHost load timeout", REG_DWORD), (std::vector<BYTE>{0x20, 0x4e, 0, 0}));
  EXPECT_EQ(raw(key, u"Template Root", REG_EXPAND_SZ), utf16(std::u16string_view(u"%APPDATA%\\QuillMark\0", 20)));
  EXPECT_EQ(raw(key, u"Thread text matches", REG_MULTI_SZ), utf16(std::u16string_view(u"From\0Sent\0\0", 11)));
  std::vector<BYTE> blob(40);
  for (int i = 0; i < 40; ++i) blob[i] = static_cast<BYTE>(i);
  EXPECT_EQ(raw(key, u"Blob", REG_BINARY), blob);
  DWORD type = 0;
  DWORD size = 5;
  EXPECT_EQ(RegQueryValueExW(key, u"Empty", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 0u);
  RegCloseKey(key);

  // Export writes regedit's bytes back, and so does the hive file after a change is undone.
  const std::filesystem::path exported = dir() / "export.reg";
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE", 0, KEY_READ, &key), ERROR_SUCCESS);
  ASSERT_EQ(platform::registry::exportKey(key, exported), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(readFile(exported), original);
  ASSERT_EQ(setDword(HKEY_CURRENT_USER, u"Scratch", 7), ERROR_SUCCESS);
  EXPECT_NE(readFile(userFile()), original);
  ASSERT_EQ(RegDeleteValueW(HKEY_CURRENT_USER, u"Scratch"), ERROR_SUCCESS);
  EXPECT_EQ(readFile(userFile()), original);
}

TEST_F(HiveFileTest, ImportMergesAndMinusKeyDeletes) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Corvessa\\Old\\Deep", 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr), ERROR_SUCCESS);
  RegCloseKey(key);
  setText(HKEY_CURRENT_USER, u"Kept", u"yes");
  setText(HKEY_CURRENT_USER, u"Dropped", u"yes");
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"QuillMark.Addin", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);

  const std::filesystem::path file = dir() / "import.reg";
  write(file, regtest::utf16File(u"Windows Registry Editor Version 5.00\n\n"
                                 u"[-HKEY_CURRENT_USER\\Software\\CORVESSA\\old]\n"
                                 u"\"Ignored\"=\"value of a deleted key\"\n\n"
                                 u"[HKEY_CURRENT_USER]\n"
                                 u"\"Dropped\"=-\n"
                                 u"\"New\"=dword:0000002a\n\n"
                                 u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvessa]\n"
                                 u"\"InstallDir\"=\"/opt/quillmark/\"\n"));
  const platform::registry::RegFileStatus status = platform::registry::importRegFile(file);
  ASSERT_TRUE(status.ok()) << platform::system::utf16ToUtf8(status.message);

  EXPECT_FALSE(exists(HKEY_CURRENT_USER, u"SOFTWARE\\Corvessa\\Old"));
  EXPECT_TRUE(exists(HKEY_CURRENT_USER, u"SOFTWARE\\Corvessa"));
  EXPECT_EQ(text(HKEY_CURRENT_USER, u"Kept"), u"yes");
  EXPECT_EQ(text(HKEY_CURRENT_USER, u"Dropped"), u"<error 2>");
  EXPECT_TRUE(exists(HKEY_CLASSES_ROOT, u"QuillMark.Addin"));
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvessa", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(text(key, u"InstallDir"), u"/opt/quillmark/");
  RegCloseKey(key);

  // The merge is in the files, not only in this process.
  platform::registry::resetForTesting();
  EXPECT_FALSE(exists(HKEY_CURRENT_USER, u"SOFTWARE\\Corvessa\\Old"));
  EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvessa"));
  EXPECT_TRUE(exists(HKEY_CLASSES_ROOT, u"QuillMark.Addin"));
}

TEST_F(HiveFileTest, LoadingAHiveFileReplacesTheKeysItNames) {
  setText(HKEY_CURRENT_USER, u"Before", u"x");
  ASSERT_EQ(setText(HKEY_CLASSES_ROOT, u"Untouched", u"x"), ERROR_SUCCESS);
  setText(HKEY_LOCAL_MACHINE, u"Before", u"x");
  const std::filesystem::path file = dir() / "state.reg";
  write(file, "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvessa]\r\n\"InstallDir\"=\"/opt/\"\r\n");
  ASSERT_TRUE(platform::registry::loadHiveFile(file).ok());
  EXPECT_EQ(text(HKEY_LOCAL_MACHINE, u"Before"), u"<error 2>");
  EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvessa"));
  EXPECT_EQ(text(HKEY_CLASSES_ROOT, u"Untouched"), u"x");
  EXPECT_EQ(text(HKEY_CURRENT_USER, u"Before"), u"x");
}

TEST_F(HiveFileTest, ChangesWaitForTheLastWritingHandleOrAFlush) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Batch", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  HKEY sub = nullptr;
  ASSERT_EQ(RegCreateKeyExW(key, u"Template1", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &sub, nullptr), ERROR_SUCCESS);
  setDword(sub, u"IsFolder", 1);
  RegCloseKey(sub);
  EXPECT_FALSE(std::filesystem::exists(userFile()));  // "Batch" still open for writing
  EXPECT_EQ(text(key, u"missing"), u"<error 2>");
  ASSERT_EQ(RegFlushKey(key), ERROR_SUCCESS);
  EXPECT_TRUE(std::filesystem::exists(userFile()));
  setDword(key, u"Second", 2);
  EXPECT_EQ(readFile(userFile()).find("S\0e\0c\0o\0n\0d", 0, 11), std::string::npos);
  ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_NE(readFile(userFile()).find("S\0e\0c\0o\0n\0d", 0, 11), std::string::npos);
}

TEST_F(HiveFileTest, TwoProcessesWritingDifferentKeysBothKeepTheirChanges) {
  setText(HKEY_CURRENT_USER, u"Existing", u"kept");
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  constexpr int kKeys = 25;
  pid_t children[2];
  for (int n = 0; n < 2; ++n) {
    children[n] = fork();
    ASSERT_GE(children[n], 0);
    if (children[n] == 0) {
      close(go[1]);
      char c;
      if (read(go[0], &c, 1) < 0) _exit(90);
      platform::registry::resetForTesting();
      int failures = 0;
      for (int i = 0; i < kKeys; ++i) {
        const std::u16string path = u"Proc" + platform::system::utf8ToUtf16(std::to_string(n)) + u"\\Key" +
                                    platform::system::utf8ToUtf16(std::to_string(i));
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != 0) {
          ++failures;
          continue;
        }
        failures += setDword(key, u"Index", static_cast<DWORD>(i)) != ERROR_SUCCESS;
        failures += RegCloseKey(key) != ERROR_SUCCESS;
      }
      _exit(failures);
    }
  }
  close(go[0]);
  close(go[1]);  // both start now
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  platform::registry::resetForTesting();
  for (int n = 0; n < 2; ++n) {
    HKEY key = nullptr;
    const std::u16string path = u"Proc" + platform::system::utf8ToUtf16(std::to_string(n));
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(regtest::subkeys(key).size(), static_cast<std::size_t>(kKeys));
    RegCloseKey(key);
  }
  EXPECT_EQ(text(HKEY_CURRENT_USER, u"Existing"), u"kept");
}

TEST_F(HiveFileTest, ChangesOfAnotherProcessAppearAtTheNextOpen) {
  ASSERT_EQ(setText(HKEY_CURRENT_USER, u"Mine", u"1"), ERROR_SUCCESS);
  HKEY pending = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Pending", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &pending, nullptr),
            ERROR_SUCCESS);
  setText(pending, u"Unsaved", u"still here");
  ASSERT_EQ(setTextInAnotherProcess(u"Theirs", u"2"), 0);
  EXPECT_EQ(text(HKEY_CURRENT_USER, u"Theirs"), u"2");
  EXPECT_EQ(text(pending, u"Unsaved"), u"still here");  // replayed onto the new content
  ASSERT_EQ(RegCloseKey(pending), ERROR_SUCCESS);
  platform::registry::resetForTesting();
  EXPECT_EQ(text(HKEY_CURRENT_USER, u"Theirs"), u"2");
  EXPECT_EQ(text(HKEY_CURRENT_USER, u"Mine"), u"1");
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Pending", 0, KEY_READ, &pending), ERROR_SUCCESS);
  EXPECT_EQ(text(pending, u"Unsaved"), u"still here");
  RegCloseKey(pending);
}

// Settings saved again as they are write nothing; a value another process changed meanwhile is
// still set back.
TEST_F(HiveFileTest, AValueSetToWhatItHoldsIsNotWrittenAgain) {
  const auto inode = [&] {
    struct stat info {};
    return ::stat(userFile().c_str(), &info) == 0 ? info.st_ino : 0;
  };
  ASSERT_EQ(setText(HKEY_CURRENT_USER, u"Margin", u"0.75"), ERROR_SUCCESS);
  const auto written = inode();
  ASSERT_NE(0u, written);
  ASSERT_EQ(setText(HKEY_CURRENT_USER, u"Margin", u"0.75"), ERROR_SUCCESS);
  EXPECT_EQ(written, inode()) << "the file was replaced";

  ASSERT_EQ(setTextInAnotherProcess(u"Margin", u"1.0"), 0);
  ASSERT_EQ(setText(HKEY_CURRENT_USER, u"Margin", u"0.75"), ERROR_SUCCESS);
  platform::registry::resetForTesting();
  EXPECT_EQ(text(HKEY_CURRENT_USER, u"Margin"), u"0.75");
}

TEST_F(HiveFileTest, ACrashBetweenWriteAndRenameLeavesTheOldFile) {
  ASSERT_EQ(setText(HKEY_LOCAL_MACHINE, u"Old", u"value"), ERROR_SUCCESS);
  const std::string before = readFile(machineFile());
  struct CrashBeforeRename : PosixHiveStorage {
    LONG replace(const std::filesystem::path&, const std::filesystem::path&) override { _exit(42); }
  };
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    platform::registry::setStorageForTesting(std::make_shared<CrashBeforeRename>());
    setText(HKEY_LOCAL_MACHINE, u"New", u"value");
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 42);
  EXPECT_TRUE(std::filesystem::exists(testsupport::quillmarkHome() / "machine.reg.tmp"));
  EXPECT_EQ(readFile(machineFile()), before);

  platform::registry::resetForTesting();
  EXPECT_EQ(text(HKEY_LOCAL_MACHINE, u"Old"), u"value");
  EXPECT_EQ(text(HKEY_LOCAL_MACHINE, u"New"), u"<error 2>");
  // The leftover temporary file does not stand in the way of the next write.
  ASSERT_EQ(setText(HKEY_LOCAL_MACHINE, u"Next", u"value"), ERROR_SUCCESS);
  platform::registry::resetForTesting();
  EXPECT_EQ(text(HKEY_LOCAL_MACHINE, u"Next"), u"value");
}

TEST_F(HiveFileTest, AFailedWriteIsReportedAndLeavesTheFile) {
  struct FailingDisk : PosixHiveStorage {
    LONG code = ERROR_DISK_FULL;
    LONG writeDurably(const std::filesystem::path& file, std::string_view bytes) override {
      PosixHiveStorage::writeDurably(file, bytes.substr(0, bytes.size() / 2));  // half a file, as a full disk leaves it
      return code;
    }
  };
  ASSERT_EQ(setText(HKEY_CURRENT_USER, u"Old", u"value"), ERROR_SUCCESS);
  const std::string before = readFile(userFile());
  auto disk = std::make_shared<FailingDisk>();
  platform::registry::setStorageForTesting(disk);

  EXPECT_EQ(setText(HKEY_CURRENT_USER, u"New", u"value"), ERROR_DISK_FULL);
  EXPECT_EQ(text(HKEY_CURRENT_USER, u"New"), u"<error 2>");  // what this process sees is what the file holds
  EXPECT_EQ(readFile(userFile()), before);

  disk->code = ERROR_WRITE_FAULT;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Settings", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(setDword(key, u"A", 1), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_WRITE_FAULT);
  EXPECT_FALSE(exists(HKEY_CURRENT_USER, u"Settings"));
  EXPECT_EQ(readFile(userFile()), before);
  EXPECT_FALSE(std::filesystem::exists(testsupport::quillmarkHome() / "user.reg.tmp"));

  platform::registry::setStorageForTesting(nullptr);
  EXPECT_EQ(setText(HKEY_CURRENT_USER, u"New", u"value"), ERROR_SUCCESS);
}

TEST_F(HiveFileTest, AMalformedFileIsRefusedWithItsLineAndNeverOverwritten) {
  const std::string bad = regtest::utf16File(u"Windows Registry Editor Version 5.00\n\n"
                                             u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvessa]\n"
                                             u"\"InstallDir\"=\"/opt/\"\n"
                                             u"\"Broken\"=dword:xyz\n");
  write(machineFile(), bad);
  setText(HKEY_CURRENT_USER, u"User", u"fine");

  const platform::registry::RegFileStatus status = platform::registry::hiveStatus(HKEY_LOCAL_MACHINE);
  EXPECT_EQ(status.code, ERROR_BADDB);
  EXPECT_EQ(status.line, 5u);
  const std::string message = platform::system::utf16ToUtf8(status.message);
  EXPECT_NE(message.find("machine.reg at line 5"), std::string::npos) << message;

  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, &key), ERROR_BADDB);
  EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\X", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_BADDB);
  EXPECT_EQ(setText(HKEY_CLASSES_ROOT, u"x", u"y"), ERROR_BADDB);
  const std::filesystem::path import = dir() / "import.reg";
  write(import, "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n");
  EXPECT_EQ(platform::registry::importRegFile(import).code, ERROR_BADDB);
  EXPECT_EQ(readFile(machineFile()), bad);
  EXPECT_EQ(text(HKEY_CURRENT_USER, u"User"), u"fine");  // the other hive is unaffected

  // A malformed import is refused whole, with its own line.
  write(import, "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"ok\"=\"1\"\n[HKEY_USERS\\B]\n");
  const platform::registry::RegFileStatus refused = platform::registry::importRegFile(import);
  EXPECT_EQ(refused.code, ERROR_BADDB);
  EXPECT_EQ(refused.line, 5u);
  EXPECT_FALSE(exists(HKEY_CURRENT_USER, u"A"));
}

TEST_F(HiveFileTest, KeysOfTheWrongHiveMakeAFileMalformed) {
  // Writing such a file back would lose those keys.
  write(userFile(), "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A]\n\n[HKEY_LOCAL_MACHINE\\B]\n");
  EXPECT_EQ(platform::registry::hiveStatus(HKEY_CURRENT_USER).line, 5u);
  EXPECT_EQ(setText(HKEY_CURRENT_USER, u"x", u"y"), ERROR_BADDB);
}

TEST_F(HiveFileTest, AHiveLinkedToARegularFileIsReadAndWrittenThroughTheLink) {
  write(dir() / "kept.reg", "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n");
  std::filesystem::create_symlink(dir() / "kept.reg", userFile());
  EXPECT_EQ(setText(HKEY_CURRENT_USER, u"New", u"2"), ERROR_SUCCESS);
  EXPECT_TRUE(std::filesystem::is_symlink(userFile()));
  EXPECT_NE(readFile(dir() / "kept.reg").find("N\0e\0w\0", 0, 6), std::string::npos);
}

TEST_F(HiveFileTest, OnlyRegularHivesOfAtMost64MbAreReadAndNoneIsWrittenOverOrThrough) {
  // A pipe would hang the reader, an endless device or a huge file exhaust its memory.
  namespace fs = std::filesystem;
  const std::pair<std::function<void()>, const char*> cases[] = {
      {[&] { ASSERT_EQ(mkfifo(userFile().c_str(), 0600), 0); }, "not a regular file"},
      {[&] { fs::create_symlink("/dev/zero", userFile()); }, "not a regular file"},
      {[&] { write(userFile(), ""); fs::resize_file(userFile(), 3ull << 30); }, "larger than 64 MB"},
  };
  for (const auto& [make, reason] : cases) {
    SCOPED_TRACE(reason);
    fs::remove(userFile());
    make();
    platform::registry::resetForTesting();
    EXPECT_EQ(setText(HKEY_CURRENT_USER, u"x", u"y"), ERROR_BADDB);
    EXPECT_NE(platform::diag::lastFailure().find(userFile().string() + ": " + reason), std::string::npos);
  }
  EXPECT_EQ(fs::file_size(userFile()), 3ull << 30);

  // A pending change whose file became a pipe since is not written.
  fs::remove(userFile());
  platform::registry::resetForTesting();
  HKEY pending = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"P", 0, nullptr, 0, KEY_WRITE, nullptr, &pending, nullptr), ERROR_SUCCESS);
  ASSERT_EQ(mkfifo(userFile().c_str(), 0600), 0);
  EXPECT_EQ(RegCloseKey(pending), ERROR_BAD_FILE_TYPE);
  EXPECT_EQ(fs::symlink_status(userFile()).type(), fs::file_type::fifo);

  // Nor is a file written through a link planted as the temporary file.
  fs::remove(userFile());
  write(dir() / "victim", "keep");
  fs::create_symlink(dir() / "victim", testsupport::quillmarkHome() / "user.reg.tmp");
  EXPECT_NE(setText(HKEY_CURRENT_USER, u"x", u"y"), ERROR_SUCCESS);
  EXPECT_EQ(readFile(dir() / "victim"), "keep");
}

}  // namespace

namespace {

// "[ROOT\n\n...\n]" with `levels` names below the root, each `nameLength` characters long.
std::u16string deepKey(std::u16string_view root, std::size_t levels, std::size_t nameLength = 1) {
  std::u16string key(root);
  const std::u16string name(nameLength, u'k');
  key.reserve(key.size() + levels * (nameLength + 1));
  for (std::size_t i = 0; i < levels; ++i) key.append(u"\\").append(name);
  return key;
}

TEST_F(HiveFileTest, KeysBeyondWindowsLimitsAreRefusedOnEveryWayIn) {
  const std::filesystem::path import = dir() / "deep.reg";
  const auto merge = [&](const std::u16string& lines) {
    write(import, regtest::utf16File(u"Windows Registry Editor Version 5.00\n\n" + lines));
    return platform::registry::importRegFile(import);
  };
  ASSERT_EQ(setText(HKEY_CURRENT_USER, u"Kept", u"1"), ERROR_SUCCESS);
  const std::string before = readFile(userFile());

  const std::tuple<std::u16string, unsigned, const char*> refused[] = {
      {u"[" + deepKey(u"HKEY_CURRENT_USER", 513) + u"]\n", 3, "more than 512 levels deep"},
      {u"[HKEY_CURRENT_USER\\A]\n\n[HKEY_CURRENT_USER\\" + std::u16string(256, u'n') + u"]\n", 5,
       "longer than 255 characters"},
      {u"[HKEY_CURRENT_USER\\A]\n\"" + std::u16string(16384, u'v') + u"\"=dword:1\n", 4, "longer than 16383"},
      // 100,000 levels in 200 KB: refused at the 513th, never built or written.
      {u"[HKEY_CURRENT_USER\\A]\n\n[" + deepKey(u"HKEY_CURRENT_USER", 100000) + u"]\n", 5, "512 levels"},
  };
  for (const auto& [lines, line, reason] : refused) {
    SCOPED_TRACE(reason);
    const platform::registry::RegFileStatus status = merge(lines);
    EXPECT_EQ(status.code, ERROR_BADDB);
    EXPECT_EQ(status.line, line);
    EXPECT_NE(platform::system::utf16ToUtf8(status.message).find(reason), std::string::npos)
        << platform::system::utf16ToUtf8(status.message);
  }
  EXPECT_EQ(readFile(userFile()), before);

  // At the limits a key is merged, written and read back.
  const std::u16string deepest = deepKey(u"HKEY_CURRENT_USER", 511) + u"\\" + std::u16string(255, u'n');
  ASSERT_TRUE(merge(u"[" + deepest + u"]\n\"" + std::u16string(16383, u'v') + u"\"=dword:1\n").ok());
  platform::registry::resetForTesting();
  EXPECT_TRUE(platform::registry::hiveStatus(HKEY_CURRENT_USER).ok());

  // The calls keep them too: nothing they make is a hive that reading refuses.
  const std::u16string path512 = deepKey(u"", 512).substr(1);
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (path512 + u"\\k").c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr),
            ERROR_INVALID_PARAMETER);
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path512.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  HKEY deeper = nullptr;
  EXPECT_EQ(RegCreateKeyExW(key, u"k", 0, nullptr, 0, KEY_WRITE, nullptr, &deeper, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, std::u16string(256, u'n').c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                            &deeper, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(setDword(key, std::u16string(16384, u'v').c_str(), 1), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

  // A hive file nested deeper than that is refused when read, with its line.
  write(userFile(), regtest::utf16File(u"Windows Registry Editor Version 5.00\n\n[" +
                                       deepKey(u"HKEY_CURRENT_USER", 100000) + u"]\n"));
  platform::registry::resetForTesting();
  EXPECT_EQ(platform::registry::hiveStatus(HKEY_CURRENT_USER).line, 3u);
  EXPECT_EQ(setText(HKEY_CURRENT_USER, u"x", u"y"), ERROR_BADDB);
}

TEST_F(HiveFileTest, AMergeOfBothHivesIsWrittenToBothOrToNeither) {
  struct UserDiskFull : PosixHiveStorage {
    LONG writeDurably(const std::filesystem::path& file, std::string_view bytes) override {
      if (file.filename() == "user.reg.tmp") return ERROR_DISK_FULL;
      return PosixHiveStorage::writeDurably(file, bytes);
    }
  };
  ASSERT_EQ(setText(HKEY_LOCAL_MACHINE, u"Machine", u"old"), ERROR_SUCCESS);
  ASSERT_EQ(setText(HKEY_CURRENT_USER, u"User", u"old"), ERROR_SUCCESS);
  const std::filesystem::path import = dir() / "both.reg";
  const auto both = [&](const std::u16string& user) {
    write(import, regtest::utf16File(u"Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Q]\n"
                                     u"\"Machine\"=\"new\"\n\n" + user));
  };
  const std::string machineBefore = readFile(machineFile());
  const std::string goodUser = readFile(userFile());

  // The user hive is malformed; its write fails (full disk); the merge would take it past 64 MB
  // (one 262 KB line of 512 levels of 255-character names, each level a section of its own).
  const std::string malformed = regtest::utf16File(u"Windows Registry Editor Version 5.00\n\n[HKEY_USERS\\X]\n");
  const struct {
    const char* reason;
    std::string userBytes;
    std::shared_ptr<PosixHiveStorage> storage;
    std::u16string userLines;
  } cases[] = {
      {"Malformed registry file", malformed, nullptr, u"[HKEY_CURRENT_USER\\SOFTWARE\\Q]\n"},
      {"user.reg: There is not enough space on the disk.", goodUser, std::make_shared<UserDiskFull>(),
       u"[HKEY_CURRENT_USER\\SOFTWARE\\Q]\n"},
      {"user.reg: it would be larger than 64 MB", goodUser, nullptr,
       u"[" + deepKey(u"HKEY_CURRENT_USER", 512, 255) + u"]\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    write(userFile(), c.userBytes);
    platform::registry::resetForTesting();
    platform::registry::setStorageForTesting(c.storage);
    both(c.userLines);
    const platform::registry::RegFileStatus status = platform::registry::importRegFile(import);
    EXPECT_FALSE(status.ok());
    EXPECT_NE(platform::system::utf16ToUtf8(status.message).find(c.reason), std::string::npos)
        << platform::system::utf16ToUtf8(status.message);
    EXPECT_EQ(readFile(machineFile()), machineBefore);
    EXPECT_EQ(readFile(userFile()), c.userBytes);
    EXPECT_FALSE(std::filesystem::exists(testsupport::quillmarkHome() / "machine.reg.tmp"));
    EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Q"));
  }

  platform::registry::setStorageForTesting(nullptr);
  both(u"[HKEY_CURRENT_USER\\SOFTWARE\\Q]\n\"User\"=\"new\"\n");
  ASSERT_TRUE(platform::registry::importRegFile(import).ok());
  platform::registry::resetForTesting();
  HKEY machine = nullptr, user = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Q", 0, KEY_READ, &machine), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Q", 0, KEY_READ, &user), ERROR_SUCCESS);
  EXPECT_EQ(text(machine, u"Machine"), u"new");
  EXPECT_EQ(text(user, u"User"), u"new");
  EXPECT_EQ(text(HKEY_CURRENT_USER, u"User"), u"old");
  RegCloseKey(machine);
  RegCloseKey(user);
}

}  // namespace
