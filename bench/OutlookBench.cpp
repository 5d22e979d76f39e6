// Opening a sample through the object model and reading every field the default print template
// (PAGEPRINT_2057.HTM) uses, as printing one item does.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "platform/com/DispatchDriver.h"
#include "platform/mapi/PropTags.h"
#include "platform/outlook/Outlook.h"
#include "platform/system/Text.h"
#include "tests/support/MsgWriter.h"

#ifndef QM_SHARED_DIR
#define QM_SHARED_DIR "../shared"
#endif

namespace {

namespace fs = std::filesystem;
using platform::outlook::COutlook;

// The template's fields by DISPID: Subject, Categories, Importance, Sensitivity, FlagRequest,
// FlagStatus; what the item access reads: MessageClass, BodyFormat, Body, HTMLBody, MAPIOBJECT,
// UserProperties, Links, Attachments.
constexpr DISPID kFields[] = {0x37, 0x9001, 0x17, 0x36, 0x8530, 0x1090, 0x1A, 0xFA49, 0x9100, 0xF404, 0xF100, 0xF816, 0xF405, 0xF815};

void readTemplateFieldsOf(benchmark::State& state, const fs::path& source) {
  const fs::path sample = source.filename();
  const fs::path root = fs::temp_directory_path() / "quillmark-outlook-bench";
  std::error_code ec;
  fs::remove_all(root, ec);
  fs::create_directories(root / "Inbox");
  fs::create_symlink(source, root / "Inbox" / sample, ec);
  if (!fs::exists(source)) {
    state.SkipWithError("sample not found (set QM_SHARED_DIR)");
    return;
  }
  for (auto _ : state) {
    // A fresh store each time: the item is opened and read as when it is printed first.
    auto outlook = COutlook::open(root);
    CComPtr<IDispatch> item = outlook->item(root / "Inbox" / sample);
    for (DISPID id : kFields) {
      CComVariant value;
      CComDispatchDriver::GetProperty(item, id, &value);
      benchmark::DoNotOptimize(value.vt);
    }
    CComVariant count;
    CComDispatchDriver(item).GetPropertyByPath(u"Attachments.Count", &count);
    benchmark::DoNotOptimize(count.vt);
  }
  fs::remove_all(root, ec);
}

void readTemplateFields(benchmark::State& state, const char* sample) {
  readTemplateFieldsOf(state, fs::path(QM_SHARED_DIR) / "testdata" / "msg" / sample);
}

// A 1 MB mail with 64 attachments of 16 KB, made by the project's own writer.
void BM_TemplateFieldsLargeFixture(benchmark::State& state) {
  using namespace testsupport;
  MsgDescription d;
  d.messageClass = "IPM.Note";
  d.props = {unicodeProp(PR_SUBJECT_W, u"Many attachments"), unicodeProp(PR_BODY_W, std::u16string(4096, u'b'))};
  for (int i = 1; i <= 64; ++i) {
    const std::u16string name = u"file" + platform::system::utf8ToUtf16(std::to_string(i)) + u".bin";
    MsgAttachment attachment;
    attachment.props = {longProp(PR_ATTACH_METHOD, ATTACH_BY_VALUE), unicodeProp(PR_ATTACH_LONG_FILENAME_W, name),
                        binaryProp(PR_ATTACH_DATA_BIN, std::string(16 * 1024, static_cast<char>('a' + i % 26)))};
    d.attachments.push_back(std::move(attachment));
  }
  const fs::path file = fs::temp_directory_path() / "quillmark-bench-large.msg";
  if (!writeMsgFile(d, file)) {
    state.SkipWithError("cannot write the fixture");
    return;
  }
  readTemplateFieldsOf(state, file);
  std::error_code ec;
  fs::remove(file, ec);
}

void BM_TemplateFieldsPlainMail(benchmark::State& state) { readTemplateFields(state, "tika__testMSG.msg"); }
void BM_TemplateFieldsHtmlMail(benchmark::State& state) {
  readTemplateFields(state, "bbot__HTML_mail_with_replyto_and_attachment_and_embedded_image.msg");
}
void BM_TemplateFieldsAppointment(benchmark::State& state) { readTemplateFields(state, "tika__testMSG_Appointment.msg"); }

BENCHMARK(BM_TemplateFieldsPlainMail);
BENCHMARK(BM_TemplateFieldsHtmlMail);
BENCHMARK(BM_TemplateFieldsAppointment);
BENCHMARK(BM_TemplateFieldsLargeFixture);

}  // namespace
