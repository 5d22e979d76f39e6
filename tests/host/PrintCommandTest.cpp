// quillmark print: its command line, files that are no .msg, and the real command printing the
// shared samples and the demo's items to PDFs whose text shows each item's subject and sender.

#include <gtest/gtest.h>

#include <sys/mount.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>

#include "host/Print.h"
#include "platform/browser/OutputFile.h"
#include "platform/registry/RegistryFiles.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;

// Whitespace runs made one blank, so text broken over lines by the layout still matches.
std::string collapse(const std::string& text) {
  std::string out;
  for (char c : text) {
    const bool space = c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f';
    if (space) {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

class PrintCommandTest : public testsupport::IsolatedTest {
 protected:
  int run(const std::string& program, const std::string& args) {
    return testsupport::runCommand(program + " " + args, dir());
  }
  int quillmark(const std::string& args) { return run(QM_QUILLMARK_BINARY, args); }
  std::string err() { return testsupport::readFile(dir() / "err.txt"); }
  std::string pdfText(const fs::path& pdf) { return collapse(testsupport::pdfText(pdf)); }
};

TEST_F(PrintCommandTest, CommandLine) {
  struct Case {
    std::vector<std::string> args;
    bool ok;
    int mode;
    bool table;
  };
  const Case cases[] = {
      {{"a.msg"}, true, 5, false},
      {{"a.msg", "b.msg", "--preview"}, true, 4, false},
      {{"--dialog", "a.msg", "--table"}, true, 6, true},
      {{"a.msg", "--template", "Mail", "--out", "dir"}, true, 5, false},
      {{"a.msg", "--preview", "--dialog"}, false, 0, false},
      {{"--out"}, false, 0, false},
      {{"a.msg", "--out", ""}, false, 0, false},
      {{"a.msg", "--template"}, false, 0, false},
      {{"a.msg", "--colour"}, false, 0, false},
      {{}, false, 0, false},
  };
  for (const Case& c : cases) {
    std::string error;
    const auto parsed = host::parsePrintCommandLine(c.args, error);
    ASSERT_EQ(parsed.has_value(), c.ok) << error;
    if (!parsed) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    EXPECT_EQ(parsed->mode, c.mode);
    EXPECT_EQ(parsed->table, c.table);
  }
  std::string error;
  const auto full = host::parsePrintCommandLine({"x.msg", "--template", "Mail", "--out", "dir", "y.msg"}, error);
  ASSERT_TRUE(full);
  EXPECT_EQ(full->files, (std::vector<fs::path>{"x.msg", "y.msg"}));
  EXPECT_EQ(full->templateName, "Mail");
  EXPECT_EQ(full->out, "dir");
  // The real command refuses it with its reason before it opens anything.
  EXPECT_EQ(quillmark("print a.msg --out ''"), 2);
  EXPECT_NE(err().find("--out needs a folder"), std::string::npos) << err();
}

// Files that are no .msg, empty, a link to a system file, a folder or missing: each refused with
// its own reason (one that cannot be read is not called invalid), and no PDF of any.
TEST_F(PrintCommandTest, FileThatIsNoMsgIsRefused) {
  ASSERT_EQ(quillmark("install"), 0) << err();
  std::ofstream(dir() / "bad.msg") << "From: nobody\r\nSubject: not a compound file\r\n\r\ntext";
  std::ofstream(dir() / "empty.msg").close();
  fs::create_symlink("/etc/passwd", dir() / "passwd.msg");
  fs::create_directory(dir() / "folder.msg");
  const std::string out = " --out " + (dir() / "pdf").string();
  EXPECT_NE(quillmark("print " + (dir() / "bad.msg").string() + out), 0);
  EXPECT_NE(err().find("bad.msg is not a valid .msg file"), std::string::npos) << err();
  // Several are read side by side, and refused in their order.
  std::string files;
  for (const char* name : {"missing.msg", "bad.msg", "empty.msg", "passwd.msg", "folder.msg"})
    files += " " + (dir() / name).string();
  EXPECT_EQ(quillmark("print" + files + out), 1);
  const std::string errors = err();
  std::size_t at = 0;
  for (const char* reason : {"missing.msg cannot be read: No such file or directory", "bad.msg is not a valid .msg file",
                             "empty.msg is not a valid .msg file", "passwd.msg is not a valid .msg file",
                             "folder.msg cannot be read: Is a directory"}) {
    at = errors.find(reason, at);
    ASSERT_NE(at, std::string::npos) << reason << "\n" << errors;
  }
  EXPECT_FALSE(fs::exists(dir() / "pdf") && !fs::is_empty(dir() / "pdf"));
}

// Pages going to a folder never reach a printer: CUPS is not asked for the default printer's paper.
TEST_F(PrintCommandTest, APrintToAFolderNeverAsksForThePrinter) {
  ASSERT_EQ(quillmark("install"), 0) << err();
  ASSERT_EQ(run(QM_SAMPLES_BINARY, (dir() / "samples").string()), 0) << err();
  fs::create_directories(dir() / "bin");
  for (const char* program : {"lpstat", "lpoptions"}) {
    std::ofstream(dir() / "bin" / program) << "#!/bin/sh\necho " << program << " >>'" << (dir() / "asked").string()
                                            << "'\necho 'system default destination: fake'\n";
    fs::permissions(dir() / "bin" / program, fs::perms::owner_all);
  }
  ASSERT_EQ(run("PATH=" + (dir() / "bin").string() + ":\"$PATH\" " + QM_QUILLMARK_BINARY,
                "print " + (dir() / "samples" / "mail.msg").string() + " --out " + (dir() / "pdf").string()),
            0)
      << err();
  EXPECT_TRUE(fs::exists(dir() / "pdf" / "mail.pdf"));
  EXPECT_FALSE(fs::exists(dir() / "asked")) << testsupport::readFile(dir() / "asked");
}

// A nearly full file system where --out points: the print fails with its reason and leaves no
// file of the PDF's name (nor a piece of one). A small tmpfs when the machine lets the test mount
// one; else the same write failure injected at the layer, in process.
TEST_F(PrintCommandTest, PrintOntoAFullDiskFailsWithItsReasonAndLeavesNoPdf) {
  ASSERT_EQ(quillmark("install"), 0) << err();
  ASSERT_EQ(run(QM_SAMPLES_BINARY, (dir() / "samples").string()), 0) << err();
  const fs::path full = dir() / "full";
  fs::create_directories(full);
  const fs::path mail = dir() / "samples" / "mail.msg";
  if (::mount("tmpfs", full.c_str(), "tmpfs", 0, "size=64k") == 0) {
    // Leave a few pages free: less than any printed mail needs.
    std::ofstream(full / "filler", std::ios::binary) << std::string(48 * 1024, 'x');
    const int status = quillmark("print " + mail.string() + " --out " + full.string());
    const std::string errors = err();
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(full)) left.push_back(entry.path().filename().string());
    ::umount(full.c_str());
    EXPECT_NE(status, 0) << errors;
    EXPECT_NE(errors.find("No space left on device"), std::string::npos) << errors;
    EXPECT_EQ(testsupport::readFile(dir() / "out.txt").find("wrote"), std::string::npos);
    EXPECT_EQ(left, std::vector<std::string>{"filler"});
  } else {
    platform::browser::detail::failWritesForTesting(ENOSPC);
    host::PrintCommandLine command;
    command.files = {mail};
    command.out = full;
    const int status = host::runPrint(command);
    platform::browser::detail::failWritesForTesting(0);
    EXPECT_NE(status, 0);
    EXPECT_TRUE(fs::is_empty(full));
  }
}

TEST_F(PrintCommandTest, AMalformedHiveStopsThePrintWithItsLine) {
  QM_REQUIRE_SHARED_DATA();
  ASSERT_EQ(quillmark("install"), 0) << err();
  const fs::path home = testsupport::quillmarkHome();
  const std::string machine = testsupport::readFile(home / "machine.reg");
  const fs::path sample = testsupport::sharedDir() / "testdata" / "msg" / "aspose__Test_Meeting.msg";
  for (const std::string file : {"user.reg", "machine.reg"}) {
    std::ofstream(home / file) << "REGEDIT4\r\n\r\nnot a key\r\n";
    EXPECT_EQ(quillmark("print " + sample.string() + " --out " + (dir() / "pdf").string()), 1);
    EXPECT_NE(err().find(file + " at line 3"), std::string::npos) << err();
    EXPECT_FALSE(fs::exists(dir() / "pdf" / "aspose__Test_Meeting.pdf"));
    fs::remove(home / "user.reg");
    std::ofstream(home / "machine.reg", std::ios::binary) << machine;
  }
}

}  // namespace
