// Formatting the scalar fields of one item into template elements, as the template filler does
// per element: the settings parsed against the item, the formatter looked up, the value read,
// post-processed and written. The item is a sample in a store of .msg files, opened once.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "engine/ElementSettings.h"
#include "engine/Message.h"
#include "engine/PropertyFormatter.h"
#include "platform/html/HtmlDocument.h"
#include "platform/outlook/Outlook.h"

#ifndef QM_SHARED_DIR
#define QM_SHARED_DIR "../shared"
#endif

namespace {

namespace fs = std::filesystem;

// Scalar fields a template shows.
const char16_t* const kFields[] = {
    u"NAME=Subject",
    u"NAME=Subject|UPPER_CASE|FORMAT_STRING=<b>%s</b>",
    u"NAME=Categories|HIDE_ROW_IF_EMPTY",
    u"NAME=Importance|POSSIBLE_VALUES=0:Low/1:Normal/2:High",
    u"NAME=Sensitivity|POSSIBLE_VALUES=0:Normal/1:Personal/2:Private/3:Confidential",
    u"NAME=ReadReceiptRequested",
    u"NAME=Size",
    u"NAME=AttachmentCount",
    u"NAME=SentOn",
    u"NAME=ReceivedTime|DATE_FORMAT_FLAGS=0|DATE_FORMAT_PICTURE=M/d/yyyy|TIME_FORMAT_FLAGS=2|"
    u"TIME_FORMAT_PICTURE=h:mm tt",
    u"NAME=CurrentTime",
    u"NAME=0x0037001F|PROP_TYPE=MAPI",
    u"NAME=0x0E1D001F|PROP_TYPE=MAPI",
};

void BM_FormatScalarFields(benchmark::State& state) {
  const char* sample = "hht__attachmentFiles.msg";
  const fs::path source = fs::path(QM_SHARED_DIR) / "testdata" / "msg" / sample;
  if (!fs::exists(source)) {
    state.SkipWithError("sample not found (set QM_SHARED_DIR)");
    return;
  }
  const fs::path root = fs::temp_directory_path() / "quillmark-formatters-bench";
  std::error_code ec;
  fs::remove_all(root, ec);
  fs::create_directories(root / "Inbox");
  fs::create_symlink(source, root / "Inbox" / sample, ec);
  {
    auto outlook = platform::outlook::COutlook::open(root);
    CComPtr<IDispatch> item = outlook->item(root / "Inbox" / sample);
    CMessage message(item);
    platform::html::CHtmlDocument document;
    document.loadFromString(u"<html><body><p><span id=f></span></p></body></html>");
    const platform::html::CHtmlElement element = document.all().item(u"f").item(0);
    for (auto _ : state) {
      for (const char16_t* text : kFields) {
        CElementSettings settings(text, item);
        if (auto formatter = CPropertyFormatter::findForElement(settings.kind(), text)) {
          benchmark::DoNotOptimize(formatter->format(settings, message, element));
        }
      }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(std::size(kFields)));
  }
  fs::remove_all(root, ec);
}

BENCHMARK(BM_FormatScalarFields)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
