// quillmark print: its command line, files that are no .msg, and the real command printing the
// shared samples and the demo's items to PDFs whose text shows each item's subject and sender;
// what a killed print leaves, the next one takes.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <thread>

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

// Polls until `done`, for at most `seconds`; whether it came.
template <class Done>
bool waitFor(Done done, int seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// Whether a process runs whose command line names `text` (the dead run's browser, by its profile).
bool processMentions(const std::string& text) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc", ec)) {
    const std::string cmdline = testsupport::readFile(entry.path() / "cmdline");
    if (cmdline.find(text) != std::string::npos) return true;
  }
  return false;
}

std::vector<std::string> namesIn(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A print killed mid-batch leaves its folder, the browser's profile and pages inside it; the next
// run takes all of that and, ending, its own too: nothing stays in the temporary path.
TEST_F(PrintCommandTest, WhatAKilledPrintLeftTheNextRunTakes) {
  QM_REQUIRE_SHARED_DATA();
  ASSERT_EQ(quillmark("install"), 0) << err();
  const fs::path tmp = dir() / "tmp";
  const fs::path out = dir() / "pdf";
  fs::create_directories(tmp);
  const fs::path samples = testsupport::sharedDir() / "testdata" / "msg";
  std::vector<std::string> args = {QM_QUILLMARK_BINARY, "print"};
  for (const char* sample : {"hht__test1.msg", "tika__testMSG.msg", "hht__Friday_Lunch.msg", "sicos__TxtSampleEmail.msg",
                             "hht__attachAndInline.msg", "bbot__embedded_image.msg", "hht__Hello_+CJK.msg",
                             "tika__testMSG_Task.msg", "tika__testMSG_Post.msg", "sicos__RtfSampleEmail.msg"})
    args.push_back((samples / sample).string());
  args.push_back("--out");
  args.push_back(out.string());
  std::vector<std::string> env = {"TMPDIR=" + tmp.string()};
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "TMPDIR=", 7) != 0) env.emplace_back(*e);
  std::vector<char*> argv, envp;
  for (std::string& a : args) argv.push_back(a.data());
  for (std::string& e : env) envp.push_back(e.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  const std::string devNull = "/dev/null";

  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const int quiet = ::open(devNull.c_str(), O_WRONLY);
    ::dup2(quiet, 1);
    ::dup2(quiet, 2);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  const bool printing = waitFor([&] { return !namesIn(out).empty(); }, 180);
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(printing) << "no item was printed";
  ASSERT_TRUE(WIFSIGNALED(status)) << "the batch ended before it was killed";
  EXPECT_EQ(namesIn(tmp), std::vector<std::string>{"Corvessa"});
  const std::vector<std::string> left = namesIn(tmp / "Corvessa");
  ASSERT_EQ(left.size(), 1u);
  const fs::path dead = tmp / "Corvessa" / left[0];
  bool browserInside = false;
  for (const std::string& name : namesIn(dead)) browserInside |= name.rfind("chromium-", 0) == 0;
  EXPECT_TRUE(browserInside) << "the browser's profile is not in the process's folder";
  // Its browser ends once its pipe is closed.
  EXPECT_TRUE(waitFor([&] { return !processMentions(dead.string()); }, 60));

  EXPECT_EQ(run("TMPDIR=" + tmp.string() + " " + QM_QUILLMARK_BINARY,
                "print " + (samples / "hht__test1.msg").string() + " --out " + (dir() / "again").string()),
            0)
      << err();
  EXPECT_TRUE(fs::exists(dir() / "again" / "hht__test1.pdf"));
  EXPECT_EQ(namesIn(tmp), std::vector<std::string>{"Corvessa"});
  EXPECT_EQ(namesIn(tmp / "Corvessa"), std::vector<std::string>{});
}

// As an ordinary user the browser keeps its sandbox: no --no-sandbox, and every renderer runs
// under seccomp in a user namespace of its own; the print is whole. Needs root to become nobody.
TEST_F(PrintCommandTest, AnOrdinaryUsersBrowserKeepsItsSandbox) {
  QM_REQUIRE_SHARED_DATA();
  const passwd* nobody = ::getpwnam("nobody");
  if (::geteuid() != 0 || !nobody || std::system("command -v setpriv >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "needs root, setpriv and the user nobody";
  // Outside the test's own folder, which is closed to other users.
  std::string pattern = "/tmp/qm-nobody-XXXXXX";
  ASSERT_TRUE(::mkdtemp(pattern.data()));
  const fs::path base = pattern;
  for (const char* sub : {"home", "tmp", "out"}) fs::create_directories(base / sub);
  for (const auto& entry : fs::recursive_directory_iterator(base)) ASSERT_EQ(::chown(entry.path().c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  ASSERT_EQ(::chown(base.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  const std::string asNobody = "setpriv --reuid=" + std::to_string(nobody->pw_uid) + " --regid=" +
                               std::to_string(nobody->pw_gid) + " --clear-groups env HOME=" + base.string() +
                               " QUILLMARK_HOME=" + (base / "home").string() + " TMPDIR=" + (base / "tmp").string() +
                               " " + QM_QUILLMARK_BINARY;
  ASSERT_EQ(std::system((asNobody + " install >/dev/null 2>&1").c_str()), 0);

  const fs::path samples = testsupport::sharedDir() / "testdata" / "msg";
  const std::string command = asNobody + " print " + (samples / "hht__test1.msg").string() + " " +
                              (samples / "tika__testMSG.msg").string() + " " +
                              (samples / "hht__Friday_Lunch.msg").string() + " --out " + (base / "out").string() +
                              " >/dev/null 2>" + (dir() / "err.txt").string();
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // The browser's processes, looked at while the print runs. A renderer applies its seccomp
  // filter as it starts: it counts as confined once it was seen under it.
  const std::string ownNamespace = fs::read_symlink("/proc/self/ns/user").string();
  const std::string uidLine = "Uid:\t" + std::to_string(nobody->pw_uid) + "\t";
  std::set<std::string> renderers, confined;
  bool unsandboxed = false;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
      const std::string cmdline = testsupport::readFile(entry.path() / "cmdline");
      const std::string procStatus = testsupport::readFile(entry.path() / "status");
      if (cmdline.find("chromium") == std::string::npos || procStatus.find(uidLine) == std::string::npos) continue;
      unsandboxed |= cmdline.find("--no-sandbox") != std::string::npos;
      if (cmdline.find("--type=renderer") == std::string::npos) continue;
      const std::string name = entry.path().filename().string();
      renderers.insert(name);
      std::error_code linkError;
      const std::string ns = fs::read_symlink(entry.path() / "ns" / "user", linkError).string();
      if (procStatus.find("Seccomp:\t2") != std::string::npos && !ns.empty() && ns != ownNamespace)
        confined.insert(name);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const std::vector<std::string> printed = namesIn(base / "out");
  fs::remove_all(base);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << err();
  EXPECT_EQ(printed, (std::vector<std::string>{"hht__Friday_Lunch.pdf", "hht__test1.pdf", "tika__testMSG.pdf"}));
  EXPECT_FALSE(renderers.empty());
  EXPECT_FALSE(unsandboxed);
  EXPECT_EQ(confined, renderers);
  EXPECT_EQ(err().find("without its sandbox"), std::string::npos) << err();
}

}  // namespace
