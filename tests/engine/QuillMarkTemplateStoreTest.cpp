// The template filler end to end: the shipped templates and the default page filled from the real
// samples through the object model over a store of .msg files, with the real formatters; a list of
// twenty samples; contact lists from links; the sender's contact in a nested Contacts folder.
#include "engine/QuillMarkTemplate.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "engine/PrintInfo.h"
#include "foundation/AddinGlobals.h"
#include "foundation/Settings.h"
#include "platform/com/DispatchDriver.h"
#include "platform/mapi/PropTags.h"
#include "platform/outlook/Outlook.h"
#include "tests/support/MsgWriter.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;
using platform::html::CHtmlDocument;
using platform::html::CHtmlElement;
using namespace testsupport;

const fs::path kSourceRoot = QM_SOURCE_ROOT;

fs::path samplesDir() { return sharedDir() / "testdata" / "msg"; }
std::string utf8(const std::u16string& text) { return quilstring(text).toUtf8(); }

// Hand-checked against the samples: the subject, and the sender's name as the From field shows it
// (empty: the sample has no sender and its From row is hidden).
struct Expected {
  std::string subject;
  std::string sender;
};
const std::map<std::string, Expected> kExpected = {
    {"bbot__HTML_mail_with_replyto_and_attachment_and_embedded_image.msg", {"hey", "Benny Bottema"}},
    {"bbot__S_MIME_test_message_signed.msg", {"S/MIME test message signed", "Benny Bottema"}},
    {"bbot__attachment_with_a_bracket_in_the_name.msg", {"Attachment with the name \"Attachment[1.pdf\"", ""}},
    {"bbot__embedded_image.msg", {"email test", "Paliarik, Martin"}},
    {"bbot__simple_email_with_TO_and_CC_multiple.msg", {"Test E-Mail", "elias.laugher@gmail.com"}},
    {"hht__attachmentFiles.msg", {"attachmentFiles", "hmailuser"}},
    {"hht__test1.msg", {"title", ""}},
    {"hht__nonUnicodeCP932.msg", {"日本語 Non Unicode タイトル", ""}},
    {"sicos__EmailWithSpecialCharsInSubject.msg",
     {"Un sujet bien défini Àéroport mañana être ouïe électricité così próxima à Ô", "Julie Clarebots"}},
    {"tika__testMSG_att_doc.msg", {"test pièce jointe 1", "Nicolas1 23456"}},
    {"tika__testMSG_Post.msg", {"QuickBrownFox", "Allison, Timothy B."}},
    {"aspose__Test_Meeting.msg", {"Test Meeting", "Maria Shahid"}},
    {"hht__Friday_Lunch.msg", {"Friday Lunch", "UnoKenji"}},
    {"tika__testMSG_Contact.msg", {"Quick Brown Fox Jr", "Allison, Timothy B."}},
    {"tika__testMSG_StickyNote.msg", {"This is a note about the quick brown fox", ""}},
};

// The memo template of a message class, from the shipped list (a class finds the template of its
// longest registered prefix: IPM.Note.SMIME... is a mail).
fs::path memoTemplateFor(const std::string& messageClass) {
  std::ifstream list(kSourceRoot / "resources" / "templates" / "templates.tsv");
  std::string best, file;
  for (std::string line; std::getline(list, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string cls, name, path, folder;
    std::getline(fields, cls, '\t');
    std::getline(fields, name, '\t');
    std::getline(fields, path, '\t');
    std::getline(fields, folder, '\t');
    if (folder != "0") continue;
    const bool matches = messageClass == cls || messageClass.rfind(cls + ".", 0) == 0;
    if (matches && cls.size() > best.size()) best = cls, file = path;
  }
  return file.empty() ? fs::path() : kSourceRoot / "resources" / "templates" / file;
}

std::string collapsed(const std::u16string& text) {
  std::string out;
  bool space = false;
  for (char c : utf8(text)) {
    if (c == ' ' || c == '\r' || c == '\n' || c == '\t') space = !out.empty();
    else {
      if (space) out += ' ';
      space = false;
      out += c;
    }
  }
  return out;
}

MsgNamed namedLid(const GUID& set, LONG lid, MsgValue value) {
  MsgNamed n;
  n.guid = set;
  n.lid = lid;
  n.value = std::move(value);
  return n;
}

class QuillMarkTemplateStoreTest : public IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    NUtils::resetTempPathForTesting();
  }
  void TearDown() override {
    m_outlook.reset();
    CSettings::resetForTesting();
    NGlobals::resetForTesting();
  }

  fs::path store() const { return dir() / "store"; }
  // Links the samples into the store: contacts into Contacts, everything else into Inbox.
  void linkSamples() {
    fs::create_directories(store() / "Inbox");
    fs::create_directories(store() / "Contacts");
    for (const auto& entry : fs::directory_iterator(samplesDir())) {
      if (entry.path().extension() != ".msg") continue;
      const bool contact = entry.path().filename().string().find("ontact") != std::string::npos;
      fs::create_symlink(entry.path(), store() / (contact ? "Contacts" : "Inbox") / entry.path().filename());
    }
  }
  void write(const std::string& relative, const MsgDescription& d) {
    fs::create_directories((store() / relative).parent_path());
    ASSERT_TRUE(writeMsgFile(d, store() / relative));
  }
  void open() {
    m_outlook = platform::outlook::COutlook::open(store());
    ASSERT_TRUE(m_outlook);
    CSettings::instance().outlookApplication() = m_outlook->application();
  }
  CComPtr<IDispatch> item(const std::string& relative) { return m_outlook->item(store() / relative); }

  static CHtmlDocument load(const fs::path& file) {
    CHtmlDocument document;
    EXPECT_EQ(document.loadFromFile(file), S_OK) << file;
    return document;
  }
  static void fill(CPrintInfo& job, const CHtmlDocument& document) {
    CQuillMarkTemplate filler(job);
    filler.processTemplateDocument(document);
  }
  CHtmlDocument fillMemo(IDispatch* item, const fs::path& file) {
    CPrintInfo job(item);
    CHtmlDocument document = load(file);
    fill(job, document);
    return document;
  }

  // The elements whose settings text named the field, found before the fill.
  static std::vector<CHtmlElement> fieldsNamed(const CHtmlDocument& document, std::u16string_view name) {
    std::vector<CHtmlElement> out;
    const auto all = document.all();
    for (long i = 0; i < all.length(); ++i) {
      const std::u16string html = all.item(i).innerHTML();
      if (html.rfind(u"NAME=" + std::u16string(name), 0) == 0 &&
          (html.size() == name.size() + 5 || html[name.size() + 5] == u'|'))
        out.push_back(all.item(i));
    }
    return out;
  }
  static bool hidden(const CHtmlElement& element) { return element.styleProperty(u"display") == u"none"; }
  static bool rowHidden(CHtmlElement element) {
    for (; element; element = element.parentElement())
      if (hidden(element)) return true;
    return false;
  }

  std::unique_ptr<platform::outlook::COutlook> m_outlook;
};

// Every sample with the shipped template of its type and with the default page: the subject and
// the sender show, the decoration blocks are hidden, and no settings text is left on the page.
TEST_F(QuillMarkTemplateStoreTest, ShippedTemplatesFillEverySampleOfTheirType) {
  QM_REQUIRE_SHARED_DATA();
  linkSamples();
  open();
  const fs::path page = kSourceRoot / "resources" / "html" / "PAGEPRINT_2057.HTM";
  int filled = 0;
  for (const auto& folder : {"Inbox", "Contacts"}) {
    for (const auto& entry : fs::directory_iterator(store() / folder)) {
      const std::string name = entry.path().filename().string();
      CComPtr<IDispatch> sample = item(std::string(folder) + "/" + name);
      ASSERT_TRUE(sample) << name;
      const std::string messageClass = utf8(COutlookItem(sample).getMessageClass());
      for (const fs::path& file : {memoTemplateFor(messageClass), page}) {
        if (file.empty()) continue;
        SCOPED_TRACE(name + " in " + file.filename().string());
        ++filled;
        CHtmlDocument document = load(file);
        const auto subjects = fieldsNamed(document, u"Subject");
        const auto senders = fieldsNamed(document, u"FromFull");
        CPrintInfo job(sample);
        fill(job, document);

        EXPECT_EQ(utf8(document.body().innerHTML()).find("NAME="), std::string::npos);
        for (const char16_t* id : {u"QMHeader", u"QMFooter"}) {
          const auto blocks = document.all().item(id);
          for (long i = 0; i < blocks.length(); ++i) EXPECT_TRUE(hidden(blocks.item(i)));
        }
        const auto expected = kExpected.find(name);
        if (expected == kExpected.end()) continue;
        ASSERT_FALSE(subjects.empty());
        for (const auto& subject : subjects) EXPECT_EQ(collapsed(subject.innerText()), expected->second.subject);
        for (const auto& sender : senders) {
          if (expected->second.sender.empty()) EXPECT_TRUE(rowHidden(sender));
          else EXPECT_NE(collapsed(sender.innerText()).find(expected->second.sender), std::string::npos)
              << collapsed(sender.innerText());
        }
      }
    }
  }
  EXPECT_GT(filled, 40);
}

// The item types without a real sample, from fixtures: each template shows the subject and leaves
// no settings text; the journal entry lists its linked contact.
TEST_F(QuillMarkTemplateStoreTest, TemplatesOfTheOtherItemTypesFillFromFixtures) {
  QM_REQUIRE_SHARED_DATA();
  linkSamples();
  const std::vector<std::pair<std::string, std::string>> fixtures = {
      {"IPM.DistList", "Team list"},
      {"IPM.Activity", "Phone call"},
      {"IPM.Schedule.Meeting.Request", "Planning"},
      {"IPM.TaskRequest", "Please review"},
  };
  for (const auto& [cls, subject] : fixtures) {
    MsgDescription d;
    d.messageClass = cls;
    d.props = {unicodeProp(PR_SUBJECT_W, quilstring::fromUtf8(subject)), unicodeProp(PR_SENDER_NAME_W, u"Ann Lee"),
               unicodeProp(PR_SENDER_EMAIL_ADDRESS_W, u"ann@example.com"), unicodeProp(PR_SENDER_ADDRTYPE_W, u"SMTP")};
    if (cls == "IPM.Activity")
      d.named = {namedLid(PSETID_Common, 0x853A, mvUnicodeProp(namedTag(0, PT_MV_UNICODE), {u"Quick Brown Fox Jr"}))};
    if (cls == "IPM.TaskRequest")  // Saturday, 13 June 2026, 09:00
      d.named = {namedLid(PSETID_Task, 0x8104, timeProp(namedTag(0, PT_SYSTIME), fileTimeFromUnix(1781341200)))};
    write("Inbox/" + subject + ".msg", d);
  }
  open();
  for (const auto& [cls, subject] : fixtures) {
    SCOPED_TRACE(cls);
    CHtmlDocument document = load(memoTemplateFor(cls));
    const auto subjects = fieldsNamed(document, u"Subject");
    const auto starts = fieldsNamed(document, u"StartDate");
    CPrintInfo job(item("Inbox/" + subject + ".msg"));
    fill(job, document);
    EXPECT_EQ(utf8(document.body().innerHTML()).find("NAME="), std::string::npos);
    ASSERT_FALSE(subjects.empty());
    for (const auto& element : subjects) EXPECT_EQ(collapsed(element.innerText()), subject);
    if (cls == "IPM.Activity") {
      const auto rows = document.all().item(u"QMObject");
      ASSERT_EQ(rows.length(), 1);
      EXPECT_NE(collapsed(rows.item(0).innerText()).find("Quick Brown Fox"), std::string::npos);
    }
    if (cls == "IPM.TaskRequest") {
      // The template's time flags with no time picture: the date alone.
      ASSERT_EQ(starts.size(), 1u);
      EXPECT_EQ(collapsed(starts.front().innerText()), "Saturday, 13 June 2026");
    }
  }
}

// Twenty mails selected in an explorer, in the selection's order (not the folder's): twenty rows
// with separators between them, each showing its own mail.
TEST_F(QuillMarkTemplateStoreTest, TableStyleListOfTwentySamplesInSelectionOrder) {
  QM_REQUIRE_SHARED_DATA();
  linkSamples();
  open();
  CComPtr<IDispatch> inbox = m_outlook->folder(u"Inbox");
  CComVariant itemsValue;
  ASSERT_EQ(CComDispatchDriver(inbox).GetPropertyByName(u"Items", itemsValue.Receive()), S_OK);
  CComPtr<IDispatch> items = itemsValue.pdispVal;

  std::vector<CComPtr<IDispatch>> chosen;
  std::vector<std::string> subjects;
  for (const auto& entry : fs::directory_iterator(store() / "Inbox")) {
    CComPtr<IDispatch> mail = item("Inbox/" + entry.path().filename().string());
    if (COutlookItem(mail).getMessageClass().rfind(u"IPM.Note", 0) != 0) continue;
    chosen.push_back(mail);
  }
  ASSERT_GE(chosen.size(), 20u);
  chosen.resize(20);
  std::reverse(chosen.begin(), chosen.end());
  std::vector<IDispatch*> selection;
  for (const auto& mail : chosen) {
    selection.push_back(mail);
    quilstring subject;
    COutlookItem(mail).getString(0x37, subject);
    subjects.push_back(collapsed(subject));
  }
  CComPtr<IDispatch> explorer = m_outlook->openExplorer(inbox, selection);
  CComVariant selectionValue;
  ASSERT_EQ(CComDispatchDriver(explorer).GetPropertyByName(u"Selection", selectionValue.Receive()), S_OK);

  CPrintInfo job(kFolderJob, inbox);
  job.setSelection(selectionValue.pdispVal);
  job.setItems(items);
  CHtmlDocument document = load(kSourceRoot / "resources" / "templates" / "MailList.htm");
  fill(job, document);

  const auto rows = document.all().item(u"QMObject");
  ASSERT_EQ(rows.length(), 20);
  for (long i = 0; i < rows.length(); ++i) {
    SCOPED_TRACE(i);
    const auto separators = rows.item(i).all().tags(u"div");
    EXPECT_EQ(separators.length() > 0 && separators.item(0).getAttribute(u"class") == u"separator", i > 0);
    const auto fields = rows.item(i).all().item(u"QMMessProp");
    ASSERT_EQ(fields.length(), 5);
    EXPECT_EQ(collapsed(fields.item(2).innerText()), subjects[static_cast<std::size_t>(i)]);
  }
  EXPECT_EQ(utf8(document.body().innerHTML()).find("NAME="), std::string::npos);
  EXPECT_EQ(collapsed(document.all().item(u"QMFolderProp").item(0).innerText()), "Inbox");

  // Without a selection every item of the folder is a row.
  CPrintInfo all(kFolderJob, inbox);
  all.setItems(items);
  CHtmlDocument whole = load(kSourceRoot / "resources" / "templates" / "MailList.htm");
  fill(all, whole);
  LONG count = 0;
  CComVariant countValue;
  ASSERT_EQ(CComDispatchDriver(items).GetPropertyByName(u"Count", countValue.Receive()), S_OK);
  count = countValue.lVal;
  EXPECT_EQ(whole.all().item(u"QMObject").length(), count);
}

// The sender's contact sits in a sub-folder of Contacts and has the sender's address as its second
// address; the address holds an apostrophe, which an unquoted filter cannot search for.
TEST_F(QuillMarkTemplateStoreTest, SendersContactIsFoundInANestedContactsFolder) {
  MsgDescription contact;
  contact.messageClass = "IPM.Contact";
  contact.props = {unicodeProp(PR_SUBJECT_W, u"Pat O'Brien"), unicodeProp(PR_DISPLAY_NAME_W, u"Pat O'Brien")};
  contact.named = {namedLid(PSETID_Address, 0x8093, unicodeProp(namedTag(0, PT_UNICODE), u"O'Brien@Example.com"))};
  write("Contacts/Colleagues/Pat.msg", contact);
  MsgDescription other = contact;
  other.props = {unicodeProp(PR_SUBJECT_W, u"Someone"), unicodeProp(PR_DISPLAY_NAME_W, u"Someone")};
  other.named = {namedLid(PSETID_Address, 0x8083, unicodeProp(namedTag(0, PT_UNICODE), u"someone@example.com"))};
  write("Contacts/Someone.msg", other);

  auto mail = [](std::u16string address) {
    MsgDescription d;
    d.messageClass = "IPM.Note";
    d.props = {unicodeProp(PR_SUBJECT_W, u"Hello"), unicodeProp(PR_SENDER_NAME_W, u"Pat"),
               unicodeProp(PR_SENDER_EMAIL_ADDRESS_W, address), unicodeProp(PR_SENDER_ADDRTYPE_W, u"SMTP")};
    return d;
  };
  write("Inbox/known.msg", mail(u"o'brien@example.com"));
  write("Inbox/unknown.msg", mail(u"nobody@example.com"));
  open();

  const fs::path mailTemplate = kSourceRoot / "resources" / "templates" / "Mail.htm";
  CHtmlDocument known = load(mailTemplate);
  const auto names = fieldsNamed(known, u"FullName");
  ASSERT_EQ(names.size(), 1u);
  CPrintInfo knownJob(item("Inbox/known.msg"));
  fill(knownJob, known);
  EXPECT_EQ(collapsed(names[0].innerText()), "Pat O'Brien");
  EXPECT_FALSE(rowHidden(names[0]));

  CHtmlDocument unknown = load(mailTemplate);
  const auto unknownNames = fieldsNamed(unknown, u"FullName");
  CPrintInfo unknownJob(item("Inbox/unknown.msg"));
  fill(unknownJob, unknown);
  EXPECT_EQ(collapsed(unknownNames[0].innerText()), "");
  EXPECT_TRUE(rowHidden(unknownNames[0]));  // HIDE_TABLE_IF_EMPTY
  EXPECT_EQ(utf8(unknown.body().innerHTML()).find("NAME="), std::string::npos);
}

}  // namespace
