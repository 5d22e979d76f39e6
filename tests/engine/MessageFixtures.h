#pragma once
// Messages for the engine's unit tests: .msg fixtures built with the writer, opened as MAPI
// messages and handed out by a fake Outlook item as its MAPIOBJECT.

#include <filesystem>
#include <set>
#include <string>

#include "platform/mapi/MsgFile.h"
#include "platform/mapi/PropTags.h"
#include "tests/engine/FakeOutlook.h"
#include "tests/support/MsgWriter.h"

namespace enginetest {

inline testsupport::MsgRecipient recipient(LONG type, std::u16string_view name, std::u16string_view address,
                                           std::u16string_view addressType = u"SMTP") {
  using namespace testsupport;
  MsgRecipient r{{longProp(PR_RECIPIENT_TYPE, type)}};
  if (!name.empty()) r.props.push_back(unicodeProp(PR_DISPLAY_NAME_W, name));
  if (!address.empty()) r.props.push_back(unicodeProp(PR_EMAIL_ADDRESS_W, address));
  if (!addressType.empty()) r.props.push_back(unicodeProp(PR_ADDRTYPE_W, addressType));
  return r;
}

// An attachment stored in the message, named by its long file name (and display name).
inline testsupport::MsgAttachment byValue(std::u16string_view name, std::string_view data,
                                          std::u16string_view contentId = u"") {
  using namespace testsupport;
  MsgAttachment a{{longProp(PR_ATTACH_METHOD, ATTACH_BY_VALUE), unicodeProp(PR_DISPLAY_NAME_W, name),
                   binaryProp(PR_ATTACH_DATA_BIN, data)},
                  nullptr};
  if (!name.empty()) a.props.push_back(unicodeProp(PR_ATTACH_LONG_FILENAME_W, name));
  if (!contentId.empty()) a.props.push_back(unicodeProp(PR_ATTACH_CONTENT_ID_W, contentId));
  return a;
}

// The MAPI message of a description (null when it cannot be built or read).
inline CComPtr<IMessage> openDescription(const testsupport::MsgDescription& description) {
  const std::string bytes = testsupport::buildMsg(description);
  CComPtr<IMessage> message;
  platform::mapi::openMsgMemory(bytes.data(), bytes.size(), message.Receive());
  return message;
}

// A fake item whose MAPIOBJECT is the message (when given).
inline FakePtr itemOf(IMessage* message) {
  FakePtr item = makeFake();
  item->text(0x1A, u"MessageClass", u"IPM.Note");
  if (message) item->value(0xF100, u"MAPIOBJECT", CComVariant(static_cast<IUnknown*>(message)));
  return item;
}

// The names of the files in a folder.
inline std::set<std::string> filesIn(const std::filesystem::path& folder) {
  std::set<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) names.insert(entry.path().filename().string());
  return names;
}

}  // namespace enginetest
