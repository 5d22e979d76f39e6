#include "platform/mapi/FormMgr.h"

#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <set>
#include <string>

#include "platform/mapi/FormInfo.h"
#include "platform/mapi/PropTags.h"
#include "platform/mapi/Session.h"
#include "platform/system/Locale.h"
#include "tests/platform/mapi/MapiTestUtil.h"
#include "tests/support/TestEnvironment.h"

namespace {

using mapitest::ComRef;
using mapitest::MAPIBuffer;
using platform::mapi::iconImage;

struct ClassCase {
  const char* messageClass;  // bytes in the thread's ANSI code page
  const char* displayName;   // UTF-8; null: no form
};

const ClassCase kStandardForms[] = {
    {"IPM.Note", "Message"},
    {"IPM.Post", "Post"},
    {"IPM.Appointment", "Appointment"},
    {"IPM.Schedule.Meeting.Request", "Meeting Request"},
    {"IPM.Schedule.Meeting.Resp.Pos", "Meeting Accepted"},
    {"IPM.Schedule.Meeting.Resp.Neg", "Meeting Declined"},
    {"IPM.Schedule.Meeting.Resp.Tent", "Meeting Tentatively Accepted"},
    {"IPM.Schedule.Meeting.Canceled", "Meeting Cancellation"},
    {"IPM.Schedule.Meeting.Notification.Forward", "Meeting Forward Notification"},
    {"IPM.Contact", "Contact"},
    {"IPM.DistList", "Distribution List"},
    {"IPM.Activity", "Journal Entry"},
    {"IPM.StickyNote", "Note"},
    {"IPM.Task", "Task"},
    {"IPM.TaskRequest", "Task Request"},
    {"IPM.TaskRequest.Accept", "Task Accepted"},
    {"IPM.TaskRequest.Decline", "Task Declined"},
    {"IPM.TaskRequest.Update", "Task Update"},
};

std::uint32_t le32(const std::string& b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}

class FormMgrTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    platform::mapi::resetFormsForTesting();
    platform::mapi::setLogonFailsForTesting(false);
    platform::mapi::setOpenFormMgrFailureForTesting(S_OK);
    ASSERT_TRUE(SetThreadLocale(1033));
    ComRef<IMAPISession> session;
    ASSERT_EQ(MAPILogonEx(0, nullptr, nullptr, 0, session.receive()), S_OK);
    ASSERT_EQ(MAPIOpenFormMgr(session.get(), m_formMgr.receive()), S_OK);
    // The library outlives its session, as the settings store relies on.
    ASSERT_EQ(session->Logoff(0, 0, 0), S_OK);
  }
  void TearDown() override {
    m_formMgr.reset();
    platform::mapi::resetFormsForTesting();
    platform::mapi::setLogonFailsForTesting(false);
    platform::mapi::setOpenFormMgrFailureForTesting(S_OK);
    platform::system::resetThreadLocaleForTesting();
    const auto live = platform::mapi::liveMAPIObjectsForTesting();
    EXPECT_EQ(live.sessions, 0u);
    EXPECT_EQ(live.formMgrs, 0u);
    EXPECT_EQ(live.formInfos, 0u);
    EXPECT_EQ(live.icons, 0u);
  }

  ComRef<IMAPIFormInfo> form(const std::string& cls, ULONG flags = 0, HRESULT* result = nullptr) {
    ComRef<IMAPIFormInfo> info;
    const HRESULT hr = m_formMgr->ResolveMessageClass(cls.c_str(), flags, nullptr, info.receive());
    if (result) *result = hr;
    EXPECT_EQ(SUCCEEDED(hr), static_cast<bool>(info));
    return info;
  }
  // The display name of the form the class resolves to; nothing when it has none.
  std::optional<std::string> resolve(const std::string& cls, ULONG flags = 0) {
    auto info = form(cls, flags);
    if (!info) return std::nullopt;
    return mapitest::text(info.get(), PR_DISPLAY_NAME_W);
  }
  static std::string binary(IMAPIFormInfo* info, ULONG tag) {
    LPSPropValue value = nullptr;
    if (FAILED(HrGetOneProp(info, tag, &value))) return {};
    MAPIBuffer<SPropValue> hold(value);
    return std::string(reinterpret_cast<const char*>(value->Value.bin.lpb), value->Value.bin.cb);
  }
  static std::string ansi(IMAPIFormInfo* info, ULONG tag) {
    LPSPropValue value = nullptr;
    if (FAILED(HrGetOneProp(info, tag, &value))) return "(none)";
    MAPIBuffer<SPropValue> hold(value);
    return value->Value.lpszA;
  }

  ComRef<IMAPIFormMgr> m_formMgr;
};

TEST_F(FormMgrTest, ResolvesEveryStandardFormExactlyAndIgnoringCase) {
  for (const auto& c : kStandardForms) {
    SCOPED_TRACE(c.messageClass);
    EXPECT_EQ(resolve(c.messageClass), c.displayName);
    EXPECT_EQ(resolve(c.messageClass, MAPIFORM_EXACTMATCH), c.displayName);
    std::string lower = c.messageClass;
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    EXPECT_EQ(resolve(lower), c.displayName);
  }
}

TEST_F(FormMgrTest, ClassesWithoutAFormTakeTheirNearestBaseForm) {
  const ClassCase cases[] = {
      {"IPM.Note.Foo", "Message"},
      {"IPM.Note.SMIME.MultipartSigned", "Message"},
      {"ipm.note.foo.bar", "Message"},
      {"IPM.Note.", "Message"},
      {"IPM.Schedule.Meeting.Request.Custom", "Meeting Request"},
      {"IPM.TaskRequest.Accept.Custom", "Task Accepted"},
      {"IPM.TaskRequest.Other", "Task Request"},
      {"IPM.Contact.Customer", "Contact"},
      // No form on the way to the top.
      {"IPM", nullptr},
      {"IPM.Foo", nullptr},
      {"IPM.Schedule.Meeting.Foo", nullptr},
      {"IPM.NoteX", nullptr},
      {"REPORT.IPM.Note.NDR", nullptr},
      {"Note", nullptr},
      {".IPM.Note", nullptr},
      {"", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.messageClass);
    HRESULT hr = S_OK;
    form(c.messageClass, 0, &hr);
    EXPECT_EQ(resolve(c.messageClass), c.displayName ? std::optional<std::string>(c.displayName) : std::nullopt);
    if (!c.displayName) {
      EXPECT_EQ(hr, MAPI_E_NOT_FOUND);
    }
  }
  EXPECT_EQ(resolve("IPM.Note.Foo", MAPIFORM_EXACTMATCH), std::nullopt);
  // A class of half a million parts still resolves, in one pass.
  std::string huge = "IPM.Task";
  for (int i = 0; i < 500000; ++i) huge += ".x";
  EXPECT_EQ(resolve(huge), "Task");
  EXPECT_EQ(resolve(huge, MAPIFORM_EXACTMATCH), std::nullopt);
  // The form answered is the base class's own.
  EXPECT_EQ(ansi(form("IPM.Note.Foo").get(), PR_MESSAGE_CLASS_A), "IPM.Note");
}

TEST_F(FormMgrTest, RefusesMissingArgumentsAndUnknownFlags) {
  ComRef<IMAPIFormInfo> info;
  EXPECT_EQ(m_formMgr->ResolveMessageClass(nullptr, 0, nullptr, info.receive()), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(m_formMgr->ResolveMessageClass("IPM.Note", 0, nullptr, nullptr), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(m_formMgr->ResolveMessageClass("IPM.Note", MAPI_UNICODE, nullptr, info.receive()), MAPI_E_UNKNOWN_FLAGS);
  EXPECT_FALSE(info);
}

TEST_F(FormMgrTest, RegisteredFormsResolveBeforeTheirBaseAndKeepItsIcons) {
  ASSERT_EQ(platform::mapi::registerForm(u"IPM.Note.Custom", u"Custom Memo"), S_OK);
  EXPECT_EQ(resolve("IPM.Note.Custom"), "Custom Memo");
  EXPECT_EQ(resolve("ipm.NOTE.custom.Reply"), "Custom Memo");
  EXPECT_EQ(resolve("IPM.Note.Other"), "Message");
  EXPECT_EQ(binary(form("IPM.Note.Custom").get(), PR_ICON), binary(form("IPM.Note").get(), PR_ICON));
  EXPECT_EQ(binary(form("IPM.Note.Custom").get(), PR_MINI_ICON), binary(form("IPM.Note").get(), PR_MINI_ICON));

  // Publishing again under another spelling renames the form.
  ASSERT_EQ(platform::mapi::registerForm(u"IPM.NOTE.CUSTOM", u"Memo, renamed"), S_OK);
  EXPECT_EQ(resolve("IPM.Note.Custom"), "Memo, renamed");

  // A form with no base form gets the generic icons.
  ASSERT_EQ(platform::mapi::registerForm(u"IPM.Survey", u"Survey"), S_OK);
  EXPECT_EQ(resolve("IPM.Survey.Answer"), "Survey");
  EXPECT_NE(binary(form("IPM.Survey").get(), PR_ICON), binary(form("IPM.Note").get(), PR_ICON));

  // A standard form may be replaced too, and reset brings it back.
  ASSERT_EQ(platform::mapi::registerForm(u"IPM.Task", u"To-do"), S_OK);
  EXPECT_EQ(resolve("IPM.Task"), "To-do");

  EXPECT_EQ(platform::mapi::unregisterForm(u"ipm.note.custom"), S_OK);
  EXPECT_EQ(platform::mapi::unregisterForm(u"IPM.Note.Custom"), MAPI_E_NOT_FOUND);
  EXPECT_EQ(resolve("IPM.Note.Custom"), "Message");
  platform::mapi::resetFormsForTesting();
  EXPECT_EQ(resolve("IPM.Task"), "Task");
  EXPECT_EQ(resolve("IPM.Survey"), std::nullopt);
}

TEST_F(FormMgrTest, RegistrationRefusesMalformedClassesAndNames) {
  const std::u16string tooLong = u"IPM.Note." + std::u16string(247, u'x');
  const std::u16string longest = u"IPM.Note." + std::u16string(246, u'x');
  const std::u16string classes[] = {u"", u".IPM", u"IPM.", u"IPM..Note", u"IPM.Note\tX", u"IPM.\x7F", tooLong};
  for (const auto& cls : classes) {
    SCOPED_TRACE(mapitest::utf8(cls.c_str()));
    EXPECT_EQ(platform::mapi::registerForm(cls, u"Name"), MAPI_E_INVALID_PARAMETER);
  }
  EXPECT_EQ(platform::mapi::registerForm(u"IPM.Note.X", u""), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(platform::mapi::registerForm(longest, u"Longest"), S_OK);
  EXPECT_EQ(resolve(mapitest::utf8(longest.c_str())), "Longest");
}

TEST_F(FormMgrTest, ReadsClassNamesInTheThreadsAnsiCodePage) {
  ASSERT_EQ(platform::mapi::registerForm(u"IPM.Note.M\u00FCller", u"M\u00FCller form"), S_OK);
  ASSERT_EQ(platform::mapi::registerForm(u"IPM.Note.\u041E\u0442\u0447\u0451\u0442", u"\u041E\u0442\u0447\u0451\u0442"), S_OK);
  const std::string mueller1252 = "IPM.Note.M\xFC" "ller";
  const std::string report1251 = "IPM.Note.\xCE\xF2\xF7\xB8\xF2";

  EXPECT_EQ(resolve(mueller1252), "M\xC3\xBCller form");
  // Cyrillic bytes read as Western text name no registered class: the base form answers.
  EXPECT_EQ(resolve(report1251), "Message");
  // The class's UTF-8 spelling is no ANSI text either.
  EXPECT_EQ(resolve("IPM.Note.M\xC3\xBCller"), "Message");

  ASSERT_TRUE(SetThreadLocale(1049));
  EXPECT_EQ(resolve(report1251), "\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82");
  EXPECT_EQ(ansi(form(report1251).get(), PR_DISPLAY_NAME_A), "\xCE\xF2\xF7\xB8\xF2");
  EXPECT_EQ(resolve(mueller1252), "Message");  // 0xFC is a Cyrillic letter here
}

TEST_F(FormMgrTest, FormInfoAnswersItsPropertiesReadOnly) {
  auto info = form("IPM.StickyNote");
  ASSERT_TRUE(info);
  EXPECT_EQ(ansi(info.get(), PR_MESSAGE_CLASS_A), "IPM.StickyNote");
  EXPECT_EQ(mapitest::text(info.get(), PR_MESSAGE_CLASS_W), "IPM.StickyNote");
  EXPECT_EQ(ansi(info.get(), PR_DISPLAY_NAME_A), "Note");
  EXPECT_EQ(ansi(info.get(), PR_SUBJECT_A), "(none)");

  // 32-bit images with their masks: 22 + 40 + 16*16*4 + 16*4 and 22 + 40 + 32*32*4 + 32*4 bytes.
  EXPECT_EQ(binary(info.get(), PR_MINI_ICON).size(), 1150u);
  EXPECT_EQ(binary(info.get(), PR_ICON).size(), 4286u);

  LPSPropTagArray tags = nullptr;
  ASSERT_EQ(info->GetPropList(MAPI_UNICODE, &tags), S_OK);
  MAPIBuffer<SPropTagArray> holdTags(tags);
  const std::set<ULONG> listed(tags->aulPropTag, tags->aulPropTag + tags->cValues);
  EXPECT_EQ(listed, (std::set<ULONG>{PR_MESSAGE_CLASS_W, PR_DISPLAY_NAME_W, PR_ICON, PR_MINI_ICON}));

  ComRef<IUnknown> unknown;
  ASSERT_EQ(info->OpenProperty(PR_ICON, &IID_IStream, 0, 0, unknown.receive()), S_OK);
  auto* stream = static_cast<IStream*>(unknown.get());
  std::string streamed(5000, '\0');
  ULONG read = 0;
  ASSERT_EQ(stream->Read(streamed.data(), 5000, &read), S_OK);
  streamed.resize(read);
  EXPECT_EQ(streamed, binary(info.get(), PR_ICON));
  EXPECT_EQ(info->OpenProperty(PR_ICON, &IID_IStream, 0, MAPI_MODIFY, unknown.receive()), MAPI_E_NO_ACCESS);

  SPropValue value{};
  value.ulPropTag = PR_DISPLAY_NAME_W;
  value.Value.lpszW = const_cast<char16_t*>(u"Changed");
  EXPECT_EQ(info->SetProps(1, &value, nullptr), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(mapitest::text(info.get(), PR_DISPLAY_NAME_W), "Note");

  ComRef<IMAPIProp> prop;
  EXPECT_EQ(info->QueryInterface(IID_IMAPIProp, reinterpret_cast<void**>(prop.receive())), S_OK);
  ComRef<IMAPIFormMgr> notMgr;
  EXPECT_EQ(info->QueryInterface(IID_IMAPIFormMgr, reinterpret_cast<void**>(notMgr.receive())), E_NOINTERFACE);
}

TEST_F(FormMgrTest, IconsAreWellFormedDistinctAndDestroyedOnce) {
  std::set<std::string> smallIcons, largeIcons;
  for (const auto& c : kStandardForms) {
    SCOPED_TRACE(c.messageClass);
    auto info = form(c.messageClass);
    ASSERT_TRUE(info);
    for (const auto& [tag, side] : {std::pair{PR_MINI_ICON, 16}, std::pair{PR_ICON, 32}}) {
      HICON icon = nullptr;
      // Both the id and the whole tag name the property.
      ASSERT_EQ(info->MakeIconFromBinary(side == 16 ? tag : PROP_ID(tag), &icon), S_OK);
      const auto image = iconImage(icon);
      ASSERT_TRUE(image);
      EXPECT_EQ(image->width, side);
      EXPECT_EQ(image->height, side);
      const std::string& b = image->bytes;
      EXPECT_EQ(b, binary(info.get(), tag));
      // One icon entry, its image right after the directory: a 32-bit DIB of doubled height.
      ASSERT_GT(b.size(), 62u);
      EXPECT_EQ(le32(b, 0), 0x00010000u);
      EXPECT_EQ(le32(b, 18), 22u);
      EXPECT_EQ(le32(b, 14), b.size() - 22);
      EXPECT_EQ(le32(b, 22), 40u);
      EXPECT_EQ(le32(b, 26), static_cast<std::uint32_t>(side));
      EXPECT_EQ(le32(b, 30), static_cast<std::uint32_t>(side * 2));
      // Some pixels are drawn, some are transparent, and the mask says which.
      std::size_t opaque = 0, maskedClear = 0;
      const std::size_t mask = 62 + static_cast<std::size_t>(side) * side * 4;
      const std::size_t maskRow = ((side + 31) / 32) * 4;
      for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
          const bool drawn = (le32(b, 62 + (static_cast<std::size_t>(y) * side + x) * 4) >> 24) != 0;
          const bool clear = (static_cast<unsigned char>(b[mask + y * maskRow + x / 8]) >> (7 - x % 8)) & 1;
          opaque += drawn;
          maskedClear += clear;
          EXPECT_NE(drawn, clear);
        }
      EXPECT_GT(opaque, 0u);
      EXPECT_GT(maskedClear, 0u);
      (side == 16 ? smallIcons : largeIcons).insert(b);
      EXPECT_TRUE(DestroyIcon(icon));
      EXPECT_FALSE(DestroyIcon(icon));
      EXPECT_FALSE(iconImage(icon));
    }
  }
  EXPECT_EQ(smallIcons.size(), std::size(kStandardForms));
  EXPECT_EQ(largeIcons.size(), std::size(kStandardForms));
  EXPECT_FALSE(DestroyIcon(nullptr));
  int notAnIcon = 0;
  EXPECT_FALSE(DestroyIcon(reinterpret_cast<HICON>(&notAnIcon)));
}

TEST_F(FormMgrTest, MakeIconFromBinaryNeedsABinaryPropertyAndAnOutParameter) {
  auto info = form("IPM.Note");
  HICON icon = reinterpret_cast<HICON>(this);
  EXPECT_EQ(info->MakeIconFromBinary(PROP_ID(PR_DISPLAY_NAME_W), &icon), MAPI_E_NOT_FOUND);
  EXPECT_EQ(icon, nullptr);
  EXPECT_EQ(info->MakeIconFromBinary(0x1234, &icon), MAPI_E_NOT_FOUND);
  EXPECT_EQ(info->MakeIconFromBinary(PR_ICON, nullptr), MAPI_E_INVALID_PARAMETER);
}

TEST_F(FormMgrTest, SessionsEndOnLogoffAndFailWithoutAProfile) {
  ComRef<IMAPISession> session;
  ASSERT_EQ(MAPILogonEx(0, "Outlook", nullptr, MAPI_EXTENDED | MAPI_USE_DEFAULT, session.receive()), S_OK);
  ComRef<IMAPIFormMgr> second;
  ASSERT_EQ(MAPIOpenFormMgr(session.get(), second.receive()), S_OK);
  EXPECT_EQ(session->Logoff(0, 0, 0), S_OK);
  EXPECT_EQ(session->Logoff(0, 0, 0), MAPI_E_END_OF_SESSION);
  ComRef<IMAPIFormMgr> afterLogoff;
  EXPECT_EQ(MAPIOpenFormMgr(session.get(), afterLogoff.receive()), MAPI_E_END_OF_SESSION);
  EXPECT_FALSE(afterLogoff);
  session.reset();
  ComRef<IMAPIFormInfo> info;
  EXPECT_EQ(second->ResolveMessageClass("IPM.Task", 0, nullptr, info.receive()), S_OK);

  EXPECT_EQ(MAPIOpenFormMgr(nullptr, afterLogoff.receive()), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(MAPILogonEx(0, nullptr, nullptr, 0, nullptr), MAPI_E_INVALID_PARAMETER);

  platform::mapi::setLogonFailsForTesting(true);
  IMAPISession* failed = reinterpret_cast<IMAPISession*>(this);
  EXPECT_EQ(MAPILogonEx(0, nullptr, nullptr, 0, &failed), MAPI_E_LOGON_FAILED);
  EXPECT_EQ(failed, nullptr);
  platform::mapi::setLogonFailsForTesting(false);

  platform::mapi::setOpenFormMgrFailureForTesting(MAPI_E_NOT_ENOUGH_MEMORY);
  ASSERT_EQ(MAPILogonEx(0, nullptr, nullptr, 0, session.receive()), S_OK);
  EXPECT_EQ(MAPIOpenFormMgr(session.get(), afterLogoff.receive()), MAPI_E_NOT_ENOUGH_MEMORY);
  EXPECT_FALSE(afterLogoff);
  // Only a session released without Logoff is counted as abandoned.
  const ULONG abandoned = platform::mapi::sessionsReleasedWithoutLogoffForTesting();
  session.reset();
  EXPECT_EQ(platform::mapi::sessionsReleasedWithoutLogoffForTesting(), abandoned + 1);
}

}  // namespace
