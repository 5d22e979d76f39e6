// The off-screen document parses every mail body and template and serialises the filled page;
// the filler looks elements up by id through `all` many times per template.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/html/HtmlDocument.h"

namespace {

// A mail-like document of about `bytes` UTF-16 units: paragraphs, tables, styled spans, images.
std::u16string mailBody(std::size_t bytes) {
  std::u16string html =
      u"<!DOCTYPE html><html><head><style>p.MsoNormal, li.MsoNormal {margin:0in; font-size:11.0pt}"
      u"</style></head><body lang=EN-US>";
  for (int i = 0; html.size() < bytes; ++i) {
    const std::u16string n = std::u16string(1, static_cast<char16_t>(u'a' + i % 26));
    html += u"<div class=WordSection1><p class=MsoNormal id=p" + n + u"><span style='font-family:\"Calibri\"'>"
            u"Hello &amp; welcome to the meeting notes, item " + n + u"</span></p>"
            u"<table border=0 cellpadding=0><tr><td width=200 valign=top><p><b>From:</b> Ann &lt;ann@example.com&gt;"
            u"</p></td><td><img src=\"cid:image001.png@01D\" width=10 height=10></td></tr></table>"
            u"<p>&nbsp;</p></div>\r\n";
  }
  return html + u"</body></html>";
}

void BM_ParseAndSerialise(benchmark::State& state) {
  const std::u16string html = mailBody(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    platform::html::CHtmlDocument doc;
    if (doc.loadFromString(html) != 0) state.SkipWithError("load failed");
    std::u16string out = doc.documentHTML();
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<long>(html.size() * 2));
}
BENCHMARK(BM_ParseAndSerialise)->Arg(100 * 1024)->Arg(1024 * 1024)->Arg(12 * 1024 * 1024)->Unit(benchmark::kMillisecond);

void BM_AllItemById(benchmark::State& state) {
  platform::html::CHtmlDocument doc;
  (void)doc.loadFromString(mailBody(static_cast<std::size_t>(state.range(0))) + u"<span id=QMMessProp>x</span>");
  const platform::html::CHtmlElement root = doc.root();
  for (auto _ : state) {
    auto found = root.all().item(u"QMMessProp");
    benchmark::DoNotOptimize(found);
  }
  state.counters["elements"] = static_cast<double>(root.all().length());
}
BENCHMARK(BM_AllItemById)->Arg(100 * 1024)->Arg(1024 * 1024)->Unit(benchmark::kMicrosecond);

void BM_SetInnerHtml(benchmark::State& state) {
  platform::html::CHtmlDocument doc;
  (void)doc.loadFromString(u"<div id=d></div>");
  platform::html::CHtmlElement d = doc.all().item(u"d").item(0);
  for (auto _ : state) (void)d.setInnerHTML(u"NAME=Subject|FORMAT_STRING=<b>%s</b>|HIDE_ROW_IF_EMPTY");
}
BENCHMARK(BM_SetInnerHtml)->Unit(benchmark::kMicrosecond);

}  // namespace
