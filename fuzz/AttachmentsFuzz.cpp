// Mutated .msg files as messages prepared for printing: recipients and attachments are read, the
// attachments written to the temporary folder; every file must lie inside it and go with the
// message. Attachment names are also fed straight to the file-name rule, whose result must be a
// plain, bounded name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <boost/make_shared.hpp>

#include "engine/Attachments.h"
#include "engine/Message.h"
#include "foundation/Settings.h"
#include "platform/com/ComObject.h"
#include "platform/com/DispatchImpl.h"
#include "platform/mapi/MsgFile.h"

namespace {

namespace fs = std::filesystem;

// An item answering only MAPIOBJECT, as a file opened in Outlook would.
class CItem : public CComObjectRootEx<CComSingleThreadModel>, public platform::com::IDispatchTableImpl<IDispatch> {
 public:
  BEGIN_COM_MAP(CItem)
    COM_INTERFACE_ENTRY(IDispatch)
  END_COM_MAP()

  void hold(IMessage* message) {
    m_message = message;
    dispatchTable().property(0xF100, u"MAPIOBJECT", [this](const platform::com::CDispArgs&, VARIANT* result) {
      return platform::com::putVariant(result, CComVariant(static_cast<IUnknown*>(m_message.p)));
    });
  }

 private:
  CComPtr<IMessage> m_message;
};

void checkName(const std::uint8_t* data, std::size_t size) {
  quilstring name(reinterpret_cast<const char16_t*>(data), size / 2);
  const quilstring safe = safeAttachmentFileName(name);
  if (safe.empty() || safe == u"." || safe == u".." || safe.size() > kMaxAttachmentFileName + 1 ||
      safe.find_first_of(u"/\\:") != quilstring::npos)
    std::abort();
}

void checkMessage(const std::uint8_t* data, std::size_t size) {
  CComPtr<IMessage> message;
  if (FAILED(platform::mapi::openMsgMemory(data, size, message.Receive()))) return;
  CComPtr<CComObject<CItem>> item = CComObject<CItem>::Make();
  item->hold(message);
  const fs::path temp = fs::canonical(fs::path(NUtils::getTempPath().toUtf8()));
  {
    auto printed = boost::make_shared<CMessage>(item);
    printed->getRecipients(kRecipientTo);
    printed->getContactPicturePath();
    for (const auto* list : {&printed->getInlineImages(), &printed->getAttachments()})
      for (const AttachmentDataPtr& attachment : *list)
        if (attachment->temporary && fs::canonical(fs::path(attachment->filePath.toUtf8()).parent_path()) != temp)
          std::abort();
  }
  std::error_code ec;
  if (fs::directory_iterator(temp, ec) != fs::directory_iterator()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  if (data[0] & 1) checkName(data + 1, size - 1);
  else checkMessage(data + 1, size - 1);
  return 0;
}
