// Every real sample filled into the default page and into the shipped memo template of its type,
// field by field: each data element's text (white space collapsed) against the value checked by
// hand against an independent reading of the sample (tests/engine/data/template_values.tsv, one
// row per sample, template and element NAME; every element of the template must have its row).
// Dates are in UTC (the tests' zone) as Windows prints them for LCID 1033; the clock is fixed so
// that CurrentTime prints a known value.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/OutlookItem.h"
#include "engine/PrintInfo.h"
#include "engine/QuillMarkTemplate.h"
#include "foundation/AddinGlobals.h"
#include "foundation/Settings.h"
#include "foundation/Utils.h"
#include "platform/outlook/Outlook.h"
#include "platform/system/TimeZone.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;
using platform::html::CHtmlDocument;
using platform::html::CHtmlElement;

const fs::path kSourceRoot = QM_SOURCE_ROOT;
const fs::path kTemplates = kSourceRoot / "resources" / "templates";
const fs::path kPage = kSourceRoot / "resources" / "html" / "PAGEPRINT_2057.HTM";

// Tuesday, March 5, 2024 2:07:09 PM UTC, the time CurrentTime prints.
constexpr ULONGLONG kNow = (1709647629ULL + 11644473600ULL) * 10000000ULL;

// An expected value ending in this is a prefix (the body's first words).
constexpr std::string_view kMore = "…";

fs::path samplesDir() { return testsupport::sharedDir() / "testdata" / "msg"; }
std::string utf8(const std::u16string& text) { return quilstring(text).toUtf8(); }

std::vector<std::string> split(const std::string& line, char separator) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, separator);) fields.push_back(field);
  if (!line.empty() && line.back() == separator) fields.emplace_back();
  return fields;
}

std::string trim(std::string text) {
  const auto begin = text.find_first_not_of(' ');
  const auto end = text.find_last_not_of(' ');
  return begin == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);
}

// Runs of white space (non-breaking spaces too) become one space; none at either end.
std::string collapsed(const std::u16string& text) {
  std::u16string out;
  bool space = false;
  for (char16_t c : text) {
    if (c == u' ' || c == u'\r' || c == u'\n' || c == u'\t' || c == u'\u00A0') {
      space = !out.empty();
    } else {
      if (space) out += u' ';
      space = false;
      out += c;
    }
  }
  return utf8(out);
}

// The memo template of a message class: the shipped list's memo entry of its longest prefix.
std::string memoTemplateFor(const std::string& messageClass) {
  std::ifstream list(kTemplates / "templates.tsv");
  std::string best, file;
  for (std::string line; std::getline(list, line);) {
    if (line.empty() || line[0] == '#') continue;
    const auto fields = split(line, '\t');
    if (fields.size() < 4 || fields[3] != "0") continue;
    const std::string& cls = fields[0];
    const bool matches = messageClass == cls || messageClass.rfind(cls + ".", 0) == 0;
    if (matches && cls.size() > best.size()) best = cls, file = fields[2];
  }
  return file;
}

// (sample, template) -> element NAME -> expected text.
using Table = std::map<std::pair<std::string, std::string>, std::map<std::string, std::string>>;

Table loadTable() {
  Table table;
  std::ifstream in(kSourceRoot / "tests" / "engine" / "data" / "template_values.tsv");
  EXPECT_TRUE(in) << "no table";
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    const auto fields = split(line, '\t');
    EXPECT_EQ(fields.size(), 4u) << line;
    if (fields.size() != 4) continue;
    const bool added = table[{fields[0], fields[1]}].emplace(fields[2], fields[3]).second;
    EXPECT_TRUE(added) << "duplicate row: " << line;
  }
  return table;
}

// A data element of a template and the NAME its settings text gives, read before the fill.
struct Field {
  CHtmlElement element;
  std::string name;
  bool hidesWhenEmpty;
};

std::vector<Field> dataElements(const CHtmlDocument& document) {
  std::vector<Field> fields;
  const auto all = document.all();
  for (long i = 0; i < all.length(); ++i) {
    const CHtmlElement element = all.item(i);
    const std::u16string id = element.getAttribute(u"id");
    if (id != u"QMMessProp" && id != u"QMMiscProp" && id != u"QMFromProp") continue;
    const std::string settings = utf8(element.innerText());
    std::string name;
    for (const std::string& arg : split(settings, '|'))
      if (arg.rfind("NAME=", 0) == 0) name = trim(arg.substr(5));
    fields.push_back({element, name, settings.find("_IF_EMPTY") != std::string::npos});
  }
  return fields;
}

bool hidden(CHtmlElement element) {
  for (; element; element = element.parentElement())
    if (element.styleProperty(u"display") == u"none") return true;
  return false;
}

// Inside a header or footer block, which the page margins print rather than the page.
bool inMarginBlock(CHtmlElement element) {
  for (; element; element = element.parentElement()) {
    const std::u16string id = element.getAttribute(u"id");
    if (id == u"QMHeader" || id == u"QMFooter") return true;
  }
  return false;
}

class TemplateValuesTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    NUtils::resetTempPathForTesting();
    FILETIME now{static_cast<DWORD>(kNow), static_cast<DWORD>(kNow >> 32)};
    platform::system::setSystemTimeForTesting(&now);
  }
  void TearDown() override {
    platform::system::setSystemTimeForTesting(nullptr);
    m_outlook.reset();
    CSettings::resetForTesting();
    NGlobals::resetForTesting();
  }

  std::unique_ptr<platform::outlook::COutlook> m_outlook;
};

TEST_F(TemplateValuesTest, EveryFieldOfEverySampleFormatsToItsCheckedValue) {
  QM_REQUIRE_SHARED_DATA();
  // The samples stay where they are: the store links them, contacts into Contacts.
  const fs::path store = dir() / "store";
  fs::create_directories(store / "Inbox");
  fs::create_directories(store / "Contacts");
  std::vector<fs::path> samples;
  for (const auto& entry : fs::directory_iterator(samplesDir())) {
    if (entry.path().extension() != ".msg") continue;
    const std::string name = entry.path().filename().string();
    const fs::path link = store / (name.find("Contact") != std::string::npos ? "Contacts" : "Inbox") / name;
    fs::create_symlink(entry.path(), link);
    samples.push_back(link);
  }
  std::sort(samples.begin(), samples.end());
  m_outlook = platform::outlook::COutlook::open(store);
  ASSERT_TRUE(m_outlook);
  CSettings::instance().outlookApplication() = m_outlook->application();

  Table table = loadTable();
  std::set<std::pair<std::string, std::string>> filled;
  for (const fs::path& path : samples) {
    const std::string sample = path.stem().string();
    CComPtr<IDispatch> item = m_outlook->item(path);
    ASSERT_TRUE(item) << sample;
    const std::string memo = memoTemplateFor(utf8(COutlookItem(item).getMessageClass()));
    for (const std::string& file : {memo, kPage.filename().string()}) {
      if (file.empty()) continue;
      SCOPED_TRACE(sample + " in " + file);
      filled.insert({sample, file});
      const auto expected = table.find({sample, file});
      ASSERT_NE(expected, table.end()) << "no expected values";
      std::set<std::string> checked;

      CHtmlDocument document;
      ASSERT_EQ(document.loadFromFile(file == kPage.filename() ? kPage : kTemplates / file), S_OK);
      const std::vector<Field> fields = dataElements(document);
      CPrintInfo job(item);
      CQuillMarkTemplate(job).processTemplateDocument(document);

      EXPECT_EQ(utf8(document.body().innerHTML()).find("NAME="), std::string::npos);
      for (const Field& field : fields) {
        SCOPED_TRACE(field.name);
        const auto value = expected->second.find(field.name);
        const std::string text = collapsed(field.element.innerText());
        if (value == expected->second.end()) {
          ADD_FAILURE() << "no expected value; the page shows \"" << text << "\"";
          continue;
        }
        checked.insert(field.name);
        const std::string& want = value->second;
        if (want.size() > kMore.size() && want.ends_with(kMore)) {
          const std::string prefix = want.substr(0, want.size() - kMore.size());
          EXPECT_EQ(text.substr(0, prefix.size()), prefix);
        } else {
          EXPECT_EQ(text, want);
        }
        // An empty field hides the row or table it names; a value shows, except in the margins.
        if (want.empty()) {
          EXPECT_TRUE(!field.hidesWhenEmpty || hidden(field.element)) << "an empty field left its row showing";
        } else if (!inMarginBlock(field.element)) {
          EXPECT_FALSE(hidden(field.element)) << "a value is hidden";
        }
      }
      for (const auto& [name, want] : expected->second)
        EXPECT_TRUE(checked.count(name)) << "no element named " << name;
    }
  }
  for (const auto& [key, values] : table)
    EXPECT_TRUE(filled.count(key)) << "rows for " << key.first << " in " << key.second << " were not filled";
}

}  // namespace
