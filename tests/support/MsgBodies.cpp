#include "tests/support/MsgBodies.h"

#include "platform/mapi/MAPIInterfaces.h"
#include "platform/mapi/MsgFile.h"
#include "platform/mapi/PropTags.h"
#include "platform/rtf/Rtf.h"
#include "platform/system/CodePage.h"
#include "tests/support/TestEnvironment.h"

namespace testsupport {
namespace {

std::optional<std::u16string> htmlBody(LPMESSAGE message) {
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
    if (const auto html = platform::rtf::htmlFromRtf(rtf->rtf)) return html->html;
  }
  return std::nullopt;
}

}  // namespace

std::vector<SampleBody> sampleHtmlBodies() {
  std::vector<SampleBody> bodies;
  if (sharedDir().empty()) return bodies;
  for (const auto& entry : std::filesystem::directory_iterator(sharedDir() / "testdata" / "msg")) {
    if (entry.path().extension() != ".msg") continue;
    LPMESSAGE message = nullptr;
    if (FAILED(platform::mapi::openMsgFile(entry.path(), &message))) continue;
    platform::mapi::ComRef<IMessage> owner(message, false);
    if (auto html = htmlBody(message)) bodies.push_back({entry.path(), std::move(*html)});
  }
  return bodies;
}

}  // namespace testsupport
