// Random template documents filled by the template filler: the first byte picks memo style (an
// item with a subject and three linked contacts, one of them missing) or table style (three rows
// of the same items), the rest is the template's HTML. The real formatters run; nothing is
// checked but memory safety and termination.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/PrintInfo.h"
#include "engine/QuillMarkTemplate.h"
#include "platform/com/ComError.h"
#include "platform/system/Text.h"
#include "tests/engine/FakeOutlook.h"

namespace {

using namespace enginetest;

FakePtr makeItem(std::u16string_view subject) {
  FakePtr item = makeFake();
  item->text(0x37, u"Subject", subject).text(0x1A, u"MessageClass", u"IPM.Note").text(0x3001, u"FullName", subject);
  return item;
}

struct Fixture {
  Fixture() {
    std::vector<CComPtr<IDispatch>> links;
    for (const char16_t* name : {u"Ann <b>", u"", u"Bob & Co"}) {
      FakePtr link = makeFake();
      link->object(0x2102, u"Item", *name ? static_cast<IDispatch*>(makeItem(name).p) : nullptr);
      links.emplace_back(link.p);
    }
    FakePtr collection = makeFake();
    collection->collection(links);
    item = makeItem(u"Quarterly <report> \"draft\" src=\"%s\"");
    item->object(0xF405, u"Links", collection.p);
    rows = makeFake();
    rows->collection({item.p, makeItem(u"second").p, item.p});
    folder = makeFake();
    folder->text(0x3001, u"Name", u"Inbox");
  }
  FakePtr item, rows, folder;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 64 * 1024) return 0;
  // Made for each input: the fakes record their calls, which would otherwise grow across runs.
  Fixture fixture;
  const bool memo = data[0] & 1;
  const std::u16string html =
      platform::system::utf8ToUtf16(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
  platform::html::CHtmlDocument document;
  if (FAILED(document.loadFromString(html))) return 0;

  CPrintInfo job = memo ? CPrintInfo(fixture.item.p) : CPrintInfo(kFolderJob, fixture.folder.p);
  if (!memo) job.setItems(fixture.rows.p);
  try {
    CQuillMarkTemplate(job).processTemplateDocument(document);
  } catch (const _com_error&) {
    // Only a document without a root element may raise, and the parser always makes one.
    __builtin_trap();
  }
  return 0;
}
