#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/Log.h"
#include "foundation/Utils.h"
#include "platform/com/ComPtr.h"
#include "platform/mapi/FormInfo.h"
#include "platform/mapi/Session.h"
#include "platform/system/Locale.h"
#include "tests/support/TestEnvironment.h"

namespace {

// A form library that knows only some classes, passing them on to the real one; it records the
// classes asked for and can throw.
class CPartialFormMgr final : public IMAPIFormMgr {
 public:
  CPartialFormMgr(IMAPIFormMgr* real, std::set<std::string> known) : m_real(real), m_known(std::move(known)) {}

  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT GetLastError(HRESULT, ULONG, LPMAPIERROR*) override { return S_OK; }
  HRESULT ResolveMessageClass(const char* cls, ULONG flags, LPMAPIFOLDER folder, LPMAPIFORMINFO* result) override {
    m_asked.push_back(cls);
    if (m_throws) throw std::runtime_error("form library gone");
    if (!m_known.count(cls)) return MAPI_E_NOT_FOUND;
    return m_real->ResolveMessageClass(cls, flags, folder, result);
  }

  std::vector<std::string> m_asked;
  bool m_throws = false;

 private:
  IMAPIFormMgr* m_real;
  std::set<std::string> m_known;
};

class UtilsMessageClassTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    platform::mapi::resetFormsForTesting();
    ASSERT_TRUE(SetThreadLocale(1033));
    CComPtr<IMAPISession> session;
    ASSERT_EQ(MAPILogonEx(0, nullptr, nullptr, 0, &session), S_OK);
    ASSERT_EQ(MAPIOpenFormMgr(session, &m_formMgr), S_OK);
    session->Logoff(0, 0, 0);
    CLogger::instance().resetForTesting();
    m_log = (dir() / "log.txt").string();
    ASSERT_TRUE(CLogger::instance().redirectTo(quilstring::fromUtf8(m_log)));
    NLog::setLevels({u"Info", u"Error", u"Warning", u"Debug"}, u"debug");
  }
  void TearDown() override {
    CLogger::instance().resetForTesting();
    m_formMgr.Release();
    platform::mapi::resetFormsForTesting();
    platform::system::resetThreadLocaleForTesting();
    const auto live = platform::mapi::liveMAPIObjectsForTesting();
    EXPECT_EQ(live.formMgrs, 0u);
    EXPECT_EQ(live.formInfos, 0u);
    EXPECT_EQ(live.icons, 0u);
  }

  // The log's messages, without time and source.
  std::vector<std::string> messages() const {
    std::vector<std::string> out;
    std::istringstream in(testsupport::readFile(m_log));
    for (std::string line; std::getline(in, line);) {
      const std::size_t source = line.rfind(" (");
      out.push_back(line.substr(9, source == std::string::npos ? std::string::npos : source - 9));
    }
    return out;
  }

  // The icon bytes of a class's own form, as the library gives them.
  std::string formIcon(const char* cls, bool small) {
    CComPtr<IMAPIFormInfo> info;
    HICON icon = nullptr;
    if (FAILED(m_formMgr->ResolveMessageClass(cls, MAPIFORM_EXACTMATCH, nullptr, &info)) ||
        FAILED(info->MakeIconFromBinary(small ? PR_MINI_ICON : PR_ICON, &icon)))
      return {};
    std::string bytes = platform::mapi::iconImage(icon)->bytes;
    DestroyIcon(icon);
    return bytes;
  }

  struct Answer {
    std::string displayName;
    std::string iconBytes;  // empty: no icon
    int iconSide = 0;
  };
  static Answer ask(IMAPIFormMgr* formMgr, const quilstring& cls, bool small) {
    quilstring name(u"stale");
    HICON icon = reinterpret_cast<HICON>(&name);  // whatever the caller held is not kept
    NUtils::getMessageClassData(formMgr, cls, name, icon, small);
    Answer answer{name.toUtf8(), {}, 0};
    if (icon) {
      const auto image = platform::mapi::iconImage(icon);
      EXPECT_TRUE(image);
      if (image) answer = Answer{name.toUtf8(), image->bytes, image->width};
      EXPECT_TRUE(DestroyIcon(icon));
    }
    return answer;
  }

  const std::vector<std::string> kFrame = {"Debug    >> NUtils::getMessageClassData",
                                           "Debug    << NUtils::getMessageClassData"};
  CComPtr<IMAPIFormMgr> m_formMgr;
  std::string m_log;
};

TEST_F(UtilsMessageClassTest, AnswersTheFormsNameAndIconOrTheClassWithTheMessageIcon) {
  ASSERT_EQ(platform::mapi::registerForm(u"IPM.Note.Custom", u"Custom Memo"), S_OK);
  struct Case {
    const char16_t* cls;
    bool small;
    const char* displayName;
    const char* iconOf;  // the class whose own form's icon is answered
  } cases[] = {
      {u"IPM.Note", true, "Message", "IPM.Note"},
      {u"IPM.Note", false, "Message", "IPM.Note"},
      {u"IPM.Appointment", false, "Appointment", "IPM.Appointment"},
      {u"IPM.Schedule.Meeting.Resp.Tent", true, "Meeting Tentatively Accepted", "IPM.Schedule.Meeting.Resp.Tent"},
      {u"ipm.contact", true, "Contact", "IPM.Contact"},
      {u"IPM.Note.Custom", false, "Custom Memo", "IPM.Note"},
      {u"IPM.Task.Weekly", true, "Task", "IPM.Task"},
      // No form on the way: the class keeps its name and shows as a message.
      {u"IPM.Foo", true, "IPM.Foo", "IPM.Note"},
      {u"<Default>", false, "<Default>", "IPM.Note"},
      {u"", false, "", "IPM.Note"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(quilstring(c.cls).toUtf8() + (c.small ? " small" : " large"));
    const Answer answer = ask(m_formMgr, c.cls, c.small);
    EXPECT_EQ(answer.displayName, c.displayName);
    EXPECT_EQ(answer.iconSide, c.small ? 16 : 32);
    EXPECT_EQ(answer.iconBytes, formIcon(c.iconOf, c.small));
  }
  std::vector<std::string> expected;
  for (std::size_t i = 0; i < std::size(cases); ++i) expected.insert(expected.end(), kFrame.begin(), kFrame.end());
  EXPECT_EQ(messages(), expected);
}

TEST_F(UtilsMessageClassTest, PassesTheClassInTheThreadsAnsiCodePage) {
  const char16_t* report = u"IPM.Note.\u041E\u0442\u0447\u0451\u0442";
  ASSERT_EQ(platform::mapi::registerForm(report, u"\u041E\u0442\u0447\u0451\u0442 form"), S_OK);
  CPartialFormMgr recorder(m_formMgr, {"IPM.Note.\xCE\xF2\xF7\xB8\xF2", "IPM.Note.?????"});

  ASSERT_TRUE(SetThreadLocale(1049));
  EXPECT_EQ(ask(&recorder, report, true).displayName, "\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82 form");
  // Western text cannot hold the name: its question marks name a sub-class of the message form.
  ASSERT_TRUE(SetThreadLocale(1033));
  EXPECT_EQ(ask(&recorder, report, true).displayName, "Message");
  EXPECT_EQ(recorder.m_asked, (std::vector<std::string>{"IPM.Note.\xCE\xF2\xF7\xB8\xF2", "IPM.Note.?????"}));
}

TEST_F(UtilsMessageClassTest, WithoutAFormManagerAnswersTheClassAndNoIcon) {
  const Answer answer = ask(nullptr, u"IPM.Task", false);
  EXPECT_EQ(answer.displayName, "IPM.Task");
  EXPECT_TRUE(answer.iconBytes.empty());
  EXPECT_EQ(messages(), kFrame);
}

TEST_F(UtilsMessageClassTest, FallsBackToTheMessageFormOnceOnly) {
  CPartialFormMgr onlyNote(m_formMgr, {"IPM.Note"});
  Answer answer = ask(&onlyNote, u"IPM.Survey", true);
  EXPECT_EQ(answer.displayName, "IPM.Survey");
  EXPECT_EQ(answer.iconBytes, formIcon("IPM.Note", true));
  EXPECT_EQ(onlyNote.m_asked, (std::vector<std::string>{"IPM.Survey", "IPM.Note"}));

  CPartialFormMgr none(m_formMgr, {});
  answer = ask(&none, u"IPM.Survey", false);
  EXPECT_EQ(answer.displayName, "IPM.Survey");
  EXPECT_TRUE(answer.iconBytes.empty());
  EXPECT_EQ(none.m_asked, (std::vector<std::string>{"IPM.Survey", "IPM.Note"}));

  // "IPM.Note" itself, in any case, is not asked for twice.
  for (const char16_t* note : {u"IPM.Note", u"ipm.NOTE"}) {
    none.m_asked.clear();
    answer = ask(&none, note, true);
    EXPECT_EQ(answer.displayName, quilstring(note).toUtf8());
    EXPECT_TRUE(answer.iconBytes.empty());
    EXPECT_EQ(none.m_asked.size(), 1u);
  }
}

TEST_F(UtilsMessageClassTest, AnExceptionIsLoggedAndNeverReachesTheCaller) {
  CPartialFormMgr throwing(m_formMgr, {"IPM.Note"});
  throwing.m_throws = true;
  Answer answer;
  EXPECT_NO_THROW(answer = ask(&throwing, u"IPM.Contact", true));
  EXPECT_EQ(answer.displayName, "IPM.Contact");
  EXPECT_TRUE(answer.iconBytes.empty());
  EXPECT_EQ(messages(), (std::vector<std::string>{kFrame[0],
                                                  "Error   Exception caught in getMessageClassData: form library gone",
                                                  kFrame[1]}));
}

}  // namespace
