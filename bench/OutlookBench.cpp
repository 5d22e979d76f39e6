// Opening a sample through the object model and reading every field the default print template
// (PAGEPRINT_2057.HTM) uses, as printing one item does.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "platform/com/DispatchDriver.h"
#include "platform/outlook/Outlook.h"

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

void readTemplateFields(benchmark::State& state, const char* sample) {
  const fs::path source = fs::path(QM_SHARED_DIR) / "testdata" / "msg" / sample;
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

void BM_TemplateFieldsPlainMail(benchmark::State& state) { readTemplateFields(state, "tika__testMSG.msg"); }
void BM_TemplateFieldsHtmlMail(benchmark::State& state) {
  readTemplateFields(state, "bbot__HTML_mail_with_replyto_and_attachment_and_embedded_image.msg");
}
void BM_TemplateFieldsAppointment(benchmark::State& state) { readTemplateFields(state, "tika__testMSG_Appointment.msg"); }

BENCHMARK(BM_TemplateFieldsPlainMail);
BENCHMARK(BM_TemplateFieldsHtmlMail);
BENCHMARK(BM_TemplateFieldsAppointment);

}  // namespace
