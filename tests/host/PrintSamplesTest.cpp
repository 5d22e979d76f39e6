// The real quillmark print over the demo's items and the shared samples: each PDF's text shows
// the item's subject and sender, Japanese and Chinese included.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>

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

class PrintSamplesTest : public testsupport::IsolatedTest {
 protected:
  int run(const std::string& program, const std::string& args) {
    return testsupport::runCommand(program + " " + args, dir());
  }
  int quillmark(const std::string& args) { return run(QM_QUILLMARK_BINARY, args); }
  std::string err() { return testsupport::readFile(dir() / "err.txt"); }
  std::string pdfText(const fs::path& pdf) { return collapse(testsupport::pdfText(pdf)); }
};

TEST_F(PrintSamplesTest, DemoItemsPrintWithTheirFields) {
  ASSERT_EQ(quillmark("install"), 0) << err();
  ASSERT_EQ(run(QM_SAMPLES_BINARY, (dir() / "samples").string()), 0) << err();
  const std::string out = (dir() / "pdf").string();
  ASSERT_EQ(quillmark("print " + (dir() / "samples").string() + "/*.msg --out " + out), 0) << err();
  const std::map<std::string, std::vector<std::string>> expected = {
      {"mail", {"Quarterly review and figures", "Mara Lindqvist", "Jonas Berg", "figures.csv", "Revenue up 12"}},
      {"meeting", {"Planning meeting for the launch", "Jonas Berg"}},
      {"contact", {"Aiko Tanaka", "Northwind Traders"}},
      {"task", {"Send the figures to the auditors"}},
  };
  for (const auto& [name, texts] : expected) {
    const std::string text = pdfText(fs::path(out) / (name + ".pdf"));
    for (const std::string& t : texts) EXPECT_NE(text.find(t), std::string::npos) << name << ": " << t << "\n" << text;
  }
}

// The subject and sender name the independent reading of a sample found. A contact's template
// shows the person, not who saved the card: no sender is looked for there.
std::pair<std::string, std::string> referenceFields(const fs::path& reference) {
  std::ifstream in(reference);
  std::string subject, sender, messageClass;
  const std::regex senderLine("^sender:\\s+\"([^\"]*)\"");
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (line.rfind("subject: ", 0) == 0) subject = line.substr(9);
    if (line.rfind("class:", 0) == 0) messageClass = collapse(line.substr(6));
    if (std::regex_search(line, m, senderLine)) sender = m[1];
  }
  if (messageClass == " IPM.Contact" || messageClass == "IPM.Contact") sender.clear();
  return {collapse(subject), collapse(sender)};
}

TEST_F(PrintSamplesTest, EverySharedSamplePrintsItsSubjectAndSender) {
  QM_REQUIRE_SHARED_DATA();
  ASSERT_EQ(quillmark("install"), 0) << err();
  const fs::path samples = testsupport::sharedDir() / "testdata" / "msg";
  const std::string out = (dir() / "pdf").string();
  // One process for all of them, as a user would print a folder; the classes the shipped
  // templates do not cover are printed with the nearest template.
  ASSERT_EQ(quillmark("print " + samples.string() + "/*.msg --out " + out), 1) << err();
  // The items print in turn, each with its own report: only the two uncovered ones fail.
  const std::string batch = err();
  EXPECT_NE(batch.find("bbot__S_MIME_test_message_signed not printed (status 2)"), std::string::npos) << batch;
  EXPECT_NE(batch.find("tika__testMSG_Task not printed (status 2)"), std::string::npos) << batch;
  std::size_t failures = 0;
  for (std::size_t at = batch.find("not printed"); at != std::string::npos; at = batch.find("not printed", at + 1))
    ++failures;
  EXPECT_EQ(failures, 2u) << batch;
  EXPECT_EQ(quillmark("print " + (samples / "tika__testMSG_Task.msg").string() + " --template TaskRequest --out " + out), 0)
      << err();
  EXPECT_EQ(quillmark("print " + (samples / "bbot__S_MIME_test_message_signed.msg").string() +
                      " --template Mail --out " + out),
            0)
      << err();
  int checked = 0, numbered = 0;
  for (const auto& entry : fs::directory_iterator(samples)) {
    if (entry.path().extension() != ".msg") continue;
    SCOPED_TRACE(entry.path().filename().string());
    const auto [subject, sender] = referenceFields(samples / "reference" / (entry.path().stem().string() + ".txt"));
    const std::string text = pdfText(fs::path(out) / (entry.path().stem().string() + ".pdf"));
    ASSERT_FALSE(text.empty());
    if (!subject.empty() && subject != "-") {
      EXPECT_NE(text.find(subject), std::string::npos) << subject << "\n" << text;
    }
    if (!sender.empty()) {
      EXPECT_NE(text.find(sender), std::string::npos) << sender << "\n" << text;
    }
    // Each page numbered once, of the right total: the decorations printed ahead of their jobs
    // are the jobs' own.
    const std::regex numbering("Page ([0-9]+) of ([0-9]+)");
    int pages = 0;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), numbering); it != std::sregex_iterator(); ++it) {
      ++pages;
      EXPECT_EQ((*it)[1].str(), std::to_string(pages)) << text;
      EXPECT_EQ(std::stoi((*it)[2].str()), testsupport::pdfPages(fs::path(out) / (entry.path().stem().string() + ".pdf")));
    }
    numbered += pages > 0;
    ++checked;
  }
  EXPECT_EQ(checked, 28);
  EXPECT_GE(numbered, 26);
  // Two samples as one table: both rows in one PDF.
  ASSERT_EQ(quillmark("print " + (samples / "hht__test1.msg").string() + " " + (samples / "tika__testMSG.msg").string() +
                      " --table --template MailList --out " + out),
            0)
      << err();
  const std::string table = pdfText(fs::path(out) / "hht__test1-table.pdf");
  EXPECT_NE(table.find("MIME registry use cases"), std::string::npos) << table;
  EXPECT_NE(table.find("2019-03-05"), std::string::npos) << table;
  // Chinese, Japanese and Korean come out as text, not as boxes.
  const std::string cjk = pdfText(fs::path(out) / "hht__Hello_+CJK.pdf");
  for (const char* word : {"你好", "こんにちは", "안녕하세요"}) EXPECT_NE(cjk.find(word), std::string::npos) << word << "\n" << cjk;
}

// Eight prints at once, as users and rules start them, in one temporary folder, half of them into
// one output folder, while the product is installed again twice into the home they print from:
// none loses a file another uses, every PDF is whole and shows its item's subject.
TEST_F(PrintSamplesTest, EightPrintsAtOnceInOneTemporaryFolderLoseNothing) {
  QM_REQUIRE_SHARED_DATA();
  ASSERT_EQ(quillmark("install"), 0) << err();
  const fs::path samples = testsupport::sharedDir() / "testdata" / "msg";
  // The two items the shipped templates do not cover get the nearest template.
  const std::map<std::string, std::string> special = {{"bbot__S_MIME_test_message_signed", "Mail"},
                                                      {"tika__testMSG_Task", "TaskRequest"}};
  std::vector<fs::path> ordinary;
  for (const auto& entry : fs::directory_iterator(samples))
    if (entry.path().extension() == ".msg" && !special.count(entry.path().stem().string()))
      ordinary.push_back(entry.path());
  std::sort(ordinary.begin(), ordinary.end());
  ASSERT_GT(ordinary.size(), 6u);

  // Processes 0-3 print into the shared folder, each first the one item they all print; 4-5 into
  // folders of their own; 6-7 the special items.
  const fs::path shared = dir() / "pdf-shared";
  const fs::path common = ordinary.front();
  struct Run {
    std::vector<fs::path> files;
    fs::path out;
    std::string templateName;
  };
  std::vector<Run> runs(8);
  for (int k = 0; k < 6; ++k) runs[k].out = k < 4 ? shared : dir() / ("pdf-" + std::to_string(k));
  for (int k = 0; k < 4; ++k) runs[k].files.push_back(common);
  for (std::size_t i = 1; i < ordinary.size(); ++i) runs[i % 6].files.push_back(ordinary[i]);
  int k = 6;
  for (const auto& [stem, templateName] : special) {
    runs[k].files = {samples / (stem + ".msg")};
    runs[k].out = dir() / ("pdf-" + std::to_string(k));
    runs[k++].templateName = templateName;
  }

  std::string script;
  const auto start = [&](const std::string& args, const std::string& log) {
    script += std::string("(") + QM_QUILLMARK_BINARY + args + " >" + log + ".out 2>" + log + ".err; echo $? >" + log +
              ".rc) & ";
  };
  for (std::size_t r = 0; r < runs.size(); ++r) {
    std::string args = " print";
    for (const fs::path& file : runs[r].files) args += " '" + file.string() + "'";
    if (!runs[r].templateName.empty()) args += " --template " + runs[r].templateName;
    args += " --out '" + runs[r].out.string() + "'";
    start(args, (dir() / ("run" + std::to_string(r))).string());
  }
  for (int i = 0; i < 2; ++i) start(" install", (dir() / ("install" + std::to_string(i))).string());
  ASSERT_EQ(std::system((script + "wait").c_str()), 0);
  platform::registry::resetForTesting();

  for (int i = 0; i < 2; ++i) {
    const fs::path log = dir() / ("install" + std::to_string(i));
    EXPECT_EQ(testsupport::readFile(log.string() + ".rc"), "0\n") << testsupport::readFile(log.string() + ".err");
  }
  for (std::size_t r = 0; r < runs.size(); ++r) {
    const fs::path log = dir() / ("run" + std::to_string(r));
    SCOPED_TRACE("process " + std::to_string(r));
    EXPECT_EQ(testsupport::readFile(log.string() + ".rc"), "0\n") << testsupport::readFile(log.string() + ".err");
    for (const fs::path& file : runs[r].files) {
      SCOPED_TRACE(file.filename().string());
      const fs::path pdf = runs[r].out / (file.stem().string() + ".pdf");
      EXPECT_EQ(std::system(("pdfinfo '" + pdf.string() + "' >/dev/null 2>&1").c_str()), 0);
      const auto [subject, sender] = referenceFields(samples / "reference" / (file.stem().string() + ".txt"));
      const std::string text = pdfText(pdf);
      ASSERT_FALSE(text.empty());
      if (!subject.empty() && subject != "-") {
        EXPECT_NE(text.find(subject), std::string::npos) << subject << "\n" << text;
      }
    }
  }
  // Nothing half-written beside the PDFs, and every process took its temporary files with it.
  for (const auto& entry : fs::directory_iterator(shared)) EXPECT_EQ(entry.path().extension(), ".pdf") << entry.path();
  EXPECT_TRUE(fs::is_empty(dir() / "Corvessa"));
}

}  // namespace
