// The HTML bodies of real Outlook mail: each parses, serialises and parses again to the same
// document, so a template never changes a body just by passing it through.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/html/HtmlDocument.h"
#include "platform/mapi/MAPIInterfaces.h"
#include "platform/mapi/MsgFile.h"
#include "platform/mapi/PropTags.h"
#include "platform/rtf/Rtf.h"
#include "platform/system/CodePage.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;
using platform::html::CHtmlDocument;

class MsgBodiesTest : public testsupport::IsolatedTest {
 protected:
  // The body as HTML: PR_HTML when stored, else HTML out of the compressed RTF.
  static std::optional<std::u16string> htmlBody(LPMESSAGE message) {
    LPSPropValue value = nullptr;
    if (SUCCEEDED(HrGetOneProp(message, PR_HTML, &value)) && value) {
      platform::mapi::MAPIBuffer<SPropValue> owner(value);
      const std::string_view bytes(reinterpret_cast<const char*>(value->Value.bin.lpb), value->Value.bin.cb);
      return platform::system::toUtf16(65001, bytes);
    }
    if (SUCCEEDED(HrGetOneProp(message, PR_RTF_COMPRESSED, &value)) && value) {
      platform::mapi::MAPIBuffer<SPropValue> owner(value);
      const std::string_view bytes(reinterpret_cast<const char*>(value->Value.bin.lpb), value->Value.bin.cb);
      const auto rtf = platform::rtf::decompressRtf(bytes);
      if (!rtf) return std::nullopt;
      const auto html = platform::rtf::htmlFromRtf(rtf->rtf);
      if (html) return html->html;
    }
    return std::nullopt;
  }
};

TEST_F(MsgBodiesTest, EveryBodyParsesAndSerialisesStably) {
  QM_REQUIRE_SHARED_DATA();
  int bodies = 0;
  for (const auto& entry : fs::directory_iterator(testsupport::sharedDir() / "testdata" / "msg")) {
    if (entry.path().extension() != ".msg") continue;
    SCOPED_TRACE(entry.path().filename().string());
    LPMESSAGE message = nullptr;
    ASSERT_EQ(platform::mapi::openMsgFile(entry.path(), &message), S_OK);
    platform::mapi::ComRef<IMessage> owner(message, false);
    const auto html = htmlBody(message);
    if (!html) continue;
    ++bodies;
    CHtmlDocument first;
    ASSERT_EQ(first.loadFromString(*html), S_OK);
    const std::u16string once = first.documentHTML();
    CHtmlDocument second;
    ASSERT_EQ(second.loadFromString(once), S_OK);
    EXPECT_EQ(second.documentHTML(), once);
    EXPECT_EQ(second.body().innerText(), first.body().innerText());
  }
  EXPECT_GE(bodies, 20);  // most samples carry HTML, many only inside their RTF
}

}  // namespace
