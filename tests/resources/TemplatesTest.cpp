// The templates an installer ships: the list file, the files it names, their markup and the field
// settings written in them.

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;

const fs::path kTemplateDir = QM_TEMPLATE_DIR;

// ---------------------------------------------------------------------------------------------
// The field vocabulary the filler understands.

const std::set<std::string> kKnownKeys = {
    "NAME",          "PROP_TYPE",         "FORMAT_STRING",       "HIDE_TABLE_IF_EMPTY",
    "HIDE_ROW_IF_EMPTY", "UPPER_CASE",    "LOWER_CASE",          "VALUE_SEPARATOR",
    "POSSIBLE_VALUES",   "DATE_FORMAT_FLAGS", "DATE_FORMAT_PICTURE", "TIME_FORMAT_FLAGS",
    "TIME_FORMAT_PICTURE"};

const std::set<std::string> kPropTypes = {"USER", "DISPID", "MAPI", "ITEM"};

// Names resolved without a PROP_TYPE: the computed fields, then the name table with its DISPIDs.
const std::set<std::string> kSpecialNames = {
    "Body",       "Attachments", "ContactPicture", "From",       "FromFull",
    "To",         "ToFull",      "Cc",             "CcFull",     "Bcc",
    "BccFull",    "ReceivedBy",  "ReceivedByFull", "Contacts",   "ContactsAddress",
    "SentOn",     "ReceivedTime", "CurrentTime",   "AttachmentCount"};

const std::map<std::string, std::string> kNameTable = {
    {"Subject", "0x37"},           {"Categories", "0x9001"},
    {"Sensitivity", "0x0036"},     {"Importance", "0x0017"},
    {"BillingInformation", "0x8535"}, {"Companies", "0x853B"},
    {"FlagRequest", "0x8530"},     {"FlagStatus", "0x1090"},
    {"Mileage", "0x8534"},         {"Size", "0xE08"},
    {"FolderName", "0x3001"},      {"VotingOptions", "0xF01B"},
    {"VotingResponse", "0x8524"},  {"DeliveryReportRequested", "0x23"},
    {"ReadReceiptRequested", "0x29"}, {"CreationTime", "0x3007"},
    {"DeferredDeliveryTime", "0xF"}, {"ExpiryTime", "0x15"},
    {"FlagDueBy", "0x30"},         {"LastModificationTime", "0x3008"},
    {"ReminderTime", "0x8502"}};

// Outlook property names the templates read with PROP_TYPE=ITEM, by the class of the item read.
const std::set<std::string> kContactProperties = {
    "FullName", "JobTitle", "CompanyName", "FileAs", "Department", "BusinessAddress",
    "HomeAddress", "OtherAddress", "BusinessTelephoneNumber", "HomeTelephoneNumber",
    "MobileTelephoneNumber", "BusinessFaxNumber", "Email1Address", "Email2Address",
    "Email3Address", "WebPage", "IMAddress"};

const std::map<std::string, std::set<std::string>> kItemProperties = {
    {"IPM.Note", {}},
    {"IPM.Appointment",
     {"Location", "Start", "End", "AllDayEvent", "IsRecurring", "BusyStatus", "Organizer"}},
    {"IPM.Schedule.Meeting.Request", {"Location"}},
    {"IPM.Contact", kContactProperties},
    {"IPM.DistList", {"DLName", "MemberCount"}},
    {"IPM.Activity", {"Type", "Start", "End", "Duration"}},
    {"IPM.StickyNote", {}},
    {"IPM.Post", {"ConversationTopic"}},
    {"IPM.TaskRequest", {"StartDate", "DueDate", "Status", "PercentComplete", "Owner"}}};

// MAPI tags read with PROP_TYPE=MAPI (start and end of a meeting).
const std::set<std::string> kMapiTags = {"0x00600040", "0x00610040"};

// Element ids of the template document.
const std::set<std::string> kDataIds = {"QMMessProp", "QMMiscProp", "QMFromProp", "QMContactProp",
                                        "QMFolderProp"};
const std::set<std::string> kBlockIds = {"QMHeader",        "QMFooter",       "QMCoverHeader",
                                         "QMCoverFooter",   "QMTrailerHeader", "QMTrailerFooter"};
const std::set<std::string> kOtherIds = {
    "QMContactList", "QMContactListItem", "QMContactListSeparator", "QMFolderList",
    "QMFolderListItem", "QMFolderListSeparator", "QMObject", "QMCoverEndPage",
    "QMTrailerEndPage", "QMPageNo", "QMPageTotal"};

// ---------------------------------------------------------------------------------------------
// The list file.

struct TemplateEntry {
  std::string messageClass;
  std::string displayName;
  std::string file;
  std::string isFolder;
};

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::string::size_type start = 0;
  for (;;) {
    const auto tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

std::vector<TemplateEntry> readList(std::vector<std::string>& problems) {
  std::vector<TemplateEntry> entries;
  std::ifstream in(kTemplateDir / "templates.tsv");
  if (!in) {
    problems.push_back("templates.tsv cannot be read");
    return entries;
  }
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (line.empty() || line[0] == '#') continue;
    const auto fields = splitTabs(line);
    if (fields.size() != 4) {
      problems.push_back("line " + std::to_string(number) + ": " + std::to_string(fields.size()) +
                         " fields");
      continue;
    }
    entries.push_back({fields[0], fields[1], fields[2], fields[3]});
  }
  return entries;
}

// ---------------------------------------------------------------------------------------------
// A strict reading of the markup: every element closed in order (void elements excepted), every
// comment closed, and each element's position kept so that its inner HTML can be taken as written.

struct Element {
  std::string tag;
  std::map<std::string, std::string> attributes;
  std::size_t innerBegin = 0;
  std::size_t innerEnd = std::string::npos;
  int parent = -1;

  std::string id() const {
    const auto it = attributes.find("id");
    return it == attributes.end() ? std::string() : it->second;
  }
};

struct Markup {
  std::string text;
  std::vector<Element> elements;
  std::vector<std::string> errors;

  std::string inner(const Element& e) const { return text.substr(e.innerBegin, e.innerEnd - e.innerBegin); }

  bool inside(int index, const std::string& ancestorId) const {
    for (int p = elements[index].parent; p >= 0; p = elements[p].parent)
      if (elements[p].id() == ancestorId) return true;
    return false;
  }

  std::vector<int> withId(const std::string& id) const {
    std::vector<int> found;
    for (int i = 0; i < static_cast<int>(elements.size()); ++i)
      if (elements[i].id() == id) found.push_back(i);
    return found;
  }

  int count(const std::string& tag) const {
    return static_cast<int>(std::count_if(elements.begin(), elements.end(),
                                          [&](const Element& e) { return e.tag == tag; }));
  }
};

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

bool isVoid(const std::string& tag) {
  static const std::set<std::string> kVoid = {"area", "base", "br",   "col",   "embed", "hr",  "img",
                                              "input", "link", "meta", "source", "track", "wbr"};
  return kVoid.count(tag) != 0;
}

Markup readMarkup(std::string text) {
  Markup m;
  m.text = std::move(text);
  const std::string& t = m.text;
  std::vector<int> open;
  std::size_t i = 0;
  auto isNameChar = [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == ':';
  };
  while ((i = t.find('<', i)) != std::string::npos) {
    if (t.compare(i, 4, "<!--") == 0) {
      const auto end = t.find("-->", i + 4);
      if (end == std::string::npos) {
        m.errors.push_back("comment not closed");
        break;
      }
      i = end + 3;
      continue;
    }
    if (t.compare(i, 2, "<!") == 0) {
      const auto end = t.find('>', i);
      if (end == std::string::npos) break;
      i = end + 1;
      continue;
    }
    const bool closing = t.compare(i, 2, "</") == 0;
    std::size_t p = i + (closing ? 2 : 1);
    const std::size_t nameBegin = p;
    while (p < t.size() && isNameChar(t[p])) ++p;
    const std::string tag = lower(t.substr(nameBegin, p - nameBegin));
    if (tag.empty()) {
      m.errors.push_back("stray '<' at offset " + std::to_string(i));
      ++i;
      continue;
    }
    Element element;
    element.tag = tag;
    bool selfClosed = false;
    for (;;) {
      while (p < t.size() && std::isspace(static_cast<unsigned char>(t[p]))) ++p;
      if (p >= t.size()) break;
      if (t[p] == '>') break;
      if (t.compare(p, 2, "/>") == 0) {
        selfClosed = true;
        ++p;
        break;
      }
      const std::size_t attrBegin = p;
      while (p < t.size() && t[p] != '=' && t[p] != '>' && t[p] != '/' &&
             !std::isspace(static_cast<unsigned char>(t[p])))
        ++p;
      const std::string name = lower(t.substr(attrBegin, p - attrBegin));
      std::string value;
      if (p < t.size() && t[p] == '=') {
        ++p;
        if (p < t.size() && (t[p] == '"' || t[p] == '\'')) {
          const char quote = t[p];
          const auto end = t.find(quote, p + 1);
          if (end == std::string::npos) {
            m.errors.push_back("attribute value not closed in <" + tag + ">");
            p = t.size();
            break;
          }
          value = t.substr(p + 1, end - p - 1);
          p = end + 1;
        } else {
          const std::size_t valueBegin = p;
          while (p < t.size() && t[p] != '>' && !std::isspace(static_cast<unsigned char>(t[p]))) ++p;
          value = t.substr(valueBegin, p - valueBegin);
        }
      }
      if (name.empty()) {
        ++p;
        continue;
      }
      if (element.attributes.count(name)) m.errors.push_back("attribute " + name + " repeated in <" + tag + ">");
      element.attributes[name] = value;
    }
    if (p >= t.size()) {
      m.errors.push_back("tag <" + tag + "> not closed");
      break;
    }
    const std::size_t after = p + 1;
    if (closing) {
      if (open.empty() || m.elements[open.back()].tag != tag) {
        m.errors.push_back("</" + tag + "> does not close the open element" +
                           (open.empty() ? std::string() : " <" + m.elements[open.back()].tag + ">"));
      } else {
        m.elements[open.back()].innerEnd = i;
        open.pop_back();
      }
      i = after;
      continue;
    }
    element.innerBegin = after;
    element.parent = open.empty() ? -1 : open.back();
    m.elements.push_back(element);
    const int index = static_cast<int>(m.elements.size()) - 1;
    i = after;
    if (tag == "style" || tag == "script" || tag == "title") {
      // Raw text: the content runs to the matching end tag.
      const std::string endTag = "</" + tag;
      const auto end = lower(t).find(endTag, after);
      if (end == std::string::npos) {
        m.errors.push_back("<" + tag + "> not closed");
        break;
      }
      open.push_back(index);
      i = end;
      continue;
    }
    if (isVoid(tag) || selfClosed) {
      m.elements[index].innerEnd = after;
      continue;
    }
    open.push_back(index);
  }
  for (const int index : open) m.errors.push_back("<" + m.elements[index].tag + "> never closed");
  return m;
}

// ---------------------------------------------------------------------------------------------
// One element's settings text, checked against the vocabulary.

std::string trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t\r\n");
  return std::string(s.substr(first, last - first + 1));
}

std::string upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
  return s;
}

// Tokens between any of the separators, empty tokens dropped (as the filler splits).
std::vector<std::string> tokenize(std::string_view text, std::string_view separators) {
  std::vector<std::string> tokens;
  std::string current;
  for (const char c : text) {
    if (separators.find(c) != std::string_view::npos) {
      if (!current.empty()) tokens.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) tokens.push_back(current);
  return tokens;
}

bool isHex(const std::string& s) {
  std::string digits = s;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits = digits.substr(2);
  return !digits.empty() && digits.size() <= 8 &&
         std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isxdigit(c); });
}

// Which item an element of this id reads: contacts for the sender's and the linked contacts,
// the folder for folder fields, else the printed item of the template's class.
std::string sourceClass(const std::string& elementId, const std::string& messageClass) {
  if (elementId == "QMFromProp" || elementId == "QMContactProp") return "IPM.Contact";
  if (elementId == "QMFolderProp") return "folder";
  return messageClass;
}

std::vector<std::string> checkSettings(const std::string& text, const std::string& elementId,
                                       const std::string& messageClass) {
  std::vector<std::string> problems;
  if (trim(text).empty()) return {"empty settings text"};
  if (text.find_first_of("<>&\r\n") != std::string::npos)
    problems.push_back("markup, an entity or a line break in the settings text");

  std::map<std::string, std::string> pairs;
  for (const auto& token : tokenize(text, "|")) {
    const auto eq = token.find('=');
    const std::string key = upper(trim(token.substr(0, eq)));
    const std::string value = eq == std::string::npos ? std::string() : token.substr(eq + 1);
    if (key.empty()) {
      problems.push_back("token without a key: " + token);
      continue;
    }
    if (token.substr(0, eq) != key)
      problems.push_back("key not written as the vocabulary spells it: " + token.substr(0, eq));
    if (!kKnownKeys.count(key)) problems.push_back("unknown key " + key);
    if (!pairs.emplace(key, value).second) problems.push_back("key given twice: " + key);
  }

  const auto has = [&](const char* key) { return pairs.count(key) != 0; };
  const std::string name = has("NAME") ? trim(pairs["NAME"]) : std::string();
  if (name.empty()) problems.push_back("no NAME");

  const std::string source = sourceClass(elementId, messageClass);
  if (!has("PROP_TYPE")) {
    if (!name.empty() && !kSpecialNames.count(name) && !kNameTable.count(name))
      problems.push_back("NAME=" + name + " is neither a computed field nor in the name table");
    if (source == "folder" && name != "FolderName" && name != "CurrentTime")
      problems.push_back("a folder has no field " + name);
  } else {
    const std::string type = upper(trim(pairs["PROP_TYPE"]));
    if (!kPropTypes.count(type)) problems.push_back("unknown PROP_TYPE " + type);
    if (type == "ITEM") {
      const auto it = kItemProperties.find(source);
      if (it == kItemProperties.end() || !it->second.count(name))
        problems.push_back("NAME=" + name + " is not a known property of " + source);
    } else if (type == "MAPI") {
      if (!isHex(name) || !kMapiTags.count(name)) problems.push_back("NAME=" + name + " is not a known MAPI tag");
    } else if (type == "DISPID") {
      const bool known = std::any_of(kNameTable.begin(), kNameTable.end(),
                                     [&](const auto& entry) { return entry.second == name; });
      if (!known) problems.push_back("NAME=" + name + " is not a DISPID of the name table");
    } else if (type == "USER") {
      problems.push_back("user-defined fields depend on the user's forms; not for shipped templates");
    }
  }

  if (has("POSSIBLE_VALUES")) {
    const auto tokens = tokenize(pairs["POSSIBLE_VALUES"], "\\/,;:");
    if (tokens.size() < 2 || tokens.size() % 2 != 0)
      problems.push_back("POSSIBLE_VALUES does not split into raw:shown pairs (" + std::to_string(tokens.size()) +
                         " tokens; an empty shown text needs a blank)");
    for (std::size_t i = 0; i + 1 < tokens.size(); i += 2)
      if (trim(tokens[i]).empty()) problems.push_back("POSSIBLE_VALUES pair with an empty raw value");
  }
  if (has("FORMAT_STRING")) {
    const std::string& format = pairs["FORMAT_STRING"];
    int placeholders = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
      if (format[i] != '%') continue;
      if (i + 1 < format.size() && format[i + 1] == '%') {
        ++i;
      } else if (i + 1 < format.size() && format[i + 1] == 's') {
        ++placeholders;
        ++i;
      } else {
        problems.push_back("FORMAT_STRING holds a lone %");
      }
    }
    if (placeholders != 1) problems.push_back("FORMAT_STRING needs exactly one %s");
  }
  // A date or time picture is passed with the flags; the system takes a picture only with flags 0.
  if (has("DATE_FORMAT_PICTURE") && (!has("DATE_FORMAT_FLAGS") || trim(pairs["DATE_FORMAT_FLAGS"]) != "0"))
    problems.push_back("DATE_FORMAT_PICTURE without DATE_FORMAT_FLAGS=0");
  if (has("TIME_FORMAT_PICTURE") && (!has("TIME_FORMAT_FLAGS") || trim(pairs["TIME_FORMAT_FLAGS"]) != "0"))
    problems.push_back("TIME_FORMAT_PICTURE without TIME_FORMAT_FLAGS=0");
  for (const char* key : {"DATE_FORMAT_FLAGS", "TIME_FORMAT_FLAGS"})
    if (has(key) && !isHex(trim(pairs[key]))) problems.push_back(std::string(key) + " is not hexadecimal");
  return problems;
}

std::string joined(const std::vector<std::string>& lines) {
  std::ostringstream out;
  for (const auto& line : lines) out << "\n  " << line;
  return out.str();
}

// ---------------------------------------------------------------------------------------------

class TemplatesTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    std::vector<std::string> problems;
    m_entries = readList(problems);
    ASSERT_TRUE(problems.empty()) << joined(problems);
    ASSERT_FALSE(m_entries.empty());
  }

  Markup load(const TemplateEntry& entry) const {
    return readMarkup(testsupport::readFile(kTemplateDir / entry.file));
  }

  std::vector<TemplateEntry> m_entries;
};

TEST_F(TemplatesTest, ListNamesEveryItemTypeOnceInMemoStyleAndATableStyleList) {
  std::map<std::string, int> memo;
  int tables = 0;
  std::set<std::string> files;
  for (const auto& entry : m_entries) {
    SCOPED_TRACE(entry.file);
    EXPECT_TRUE(kItemProperties.count(entry.messageClass)) << entry.messageClass;
    EXPECT_FALSE(entry.displayName.empty());
    ASSERT_TRUE(entry.isFolder == "0" || entry.isFolder == "1") << entry.isFolder;
    (entry.isFolder == "0" ? memo[entry.messageClass] : tables) += 1;
    EXPECT_TRUE(files.insert(entry.file).second) << "listed twice";
    EXPECT_EQ(fs::path(entry.file).filename().string(), entry.file) << "a file of this folder";
    EXPECT_TRUE(fs::is_regular_file(kTemplateDir / entry.file)) << "missing";
  }
  for (const auto& [messageClass, names] : kItemProperties) EXPECT_EQ(memo[messageClass], 1) << messageClass;
  EXPECT_GE(tables, 1);

  // A template file that is not listed would never be installed.
  for (const auto& file : fs::directory_iterator(kTemplateDir))
    if (lower(file.path().extension().string()) == ".htm") {
      EXPECT_TRUE(files.count(file.path().filename().string())) << file.path().filename() << " not listed";
    }
}

TEST_F(TemplatesTest, MarkupIsBalancedWithOneHtmlHeadAndBody) {
  for (const auto& entry : m_entries) {
    SCOPED_TRACE(entry.file);
    const Markup m = load(entry);
    EXPECT_TRUE(m.errors.empty()) << joined(m.errors);
    EXPECT_EQ(m.count("html"), 1);
    EXPECT_EQ(m.count("head"), 1);
    EXPECT_EQ(m.count("body"), 1);
    EXPECT_EQ(m.count("title"), 1);
  }
}

TEST_F(TemplatesTest, NothingRunsAndNothingIsFetched) {
  for (const auto& entry : m_entries) {
    SCOPED_TRACE(entry.file);
    const Markup m = load(entry);
    const std::string text = lower(m.text);
    for (const char* banned : {"<script", "http://", "https://", "javascript:", "@import", "url(", "<iframe",
                               "<object", "<embed", "<link"})
      EXPECT_EQ(text.find(banned), std::string::npos) << banned;
    for (const auto& e : m.elements)
      for (const auto& [name, value] : e.attributes) {
        EXPECT_FALSE(name.rfind("on", 0) == 0) << "<" << e.tag << " " << name << ">";
        if (name == "src" || name == "href" || name == "background") {
          EXPECT_EQ(value.find(':'), std::string::npos) << name << "=" << value;
        }
      }
  }
}

TEST_F(TemplatesTest, EveryFieldUsesTheVocabulary) {
  for (const auto& entry : m_entries) {
    SCOPED_TRACE(entry.file);
    const Markup m = load(entry);
    ASSERT_TRUE(m.errors.empty());
    int fields = 0;
    for (const auto& e : m.elements) {
      const std::string id = e.id();
      if (id.rfind("QM", 0) == 0) {
        EXPECT_TRUE(kDataIds.count(id) || kBlockIds.count(id) || kOtherIds.count(id)) << "unknown id " << id;
      }
      if (!kDataIds.count(id)) continue;
      ++fields;
      const std::string settings = m.inner(e);
      const auto problems = checkSettings(settings, id, entry.messageClass);
      EXPECT_TRUE(problems.empty()) << id << " \"" << settings << "\":" << joined(problems);
    }
    EXPECT_GT(fields, 0);
  }
}

TEST_F(TemplatesTest, EachStyleKeepsItsFieldsWhereTheFillerLooks) {
  for (const auto& entry : m_entries) {
    SCOPED_TRACE(entry.file);
    const Markup m = load(entry);
    ASSERT_TRUE(m.errors.empty());
    const bool table = entry.isFolder == "1";
    EXPECT_FALSE(m.withId("QMHeader").empty());
    EXPECT_FALSE(m.withId("QMFooter").empty());
    for (const auto& block : kBlockIds) EXPECT_LE(m.withId(block).size(), 1u) << block;

    if (table) {
      // Rows are filled from their own item; a table-style job has no single item.
      ASSERT_EQ(m.withId("QMFolderList").size(), 1u);
      EXPECT_EQ(m.withId("QMFolderListItem").size(), 1u);
      for (const int i : m.withId("QMFolderListItem")) EXPECT_TRUE(m.inside(i, "QMFolderList"));
      for (const int i : m.withId("QMMessProp")) EXPECT_TRUE(m.inside(i, "QMFolderListItem")) << m.inner(m.elements[i]);
      EXPECT_TRUE(m.withId("QMMiscProp").empty());
      for (const int i : m.withId("QMFromProp")) EXPECT_TRUE(m.inside(i, "QMFolderListItem"));
    } else {
      for (const char* id : {"QMFolderList", "QMFolderListItem", "QMFolderListSeparator", "QMFolderProp"})
        EXPECT_TRUE(m.withId(id).empty()) << id << " is filled in table style only";
    }
    // Rows replace themselves through their inner HTML; a QMObject written in a row would break
    // the count of rows.
    EXPECT_TRUE(m.withId("QMObject").empty());
    for (const int i : m.withId("QMContactListItem")) EXPECT_TRUE(m.inside(i, "QMContactList"));
    for (const int i : m.withId("QMContactProp")) EXPECT_TRUE(m.inside(i, "QMContactListItem"));
    for (const int i : m.withId("QMContactList")) {
      EXPECT_FALSE(m.inside(i, "QMContactList"));
      EXPECT_EQ(m.elements[i].tag, "div") << "rows are inserted as SPANs inside the list element";
    }
    for (const int i : m.withId("QMFolderList")) EXPECT_EQ(m.elements[i].tag, "div");

    // Page numbers are set in the page decorations only.
    for (const char* id : {"QMPageNo", "QMPageTotal"})
      for (const int i : m.withId(id)) {
        EXPECT_EQ(m.elements[i].tag, "span");
        EXPECT_TRUE(std::any_of(kBlockIds.begin(), kBlockIds.end(), [&](const auto& b) { return m.inside(i, b); }))
            << id << " outside the header and footer blocks";
      }
  }
}

TEST_F(TemplatesTest, OneTemplateShowsCoverAndTrailerPages) {
  int withBoth = 0;
  for (const auto& entry : m_entries) {
    SCOPED_TRACE(entry.file);
    const Markup m = load(entry);
    const bool cover = !m.withId("QMCoverEndPage").empty();
    const bool trailer = !m.withId("QMTrailerEndPage").empty();
    // The cover's and the trailer's decorations without their page, or the page without them,
    // print the wrong header on the first or last page.
    EXPECT_EQ(cover, !m.withId("QMCoverHeader").empty());
    EXPECT_EQ(cover, !m.withId("QMCoverFooter").empty());
    EXPECT_EQ(trailer, !m.withId("QMTrailerHeader").empty());
    EXPECT_EQ(trailer, !m.withId("QMTrailerFooter").empty());
    if (cover && trailer) ++withBoth;
  }
  EXPECT_GE(withBoth, 1);
}

// The checks above are only as good as their reader; these cases must each be caught.
TEST_F(TemplatesTest, CheckerCatchesBrokenFieldsAndMarkup) {
  struct Case {
    const char* settings;
    const char* why;
  };
  const Case bad[] = {
      {"NAME=Location", "a property name without PROP_TYPE resolves to nothing"},
      {"NAME=Subject|HIDE_ROWS_IF_EMPTY", "misspelt key"},
      {"NAME=Subject|NAME=Body", "repeated key"},
      {"=Subject", "token without a key"},
      {"NAME=Sensitivity|POSSIBLE_VALUES=0:,1:Personal", "empty shown text shifts the pairs"},
      {"NAME=Duration|PROP_TYPE=ITEM|FORMAT_STRING=%s of %s", "two placeholders"},
      {"NAME=Start|PROP_TYPE=ITEM|DATE_FORMAT_PICTURE=yyyy", "picture without flags 0"},
      {"NAME=Start|PROP_TYPE=ITEM|DATE_FORMAT_FLAGS=2|DATE_FORMAT_PICTURE=yyyy", "picture with flags"},
      {"NAME=Start|PROP_TYPE=ITEMS", "unknown PROP_TYPE"},
      {"NAME=DueDate|PROP_TYPE=ITEM", "not a property of an appointment"},
      {"NAME=0x0037001F|PROP_TYPE=MAPI", "tag not in the list"},
      {"name=Subject", "key not spelt as the vocabulary"},
      {"NAME=Subject|FORMAT_STRING=<b>%s</b>", "markup in the settings text"},
  };
  for (const auto& c : bad) EXPECT_FALSE(checkSettings(c.settings, "QMMessProp", "IPM.Appointment").empty()) << c.why;
  EXPECT_TRUE(checkSettings("NAME=Start|PROP_TYPE=ITEM|HIDE_ROW_IF_EMPTY", "QMMessProp", "IPM.Appointment").empty());
  EXPECT_FALSE(checkSettings("NAME=Subject", "QMFolderProp", "IPM.Note").empty());

  EXPECT_FALSE(readMarkup("<html><body><div><span></div></span></body></html>").errors.empty());
  EXPECT_FALSE(readMarkup("<html><body><table><tr><td>x</td></tr></body></html>").errors.empty());
  EXPECT_FALSE(readMarkup("<html><body><!-- open </body></html>").errors.empty());
  EXPECT_TRUE(readMarkup("<html><head><style>p > b {}</style></head><body><br><img src=\"a.png\"/></body></html>")
                  .errors.empty());
}

}  // namespace
