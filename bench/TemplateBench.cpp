// The template filler: the default page filled for one mail with a 50 KB HTML body, and the
// shipped mail list filled for 100 mails; each iteration loads the template, makes the job's
// messages from the Outlook items and fills the document.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/PrintInfo.h"
#include "engine/QuillMarkTemplate.h"
#include "foundation/Settings.h"
#include "platform/com/DispatchDriver.h"
#include "platform/mapi/PropTags.h"
#include "platform/outlook/Outlook.h"
#include "tests/support/MsgWriter.h"

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

fs::path g_store;
const fs::path kSourceRoot = QM_SOURCE_ROOT;

// A mail whose HTML body is about `bytes` long: paragraphs of text with a little markup.
MsgDescription mail(int number, std::size_t bytes) {
  std::string html = "<html><head><style>p { margin: 0 }</style></head><body>";
  while (html.size() < bytes)
    html += "<p>Paragraph " + std::to_string(html.size()) +
            " of the message, with <b>bold</b> and <a href=\"https://example.com/\">a link</a>.</p>\n";
  html += "</body></html>";
  MsgDescription d;
  d.messageClass = "IPM.Note";
  d.props = {unicodeProp(PR_SUBJECT_W, u"Message " + quilstring::fromUtf8(std::to_string(number))),
             unicodeProp(PR_SENDER_NAME_W, u"Ann Lee"), unicodeProp(PR_SENDER_EMAIL_ADDRESS_W, u"ann@example.com"),
             unicodeProp(PR_SENDER_ADDRTYPE_W, u"SMTP"), binaryProp(PR_HTML, html)};
  return d;
}

std::unique_ptr<platform::outlook::COutlook> openStore(int mails, std::size_t bytes) {
  std::error_code ec;
  fs::remove_all(g_store, ec);
  fs::create_directories(g_store / "Inbox");
  for (int i = 1; i <= mails; ++i) writeMsgFile(mail(i, bytes), g_store / "Inbox" / (std::to_string(i) + ".msg"));
  auto outlook = platform::outlook::COutlook::open(g_store);
  if (outlook) CSettings::instance().outlookApplication() = outlook->application();
  return outlook;
}

void fillDefaultTemplate(benchmark::State& state) {
  auto outlook = openStore(1, 50 * 1024);
  CComPtr<IDispatch> item = outlook ? outlook->item(g_store / "Inbox" / "1.msg") : nullptr;
  if (!item) {
    state.SkipWithError("store not opened");
    return;
  }
  const fs::path page = kSourceRoot / "resources" / "html" / "PAGEPRINT_2057.HTM";
  for (auto _ : state) {
    platform::html::CHtmlDocument document;
    document.loadFromFile(page);
    CPrintInfo job(item);
    CQuillMarkTemplate(job).processTemplateDocument(document);
    benchmark::DoNotOptimize(document.body());
  }
  CSettings::instance().outlookApplication() = nullptr;
}

void fillMailList(benchmark::State& state) {
  auto outlook = openStore(static_cast<int>(state.range(0)), 2 * 1024);
  CComPtr<IDispatch> inbox = outlook ? outlook->folder(u"Inbox") : nullptr;
  CComVariant items;
  if (!inbox || FAILED(CComDispatchDriver(inbox).GetPropertyByName(u"Items", items.Receive()))) {
    state.SkipWithError("store not opened");
    return;
  }
  const fs::path list = kSourceRoot / "resources" / "templates" / "MailList.htm";
  for (auto _ : state) {
    platform::html::CHtmlDocument document;
    document.loadFromFile(list);
    CPrintInfo job(kFolderJob, inbox);
    job.setItems(items.pdispVal);
    CQuillMarkTemplate(job).processTemplateDocument(document);
    benchmark::DoNotOptimize(document.body());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  CSettings::instance().outlookApplication() = nullptr;
}

BENCHMARK(fillDefaultTemplate)->Unit(benchmark::kMillisecond);
BENCHMARK(fillMailList)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  char pattern[] = "/tmp/qmbench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  setenv("TMPDIR", pattern, 1);
  g_store = fs::path(pattern) / "store";
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  fs::remove_all(pattern, ignored);
  return 0;
}
