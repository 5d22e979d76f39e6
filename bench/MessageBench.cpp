// A sample prepared for printing: the message made from its Outlook item (recipients read), its
// attachments written to the temporary folder, and the files deleted with it; and a mail of
// 10,000 attachments of one name against one of distinct names.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <boost/make_shared.hpp>

#include "engine/Message.h"
#include "foundation/Settings.h"
#include "platform/mapi/PropTags.h"
#include "platform/outlook/Outlook.h"
#include "tests/support/MsgWriter.h"

#ifndef QM_SHARED_DIR
#define QM_SHARED_DIR "../shared"
#endif

namespace {

std::filesystem::path g_store;

// The item of a sample in a store that links to it, as Outlook hands it to the add-in.
void prepare(benchmark::State& state, const char* name) {
  const std::filesystem::path sample = std::filesystem::path(QM_SHARED_DIR) / "testdata" / "msg" / name;
  std::error_code ec;
  std::filesystem::create_directories(g_store / "Inbox", ec);
  std::filesystem::create_symlink(sample, g_store / "Inbox" / name, ec);
  auto outlook = platform::outlook::COutlook::open(g_store);
  CComPtr<IDispatch> item = outlook ? outlook->item(g_store / "Inbox" / name) : nullptr;
  if (!item || !std::filesystem::exists(sample)) {
    state.SkipWithError("sample not found (set QM_SHARED_DIR)");
    return;
  }
  NUtils::getTempPath();
  std::size_t files = 0;
  for (auto _ : state) {
    auto printed = boost::make_shared<CMessage>(item);
    benchmark::DoNotOptimize(printed->getRecipients(kRecipientTo));
    benchmark::DoNotOptimize(printed->getRecipients(kRecipientSender));
    files = printed->getAttachments().size() + printed->getInlineImages().size();
  }
  state.counters["files"] = static_cast<double>(files);
}

BENCHMARK_CAPTURE(prepare, attachmentFiles, "hht__attachmentFiles.msg")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(prepare, inlineImages, "poi__attachment_msg_inlineImg.msg")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(prepare, wordDocument, "tika__testMSG_att_doc.msg")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(prepare, noAttachments, "sicos__TxtSampleEmail.msg")->Unit(benchmark::kMicrosecond);

// A mail of 10,000 attachments, all of one name or each of its own: every file is written under
// a name of its own, found in constant time whatever the number of files of that name.
void manyAttachments(benchmark::State& state, bool oneName) {
  constexpr int kAttachments = 10000;
  testsupport::MsgDescription mail;
  mail.messageClass = "IPM.Note";
  for (int i = 0; i < kAttachments; ++i) {
    const std::u16string name = oneName ? u"report.pdf" : u"report" + quilstring::fromUtf8(std::to_string(i)) + u".pdf";
    mail.attachments.push_back({{testsupport::longProp(PR_ATTACH_METHOD, ATTACH_BY_VALUE),
                                 testsupport::unicodeProp(PR_ATTACH_LONG_FILENAME_W, name),
                                 testsupport::binaryProp(PR_ATTACH_DATA_BIN, "%PDF-1.4")},
                                nullptr});
  }
  const std::string file = oneName ? "one-name.msg" : "distinct-names.msg";
  std::error_code ec;
  std::filesystem::create_directories(g_store / "Inbox", ec);
  const bool written = testsupport::writeMsgFile(mail, g_store / "Inbox" / file);
  auto outlook = written ? platform::outlook::COutlook::open(g_store) : nullptr;
  CComPtr<IDispatch> item = outlook ? outlook->item(g_store / "Inbox" / file) : nullptr;
  if (!item) {
    state.SkipWithError("the mail could not be written");
    return;
  }
  NUtils::getTempPath();
  std::size_t files = 0;
  for (auto _ : state) {
    auto printed = boost::make_shared<CMessage>(item);
    files = printed->getAttachments().size();
  }
  state.counters["files"] = static_cast<double>(files);
}

BENCHMARK_CAPTURE(manyAttachments, oneName, true)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(manyAttachments, distinctNames, false)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  // The attachments go to a temporary folder of this run, not the user's.
  char pattern[] = "/tmp/qmbench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  setenv("TMPDIR", pattern, 1);
  g_store = std::filesystem::path(pattern) / "store";
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  std::filesystem::remove_all(pattern, ignored);
  return 0;
}
