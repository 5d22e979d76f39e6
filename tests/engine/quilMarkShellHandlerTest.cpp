// The print template's scripting object: page settings per template and locale, the current
// job's range and item, template names that stay one key, and the bounded rule search.
#include "engine/quilMarkShellHandler.h"

#include <map>
#include <sys/stat.h>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>
#include <boost/weak_ptr.hpp>
#include <gtest/gtest.h>

#include "engine/CurrentPrintJob.h"
#include "engine/Message.h"
#include "foundation/AddinGlobals.h"
#include "foundation/Log.h"
#include "foundation/Settings.h"
#include "platform/browser/PrintLayout.h"
#include "platform/registry/RegKey.h"
#include "tests/engine/MessageFixtures.h"
#include "tests/support/FakePrintEngine.h"
#include "tests/support/TestEnvironment.h"

namespace {

using platform::com::CDispArgs;
using Handler = CComObject<CquilMarkShellHandler>;

const quilstring kRoot = quilstring(kProductKey) + u"\\Template Settings";

CComPtr<Handler> makeHandler() { return Handler::Make(); }

HRESULT putName(Handler* handler, const quilstring& name) {
  CComBSTR text(name.c_str());
  return handler->put_templateName(text);
}

std::u16string getText(Handler* handler, HRESULT (Handler::*get)(BSTR*)) {
  BSTR value = nullptr;
  EXPECT_EQ(S_OK, (handler->*get)(&value));
  std::u16string out(value ? value : u"", value ? SysStringLen(value) : 0);
  SysFreeString(value);
  return out;
}

LONG getLong(Handler* handler, HRESULT (Handler::*get)(LONG*)) {
  LONG value = -999;
  EXPECT_EQ(S_OK, (handler->*get)(&value));
  return value;
}

bool keyExists(const quilstring& path) {
  CRegKey key;
  return key.Open(HKEY_CURRENT_USER, path.c_str(), KEY_READ) == ERROR_SUCCESS;
}

// The values of a key: DWORDs as numbers, strings as text.
std::map<std::u16string, std::u16string> values(const quilstring& path) {
  std::map<std::u16string, std::u16string> out;
  CRegKey key;
  if (key.Open(HKEY_CURRENT_USER, path.c_str(), KEY_READ) != ERROR_SUCCESS) return out;
  for (DWORD i = 0;; ++i) {
    char16_t name[256];
    DWORD chars = 256, type = 0;
    BYTE data[2048];
    DWORD bytes = sizeof data;
    if (RegEnumValueW(key, i, name, &chars, nullptr, &type, data, &bytes) != ERROR_SUCCESS) break;
    if (type == REG_DWORD) {
      const std::string n = std::to_string(static_cast<LONG>(*reinterpret_cast<DWORD*>(data)));
      out[std::u16string(name, chars)] = std::u16string(n.begin(), n.end());
    } else {
      out[std::u16string(name, chars)] = std::u16string(reinterpret_cast<char16_t*>(data));
    }
  }
  return out;
}

class ShellHandlerTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    NGlobals::resetForTesting();
    CSettings::resetForTesting();
    CLogger::instance().resetForTesting();
    NCurrentJob::setItemActions({});
  }
  void TearDown() override {
    NLog::switchOff();
    CLogger::instance().resetForTesting();
    CSettings::resetForTesting();
    NGlobals::resetForTesting();
    NCurrentJob::setItemActions({});
  }

  static void store(const quilstring& path, const char16_t* name, DWORD value) {
    CRegKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, path.c_str()));
    key.SetDWORDValue(name, value);
  }
  static void store(const quilstring& path, const char16_t* name, const char16_t* value) {
    CRegKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, path.c_str()));
    key.SetStringValue(name, value);
  }
};

TEST_F(ShellHandlerTest, ATemplateWithoutSettingsGetsTheDefaultsAndSavesThemOnClose) {
  {
    auto handler = makeHandler();
    ASSERT_EQ(S_OK, putName(handler, u"Memo"));
    for (auto get : {&Handler::get_marginTop, &Handler::get_marginBottom, &Handler::get_marginLeft,
                     &Handler::get_marginRight})
      EXPECT_EQ(60, getLong(handler, get));
    EXPECT_EQ(u"portrait", getText(handler, &Handler::get_orientation));
    EXPECT_EQ(u"", getText(handler, &Handler::get_header));
    EXPECT_EQ(0, getLong(handler, &Handler::get_printselection));
    EXPECT_EQ(1, getLong(handler, &Handler::get_pagefrom));
    EXPECT_EQ(1, getLong(handler, &Handler::get_pageto));
  }
  const std::map<std::u16string, std::u16string> want = {
      {u"marginTop", u"60"}, {u"marginBottom", u"60"}, {u"marginLeft", u"60"}, {u"marginRight", u"60"},
      {u"header", u""},      {u"footer", u""},         {u"orientation", u"portrait"}};
  EXPECT_EQ(want, values(kRoot + u"\\Memo\\1033"));
}

TEST_F(ShellHandlerTest, SettingsFallBackTo1033OnReadAndAreSavedUnderTheProcessLocale) {
  const quilstring fallback = kRoot + u"\\Memo\\1033";
  store(fallback, u"marginTop", 100);
  store(fallback, u"header", u"&w&bPage &p");
  store(fallback, u"marginLeft", u"75");  // not a DWORD: skipped, the rest still loads
  store(fallback, u"pageto", 4);
  NGlobals::setThreadLocale(1031);
  {
    auto handler = makeHandler();
    ASSERT_EQ(S_OK, putName(handler, u"Memo"));
    EXPECT_EQ(100, getLong(handler, &Handler::get_marginTop));
    EXPECT_EQ(60, getLong(handler, &Handler::get_marginLeft));
    EXPECT_EQ(u"&w&bPage &p", getText(handler, &Handler::get_header));
    EXPECT_EQ(4, getLong(handler, &Handler::get_pageto));
    ASSERT_EQ(S_OK, handler->put_marginTop(120));
    CComBSTR landscape(u"landscape");
    ASSERT_EQ(S_OK, handler->put_orientation(landscape));
  }
  const auto saved = values(kRoot + u"\\Memo\\1031");
  EXPECT_EQ(u"120", saved.at(u"marginTop"));
  EXPECT_EQ(u"landscape", saved.at(u"orientation"));
  EXPECT_EQ(u"&w&bPage &p", saved.at(u"header"));
  EXPECT_EQ(0u, saved.count(u"pageto")) << "the range is never written";
  EXPECT_EQ(u"100", values(fallback).at(u"marginTop"));

  // The next print in this locale reads its own key.
  auto again = makeHandler();
  ASSERT_EQ(S_OK, putName(again, u"Memo"));
  EXPECT_EQ(120, getLong(again, &Handler::get_marginTop));
}

TEST_F(ShellHandlerTest, TheSaveWritesOnlyWhatChangedSoANewerMergeStays) {
  const quilstring key = kRoot + u"\\Memo\\1033";
  store(key, u"marginTop", 100);
  store(key, u"marginLeft", 60);
  store(key, u"header", u"loaded");
  store(key, u"footer", u"kept");
  {
    auto handler = makeHandler();
    ASSERT_EQ(S_OK, putName(handler, u"Memo"));
    // While the preview is open another process merges new values and drops one.
    store(key, u"marginTop", 250);
    store(key, u"header", u"merged");
    store(key, u"marginBottom", 75);  // absent when loaded, merged since
    {
      CRegKey settings;
      ASSERT_EQ(ERROR_SUCCESS, settings.Open(HKEY_CURRENT_USER, key.c_str()));
      ASSERT_EQ(ERROR_SUCCESS, settings.DeleteValue(u"footer"));
    }
    // The template writes everything back on unload; only the left margin was changed in it.
    testsupport::FakePrintEngine engine;
    platform::browser::PageSetup setup;
    setup.margins.top = 1.0;  // as loaded: all but the left margin
    setup.margins.left = 0.9;
    setup.header = u"loaded";
    setup.footer = u"kept";
    ASSERT_EQ(S_OK, platform::browser::makePrintLayout(engine)->writeSettings(handler, setup));
  }
  const std::map<std::u16string, std::u16string> want = {
      {u"marginTop", u"250"}, {u"marginBottom", u"75"}, {u"marginLeft", u"90"}, {u"marginRight", u"60"},
      {u"header", u"merged"}, {u"footer", u"kept"},     {u"orientation", u"portrait"}};
  EXPECT_EQ(want, values(key));

  // Nothing changed and nothing missing: the hive file is not even rewritten.
  struct stat before {}, after {};
  const std::filesystem::path hive = testsupport::quillmarkHome() / "user.reg";
  ASSERT_EQ(0, ::stat(hive.c_str(), &before));
  {
    auto handler = makeHandler();
    ASSERT_EQ(S_OK, putName(handler, u"Memo"));
    ASSERT_EQ(S_OK, handler->put_marginTop(250));
  }
  ASSERT_EQ(0, ::stat(hive.c_str(), &after));
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ(want, values(key));
}

TEST_F(ShellHandlerTest, ANameThatIsNotOneKeyIsRefusedAndNothingIsSaved) {
  struct Case {
    quilstring name;
    HRESULT want;
  } cases[] = {
      {u"Memo\\..\\..\\Other", E_INVALIDARG}, {u"a/b", E_INVALIDARG},         {u"tab\there", E_INVALIDARG},
      {quilstring(256, u'x'), E_INVALIDARG},  {quilstring(255, u'y'), S_OK}, {u"Memo Style", S_OK},
  };
  for (const Case& c : cases) {
    auto handler = makeHandler();
    EXPECT_EQ(c.want, putName(handler, c.name));
  }
  EXPECT_FALSE(keyExists(kRoot + u"\\Memo"));
  EXPECT_FALSE(keyExists(kRoot + u"\\a"));
  EXPECT_FALSE(keyExists(kRoot + u"\\" + quilstring(256, u'x')));
  EXPECT_TRUE(keyExists(kRoot + u"\\" + quilstring(255, u'y') + u"\\1033"));
  EXPECT_TRUE(keyExists(kRoot + u"\\Memo Style\\1033"));
}

TEST_F(ShellHandlerTest, ThePrintTemplateAndThePageSetupShareOneKey) {
  // The page setup keeps settings under the template file's name ...
  store(kRoot + u"\\Memo Style\\1033", u"marginTop", 150);
  // ... and the print template finds them from the document's address.
  auto handler = makeHandler();
  testsupport::FakePrintEngine engine;
  platform::browser::LayoutRequest request;
  request.address = u"file:///home/user/Quillmark%20Templates/Memo%20Style.htm";
  ASSERT_EQ(S_OK, platform::browser::makePrintLayout(engine)->readSettings(handler, request));
  EXPECT_DOUBLE_EQ(1.5, request.setup.margins.top);
}

TEST_F(ShellHandlerTest, TheCurrentJobsRangeOverridesTheStoredOne) {
  store(kRoot + u"\\Memo\\1033", u"printselection", DWORD(0));
  store(kRoot + u"\\Memo\\1033", u"pagefrom", 7);
  auto handler = makeHandler();
  ASSERT_EQ(S_OK, putName(handler, u"Memo"));
  int storage = 0;
  auto message = boost::shared_ptr<CMessage>(reinterpret_cast<CMessage*>(&storage), [](CMessage*) {});
  {
    const PrintOptions range{2, 3, 1, 0};
    CCurrentPrintJob job(message, &range);
    EXPECT_EQ(1, getLong(handler, &Handler::get_printselection));
    EXPECT_EQ(2, getLong(handler, &Handler::get_pagefrom));
    EXPECT_EQ(3, getLong(handler, &Handler::get_pageto));
    {
      const PrintOptions threadRange{2, 3, 2, 0};
      CCurrentPrintJob threadJob(message, &threadRange);
      EXPECT_EQ(0, getLong(handler, &Handler::get_printselection));
    }
    EXPECT_EQ(1, getLong(handler, &Handler::get_printselection)) << "the enclosing job comes back";
  }
  EXPECT_EQ(7, getLong(handler, &Handler::get_pagefrom));
  {
    // A job without a range publishes none: the stored range answers.
    CCurrentPrintJob plainJob(message, nullptr);
    EXPECT_EQ(nullptr, NCurrentJob::range());
    EXPECT_EQ(7, getLong(handler, &Handler::get_pagefrom));
  }
  // A job without a message publishes no range either.
  const PrintOptions range{2, 3, 1, 0};
  CCurrentPrintJob tableJob(nullptr, &range);
  EXPECT_EQ(nullptr, NCurrentJob::range());
  EXPECT_EQ(7, getLong(handler, &Handler::get_pagefrom));
}

TEST_F(ShellHandlerTest, AttachmentsComeFromTheJobsOwnMessageWhileItLives) {
  auto handler = makeHandler();
  bool listView = false;
  CMessage* shown = nullptr;
  NCurrentJob::setItemActions({[&](CMessage& m, bool list) {
    shown = &m;
    listView = list;
    return S_OK;
  }});
  CHAR has = -1;
  EXPECT_EQ(S_OK, handler->get_hasAttachments(&has));
  EXPECT_EQ(0, has);
  EXPECT_EQ(E_FAIL, handler->showAttachmentsDialog());

  // Answered from the message itself: nothing installed by a host is asked.
  testsupport::MsgDescription withFile;
  withFile.attachments.push_back(enginetest::byValue(u"notes.txt", "some notes"));
  auto mapi = enginetest::openDescription(withFile);
  ASSERT_TRUE(mapi);
  boost::weak_ptr<CMessage> watched;
  {
    auto message = boost::make_shared<CMessage>(enginetest::itemOf(mapi));
    watched = message;
    CCurrentPrintJob job(message, nullptr);
    message.reset();  // the printer's own copy of the job goes first
    EXPECT_FALSE(watched.expired());
    EXPECT_EQ(S_OK, handler->get_hasAttachments(&has));
    EXPECT_EQ(1, has);
    CSettings::instance().setAttachmentsSelectionView(true);
    EXPECT_EQ(S_OK, handler->showAttachmentsDialog());
    EXPECT_TRUE(listView);
    EXPECT_EQ(watched.lock().get(), shown);
  }
  EXPECT_TRUE(watched.expired());
  EXPECT_EQ(nullptr, NCurrentJob::item());
  EXPECT_EQ(S_OK, handler->get_hasAttachments(&has));
  EXPECT_EQ(0, has);

  auto bare = boost::make_shared<CMessage>(enginetest::itemOf(enginetest::openDescription({})));
  CCurrentPrintJob job(bare, nullptr);
  EXPECT_EQ(S_OK, handler->get_hasAttachments(&has));
  EXPECT_EQ(0, has);
}

// A document with one style sheet whose rules collection answers item(i) for any i, as a
// collection that does not stop at its end would.
class CFakeRule : public CComObjectRootEx<CComSingleThreadModel>, public platform::com::IDispatchTableImpl<IDispatch> {
 public:
  explicit CFakeRule(std::u16string selector) : m_selector(std::move(selector)) {
    dispatchTable().property(1, u"selectorText",
                             [this](const CDispArgs&, VARIANT* r) { return platform::com::putText(r, m_selector); });
  }
  BEGIN_COM_MAP(CFakeRule)
    COM_INTERFACE_ENTRY(IDispatch)
  END_COM_MAP()
  std::u16string m_selector;
};

class CFakeCollection : public CComObjectRootEx<CComSingleThreadModel>,
                        public platform::com::IDispatchTableImpl<IDispatch> {
 public:
  CFakeCollection() {
    dispatchTable()
        .method(
            1, u"item",
            [this](const CDispArgs& args, VARIANT* r) {
              LONG i = 0;
              if (HRESULT hr = args.getLong(0, i); FAILED(hr)) return hr;
              // Past its end it answers rules again for a while, then nothing.
              if (++calls > 50 || items.empty()) return S_OK;
              return platform::com::putDispatch(r, items[static_cast<std::size_t>(i) % items.size()]);
            },
            1, 1)
        .property(2, u"length", [this](const CDispArgs&, VARIANT* r) { return platform::com::putLong(r, length); })
        .property(3, u"rules", [this](const CDispArgs&, VARIANT* r) { return platform::com::putDispatch(r, rules); })
        .property(4, u"styleSheets",
                  [this](const CDispArgs&, VARIANT* r) { return platform::com::putDispatch(r, sheets); });
  }
  BEGIN_COM_MAP(CFakeCollection)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(IID_IHTMLDocument2, IDispatch)
  END_COM_MAP()
  std::vector<CComPtr<IDispatch>> items;
  LONG length = 0;
  int calls = 0;
  IDispatch* rules = nullptr;
  IDispatch* sheets = nullptr;
};

TEST_F(ShellHandlerTest, RuleFromSelectorStopsAtTheRuleCount) {
  auto rules = CComObject<CFakeCollection>::Make();
  for (const char16_t* s : {u"P", u".title", u"TD.doc"}) rules->items.push_back(CComObject<CFakeRule>::Make(s).p);
  rules->length = 3;
  auto sheet = CComObject<CFakeCollection>::Make();
  sheet->rules = rules;
  auto sheets = CComObject<CFakeCollection>::Make();
  sheets->items.push_back(sheet.p);
  sheets->length = 1;
  auto document = CComObject<CFakeCollection>::Make();
  document->sheets = sheets;

  auto handler = makeHandler();
  // Through IDispatch, as script calls it.
  CComDispatchDriver driver(static_cast<IDispatch*>(handler.p));
  const CComVariant args[] = {CComVariant(u".title"), CComVariant(static_cast<IDispatch*>(document.p))};
  CComVariant found;
  ASSERT_EQ(S_OK, driver.InvokeArgs(u"ruleFromSelector", DISPATCH_PROPERTYGET,
                                    std::span<const VARIANT>(static_cast<const VARIANT*>(args), 2), &found));
  ASSERT_EQ(VT_DISPATCH, found.vt);
  EXPECT_EQ(rules->items[1].p, found.pdispVal);

  rules->calls = 0;
  IDispatch* rule = reinterpret_cast<IDispatch*>(1);
  CComBSTR missing(u"H1");
  EXPECT_EQ(S_OK, handler->get_ruleFromSelector(missing, document, &rule));
  EXPECT_EQ(nullptr, rule);
  EXPECT_EQ(3, rules->calls) << "the walk must end at the rule count";

  // A document without the document interface has no rules.
  auto plain = CComObject<CFakeRule>::Make(u"x");
  EXPECT_EQ(S_OK, handler->get_ruleFromSelector(missing, plain, &rule));
  EXPECT_EQ(nullptr, rule);
}

TEST_F(ShellHandlerTest, EveryGetAndPutLogsItsDebugLine) {
  const auto path = dir() / "log.txt";
  ASSERT_TRUE(CLogger::instance().redirectTo(quilstring::fromUtf8(path.string())));
  NLog::setLevels({u"Info", u"Error", u"Warning", u"Debug"}, u"debug");
  store(kRoot + u"\\Memo\\1033", u"footer", u"&u");
  auto handler = makeHandler();
  EXPECT_EQ(S_OK, putName(handler, u""));
  ASSERT_EQ(S_OK, putName(handler, u"Memo"));
  getLong(handler, &Handler::get_marginTop);
  CComBSTR header(u"&w");
  handler->put_header(header);
  getLong(handler, &Handler::get_pageto);
  const std::string log = testsupport::readFile(path);
  for (const char* line : {"CquilMarkShellHandler::templateName -- printing template has no <TITLE>",
                           "CquilMarkShellHandler::templateName with Memo", "Retrieving settings for Memo from registry",
                           "footer is &u", "CquilMarkShellHandler -- retrieving marginTop (60)",
                           "CquilMarkShellHandler -- storing header (&w)",
                           "CquilMarkShellHandler -- retrieving pageto (1)"})
    EXPECT_NE(std::string::npos, log.find(line)) << line;
}

TEST_F(ShellHandlerTest, FromAfterToHasItsMessage) {
  EXPECT_EQ(u"The 'From' value cannot be greater than the 'To' value.",
            static_cast<std::u16string>(CquilMarkShellHandler::fromAfterToMessage()));
}

}  // namespace
