// The template filler over small templates, with fake items and a fake formatter that shows the
// item's property named by NAME (Throw... raises, Unknown has no formatter).
#include "engine/QuillMarkTemplate.h"

#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include <sstream>
#include <stdexcept>

#include "engine/FieldText.h"
#include "foundation/Log.h"
#include "platform/com/ComError.h"
#include "platform/com/DispatchDriver.h"
#include "tests/engine/FakeOutlook.h"
#include "tests/support/TestEnvironment.h"

namespace {

using namespace enginetest;
using platform::html::CHtmlDocument;
using platform::html::CHtmlElement;

const std::vector<quilstring> kLevelNames = {u"Info", u"Error", u"Warning", u"Debug"};

std::string utf8(const std::u16string& text) { return quilstring(text).toUtf8(); }

FakePtr mailItem(std::u16string_view subject, std::u16string_view cc = u"") {
  FakePtr item = makeFake();
  item->text(0x37, u"Subject", subject).text(0xE03, u"CC", cc).text(0x1A, u"MessageClass", u"IPM.Note");
  return item;
}

// An item whose Links name the given contacts (null: a link without its contact).
FakePtr itemWithLinks(std::u16string_view subject, const std::vector<CComPtr<IDispatch>>& contacts) {
  std::vector<CComPtr<IDispatch>> links;
  for (const auto& contact : contacts) {
    FakePtr link = makeFake();
    link->object(0x2102, u"Item", contact);
    links.emplace_back(link.p);
  }
  FakePtr collection = makeFake();
  collection->collection(links);
  FakePtr item = mailItem(subject);
  item->object(0xF405, u"Links", collection.p);
  return item;
}

CComPtr<IDispatch> contactItem(std::u16string_view name) {
  FakePtr contact = makeFake();
  contact->text(0x3001, u"FullName", name);
  return CComPtr<IDispatch>(contact.p);
}

class QuillMarkTemplateTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    CLogger::instance().resetForTesting();
    m_logPath = dir() / "log.txt";
    ASSERT_TRUE(CLogger::instance().redirectTo(quilstring::fromUtf8(m_logPath.string())));
    NLog::setLevels(kLevelNames, u"debug");
    m_job = std::make_unique<CPrintInfo>(nullptr);
  }
  void TearDown() override {
    CQuillMarkTemplate::setSelectionPrint(false);
    CLogger::instance().resetForTesting();
  }

  TemplateServices services() {
    TemplateServices s;
    s.formatElement = [this](CElementSettings& settings, CMessage& message,
                             const CHtmlElement& element) -> std::optional<bool> {
      m_calls.push_back("format " + utf8(settings.name()));
      m_formatStrings.push_back(utf8(settings.formatString()));
      if (settings.name() == u"Throw") throw _com_error(E_FAIL, u"broken");
      if (settings.name() == u"ThrowStd") throw std::runtime_error("broken");
      if (settings.name() == u"Unknown") return std::nullopt;
      quilstring value;
      CComVariant v;
      if (IDispatch* item = message.getItem().getDispatch())
        if (SUCCEEDED(CComDispatchDriver(item).GetPropertyByName(settings.name().c_str(), v.Receive())) &&
            v.vt == VT_BSTR && v.bstrVal)
          value = quilstring(v.bstrVal);
      CHtmlElement target = element;
      target.setInnerHTML(NFieldText::escapeHTML(value));
      return !value.empty();
    };
    s.prepareBody = [this](CMessage&, const PrintOptions*) { m_calls.push_back("prepareBody"); };
    s.applyBodyStyles = [this](CMessage&, CHtmlDocument&) { m_calls.push_back("applyBodyStyles"); };
    return s;
  }

  CHtmlDocument fill(const std::u16string& body) {
    CHtmlDocument document;
    EXPECT_EQ(document.loadFromString(u"<html><body>" + body + u"</body></html>"), S_OK);
    CQuillMarkTemplate filler(*m_job, services());
    filler.processTemplateDocument(document);
    return document;
  }
  void memo(IDispatch* item) { m_job = std::make_unique<CPrintInfo>(item); }
  void table(IDispatch* folder = nullptr, IDispatch* selection = nullptr, IDispatch* items = nullptr) {
    m_job = std::make_unique<CPrintInfo>(kFolderJob, folder);
    m_job->setSelection(selection);
    m_job->setItems(items);
  }

  static std::vector<CHtmlElement> byId(const CHtmlDocument& document, std::u16string_view id) {
    std::vector<CHtmlElement> out;
    const auto found = document.all().item(id);
    for (long i = 0; i < found.length(); ++i) out.push_back(found.item(i));
    return out;
  }
  static std::string html(const CHtmlElement& element) { return utf8(element.innerHTML()); }
  static bool hidden(const CHtmlElement& element) { return element.styleProperty(u"display") == u"none"; }

  std::vector<std::string> logLines() const {
    std::vector<std::string> out;
    std::istringstream in(testsupport::readFile(m_logPath));
    for (std::string line; std::getline(in, line);) {
      line = line.substr(9, line.rfind(" (") - 9);
      const std::size_t levelEnd = line.find(' ');
      out.push_back(line.substr(0, levelEnd) + " " + line.substr(line.find_first_not_of(' ', levelEnd)));
    }
    return out;
  }
  bool logged(const std::string& line) const {
    const auto lines = logLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  std::unique_ptr<CPrintInfo> m_job;
  std::vector<std::string> m_calls;
  std::vector<std::string> m_formatStrings;
  std::filesystem::path m_logPath;
};

TEST_F(QuillMarkTemplateTest, MemoFieldsFillHideTheirAncestorsOrKeepTheirText) {
  struct Case {
    const char* name;
    std::u16string body;
    std::string shown;      // inner HTML of the first QMMessProp afterwards
    bool rowHidden;         // the first TR
    bool tableHidden;       // the first TABLE
  };
  const std::vector<Case> cases = {
      {"subject", u"<table><tr><td id=QMMessProp>NAME=Subject|HIDE_ROW_IF_EMPTY</td></tr></table>", "Hello", false, false},
      {"empty hides its row", u"<table><tr><td id=QMMessProp>NAME=CC|HIDE_ROW_IF_EMPTY</td></tr></table>", "", true, false},
      {"empty hides its table", u"<table><tr><td id=QMMessProp>NAME=CC|HIDE_TABLE_IF_EMPTY</td></tr></table>", "", false,
       true},
      {"empty without hiding", u"<table><tr><td id=QMMessProp>NAME=CC</td></tr></table>", "", false, false},
      {"no formatter keeps its text", u"<table><tr><td id=QMMessProp>NAME=Unknown|HIDE_ROW_IF_EMPTY</td></tr></table>",
       "NAME=Unknown|HIDE_ROW_IF_EMPTY", true, false},
      {"no TR above hides nothing", u"<div id=QMMessProp>NAME=CC|HIDE_ROW_IF_EMPTY</div><table><tr><td></td></tr></table>",
       "", false, false},
      {"empty element left alone", u"<table><tr><td id=QMMessProp></td></tr></table>", "", false, false},
      {"ids ignore case", u"<table><tr><td id=qmmessprop>NAME=Subject</td></tr></table>", "Hello", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    memo(mailItem(u"Hello"));
    const CHtmlDocument document = fill(c.body);
    const auto fields = byId(document, u"QMMessProp");
    ASSERT_FALSE(fields.empty());
    EXPECT_EQ(html(fields[0]), c.shown);
    EXPECT_EQ(hidden(document.all().tags(u"tr").item(0)), c.rowHidden);
    EXPECT_EQ(hidden(document.all().tags(u"table").item(0)), c.tableHidden);
  }
  EXPECT_TRUE(logged("Warning Could not find property processor for \"NAME=Unknown|HIDE_ROW_IF_EMPTY\""));
  EXPECT_TRUE(logged("Debug Hiding element with tag name TR"));
}

TEST_F(QuillMarkTemplateTest, EveryImageTokenReachesTheSettingsAsASourceAttribute) {
  memo(mailItem(u"Hello"));
  fill(u"<span id=QMMessProp>NAME=ContactPicture|FORMAT_STRING=<a SRC_PERCENT_S>SRC_PERCENT_S</a></span>");
  ASSERT_EQ(m_formatStrings.size(), 1u);
  EXPECT_EQ(m_formatStrings[0], "<a src=\"%s\">src=\"%s\"</a>");
}

TEST_F(QuillMarkTemplateTest, DecorationBlocksAndSeparatorsAreHiddenInEitherStyle) {
  const std::u16string body =
      u"<div id=QMHeader>h</div><div id=QMFooter>f</div><div id=QMFooter>f2</div><div id=QMCoverHeader>c</div>"
      u"<div id=QMCoverFooter>c</div><div id=QMTrailerHeader>t</div><div id=QMTrailerFooter>t</div>"
      u"<div id=QMContactListSeparator>-</div><div id=QMFolderListSeparator>-</div><div id=plain>p</div>";
  for (bool single : {true, false}) {
    SCOPED_TRACE(single);
    if (single) memo(mailItem(u"Hello"));
    else table();
    const CHtmlDocument document = fill(body);
    const auto all = document.body().all();
    for (long i = 0; i < all.length(); ++i)
      EXPECT_EQ(hidden(all.item(i)), all.item(i).getAttribute(u"id") != u"plain") << utf8(all.item(i).getAttribute(u"id"));
  }
}

// A failing element is cleared and its row hidden; the fill goes on with the next element and the
// later steps. (Letting the error end the pass would leave "NAME=Subject" on the page.)
TEST_F(QuillMarkTemplateTest, FailingElementIsClearedAndTheFillGoesOn) {
  for (const char16_t* failing : {u"Throw", u"ThrowStd"}) {
    SCOPED_TRACE(utf8(failing));
    memo(mailItem(u"Hello"));
    const CHtmlDocument document =
        fill(u"<table><tr><td id=QMMessProp>NAME=" + std::u16string(failing) +
             u"|HIDE_ROW_IF_EMPTY</td></tr><tr><td id=QMMessProp>NAME=Subject</td></tr></table>"
             u"<span id=QMMiscProp>NAME=Subject</span>");
    const auto fields = byId(document, u"QMMessProp");
    EXPECT_EQ(html(fields[0]), "");
    EXPECT_TRUE(hidden(document.all().tags(u"tr").item(0)));
    EXPECT_EQ(html(fields[1]), "Hello");
    EXPECT_EQ(html(byId(document, u"QMMiscProp")[0]), "Hello");
    EXPECT_EQ(utf8(document.documentHTML()).find("NAME="), std::string::npos);
  }
  EXPECT_TRUE(logged("Error Couldn't access QMMessProp element: broken"));
  EXPECT_TRUE(logged("Error Couldn't access QMMessProp element"));
}

// A failing element that refuses to be cleared (a table row) is hidden instead.
TEST_F(QuillMarkTemplateTest, FailingElementThatCannotBeClearedIsHidden) {
  memo(mailItem(u"Hello"));
  const CHtmlDocument document = fill(u"<table><tr id=QMMessProp><td>|NAME=Throw|</td></tr></table>");
  EXPECT_TRUE(hidden(byId(document, u"QMMessProp")[0]));
}

TEST_F(QuillMarkTemplateTest, MemoStepsRunInOrder) {
  memo(mailItem(u"Hello"));
  fill(u"<span id=QMMiscProp>NAME=Misc</span><span id=QMFromProp>NAME=From</span>"
       u"<div id=QMContactList><div id=QMContactListItem><span id=QMContactProp>NAME=Contact</span></div></div>"
       u"<span id=QMMessProp>NAME=Mess</span>");
  // No links: the contact list is hidden, not filled.
  EXPECT_EQ(m_calls, (std::vector<std::string>{"prepareBody", "format Mess", "format From", "applyBodyStyles",
                                               "format Misc"}));
}

// A body that cannot be prepared, or whose styles the template refuses, does not stop the fill.
TEST_F(QuillMarkTemplateTest, BodyStepsThatFailDoNotStopTheFill) {
  for (int failing : {0, 1}) {
    SCOPED_TRACE(failing);
    memo(mailItem(u"Hello"));
    TemplateServices s = services();
    if (failing == 0) s.prepareBody = [](CMessage&, const PrintOptions*) { _com_issue_error(E_POINTER); };
    else s.applyBodyStyles = [](CMessage&, CHtmlDocument&) { _com_issue_error(E_INVALIDARG); };
    CHtmlDocument document;
    ASSERT_EQ(document.loadFromString(u"<span id=QMMessProp>NAME=Subject</span><span id=QMMiscProp>NAME=Subject</span>"),
              S_OK);
    CQuillMarkTemplate(*m_job, s).processTemplateDocument(document);
    EXPECT_EQ(html(byId(document, u"QMMessProp")[0]), "Hello");
    EXPECT_EQ(html(byId(document, u"QMMiscProp")[0]), "Hello");
  }
  EXPECT_TRUE(logged("Error Exception caught in CQuillMarkTemplateImpl::setHTMLFromBody: ???"));
  EXPECT_TRUE(logged("Error Exception caught in CQuillMarkTemplateImpl::applyHTMLBodyStyles: ???"));
}

TEST_F(QuillMarkTemplateTest, SelectionPrintKeepsTheBodyDocument) {
  memo(mailItem(u"Hello"));
  CQuillMarkTemplate::setSelectionPrint(true);
  fill(u"<span id=QMMessProp>NAME=Subject</span>");
  EXPECT_EQ(std::count(m_calls.begin(), m_calls.end(), "prepareBody"), 0);
}

// A table-style job has no item: its QMMiscProp pass does nothing (it had no source to read).
TEST_F(QuillMarkTemplateTest, MiscFieldsOfATableStyleJobAreLeftAlone) {
  table();
  const CHtmlDocument document = fill(u"<span id=QMMiscProp>NAME=Subject</span>");
  EXPECT_EQ(html(byId(document, u"QMMiscProp")[0]), "NAME=Subject");
  EXPECT_EQ(std::count(m_calls.begin(), m_calls.end(), "format Subject"), 0);
}

const std::u16string kFolderList =
    u"<div id=QMFolderList><div id=QMFolderListItem><p><span id=QMMessProp>NAME=Subject</span></p></div></div>"
    u"<div id=QMFolderListSeparator><hr></div><span id=QMFolderProp>NAME=Name</span>";

TEST_F(QuillMarkTemplateTest, TableRowsAreBuiltWithSeparatorsAndFilledFromTheirItems) {
  FakePtr selection = makeFake();
  selection->collection({mailItem(u"One").p, mailItem(u"Two").p, mailItem(u"Three").p});
  FakePtr folder = makeFake();
  folder->text(0x3001, u"Name", u"Inbox");
  table(folder.p, selection.p);
  const CHtmlDocument document = fill(kFolderList);

  const CHtmlElement list = byId(document, u"QMFolderList")[0];
  EXPECT_EQ(html(list),
            "<span id=\"QMObject\"><p><span id=\"QMMessProp\">One</span></p></span>"
            "<span id=\"QMObject\"><hr><p><span id=\"QMMessProp\">Two</span></p></span>"
            "<span id=\"QMObject\"><hr><p><span id=\"QMMessProp\">Three</span></p></span>"
            "<div id=\"QMFolderListItem\"></div>");
  EXPECT_EQ(html(byId(document, u"QMFolderProp")[0]), "Inbox");
  EXPECT_EQ(m_job->getSources().size(), 4u);  // three rows and the folder
}

// Rows are filled by reference: a QMObject inside the row template does not stop the fill (as a
// count of QMObject elements against the sources would).
TEST_F(QuillMarkTemplateTest, RowTemplateHoldingAQMObjectStillFillsEveryRow) {
  FakePtr items = makeFake();
  items->collection({mailItem(u"One").p, mailItem(u"Two").p});
  table(nullptr, nullptr, items.p);
  const CHtmlDocument document =
      fill(u"<div id=QMFolderList><div id=QMFolderListItem><b id=QMObject>x</b>"
           u"<span id=QMMessProp>NAME=Subject</span></div></div>");
  const auto fields = byId(document, u"QMMessProp");
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(html(fields[0]), "One");
  EXPECT_EQ(html(fields[1]), "Two");

  // Row markup that closes the row's SPAN early still has its fields filled.
  const CHtmlDocument closing =
      fill(u"<div id=QMFolderList><div id=QMFolderListItem></span><i id=QMMessProp>NAME=Subject</i>"
           u"<i><b id=QMMessProp>NAME=Subject</b></i></div></div>");
  EXPECT_EQ(utf8(closing.documentHTML()).find("NAME="), std::string::npos);
}

// A job without items hides its list and separator instead of printing the row template as written.
TEST_F(QuillMarkTemplateTest, TableStyleJobWithoutItemsHidesTheList) {
  FakePtr folder = makeFake();
  folder->text(0x3001, u"Name", u"Inbox");
  FakePtr empty = makeFake();
  empty->collection({});
  for (IDispatch* items : {static_cast<IDispatch*>(nullptr), static_cast<IDispatch*>(empty.p)}) {
    table(folder.p, nullptr, items);
    const CHtmlDocument document = fill(kFolderList);
    EXPECT_TRUE(hidden(byId(document, u"QMFolderList")[0]));
    EXPECT_TRUE(hidden(byId(document, u"QMFolderListSeparator")[0]));
    EXPECT_EQ(html(byId(document, u"QMFolderProp")[0]), "Inbox");
  }
}

TEST_F(QuillMarkTemplateTest, ListWithoutRowTemplateIsLeftAsWritten) {
  FakePtr items = makeFake();
  items->collection({mailItem(u"One").p});
  table(nullptr, nullptr, items.p);
  const CHtmlDocument document = fill(u"<div id=QMFolderList>as written</div>");
  EXPECT_EQ(html(byId(document, u"QMFolderList")[0]), "as written");
  EXPECT_TRUE(logged("Error Couldn't access document's QMContactListItem within the template's QMContactList"));
}

const std::u16string kContactList =
    u"<div id=QMContactList><div id=QMContactListItem><span id=QMContactProp>NAME=FullName</span></div></div>"
    u"<div id=QMContactListSeparator>, </div>";

TEST_F(QuillMarkTemplateTest, ContactListShowsEveryLinkAndAMissingContactAsEmpty) {
  memo(itemWithLinks(u"Hello", {contactItem(u"Ann"), nullptr, contactItem(u"Bob")}));
  const CHtmlDocument document = fill(kContactList + u"<div id=QMContactList>second</div>");
  const auto lists = byId(document, u"QMContactList");
  EXPECT_EQ(html(lists[0]),
            "<span id=\"QMObject\"><span id=\"QMContactProp\">Ann</span></span>"
            "<span id=\"QMObject\">, <span id=\"QMContactProp\"></span></span>"
            "<span id=\"QMObject\">, <span id=\"QMContactProp\">Bob</span></span>"
            "<div id=\"QMContactListItem\"></div>");
  EXPECT_EQ(html(lists[1]), "second");
  EXPECT_FALSE(hidden(lists[0]));
}

// A row without its contact shows nothing, even in fields whose kind cannot resolve without an item.
TEST_F(QuillMarkTemplateTest, RowWithoutItsContactShowsNothing) {
  memo(itemWithLinks(u"Hello", {contactItem(u"Ann"), nullptr}));
  const CHtmlDocument document =
      fill(u"<div id=QMContactList><div id=QMContactListItem><span id=QMContactProp>NAME=Unknown</span></div></div>");
  const auto fields = byId(document, u"QMContactProp");
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(html(fields[0]), "NAME=Unknown");
  EXPECT_EQ(html(fields[1]), "");
}

TEST_F(QuillMarkTemplateTest, ItemWithoutLinksHidesEveryContactList) {
  memo(mailItem(u"Hello"));
  const CHtmlDocument document = fill(kContactList + u"<div id=QMContactList>second</div>");
  for (const CHtmlElement& list : byId(document, u"QMContactList")) EXPECT_TRUE(hidden(list));
  EXPECT_TRUE(hidden(byId(document, u"QMContactListSeparator")[0]));
}

TEST_F(QuillMarkTemplateTest, EachTableRowGetsItsOwnContactList) {
  FakePtr items = makeFake();
  items->collection({itemWithLinks(u"One", {contactItem(u"Ann")}).p,
                     itemWithLinks(u"Two", {contactItem(u"Bob"), contactItem(u"Cy")}).p});
  table(nullptr, nullptr, items.p);
  const CHtmlDocument document =
      fill(u"<div id=QMFolderList><div id=QMFolderListItem><span id=QMMessProp>NAME=Subject</span>" + kContactList +
           u"</div></div><div id=QMContactList>outside</div>");
  const auto contacts = byId(document, u"QMContactProp");
  std::vector<std::string> names;
  for (const auto& c : contacts) names.push_back(html(c));
  EXPECT_EQ(names, (std::vector<std::string>{"Ann", "Bob", "Cy"}));
  const auto lists = byId(document, u"QMContactList");
  EXPECT_EQ(html(lists.back()), "outside");
}

TEST_F(QuillMarkTemplateTest, ContactFilterQuotesTheAddress) {
  struct Case {
    std::u16string address;
    std::u16string filter;
  };
  const std::vector<Case> cases = {
      {u"ann@example.com",
       u"[Email1Address] = 'ann@example.com' Or [Email2Address] = 'ann@example.com' Or [Email3Address] = 'ann@example.com'"},
      {u"o'brien@example.com", u"[Email1Address] = 'o''brien@example.com' Or [Email2Address] = 'o''brien@example.com' "
                               u"Or [Email3Address] = 'o''brien@example.com'"},
  };
  for (const Case& c : cases) EXPECT_EQ(utf8(CQuillMarkTemplateImpl::contactFilter(c.address)), utf8(c.filter));
}

TEST_F(QuillMarkTemplateTest, SenderWithoutAddressFillsFromPropsFromNothing) {
  memo(mailItem(u"Hello"));
  const CHtmlDocument document =
      fill(u"<table><tr><td id=QMFromProp>NAME=FullName|HIDE_ROW_IF_EMPTY</td></tr></table>");
  EXPECT_EQ(html(byId(document, u"QMFromProp")[0]), "");
  EXPECT_TRUE(hidden(document.all().tags(u"tr").item(0)));
  EXPECT_TRUE(logged("Debug Cannot find Sender Email Address"));
  EXPECT_TRUE(logged("Debug << CQuillMarkTemplateImpl::handleFromProps"));
}

}  // namespace
