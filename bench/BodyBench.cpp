// The body of a 50 KB mail prepared for printing: loaded from the item and made inert, cut to the
// thread, its style rules collected, and copied into a template element with its images.
#include <benchmark/benchmark.h>

#include <string>

#include <boost/make_shared.hpp>

#include "engine/InertHtml.h"
#include "engine/MSHTMLWrapper.h"
#include "engine/Message.h"
#include "engine/PropertyFormatter.h"
#include "platform/com/ComObject.h"
#include "platform/com/DispatchImpl.h"

namespace {

// A Word-style HTML mail of about 50 KB: styles, tables, links, and a quoted earlier message.
std::u16string mail50k() {
  std::u16string html =
      u"<html><head><meta http-equiv=Content-Type content=\"text/html\"><style>"
      u"p.MsoNormal, li.MsoNormal { margin: 0cm; font-size: 11pt; font-family: \"Calibri\" } "
      u"a:link { color: #0563C1 } @page WordSection1 { size: 612pt 792pt } div.WordSection1 { page: WordSection1 }"
      u"</style></head><body lang=EN-GB link=\"#0563C1\"><div class=WordSection1>";
  int i = 0;
  while (html.size() < 50 * 1024) {
    html += u"<p class=MsoNormal>Paragraph " + std::u16string(1, char16_t(u'A' + i % 26)) +
            u" with <b>bold</b>, <a href=\"https://example.org/" + std::u16string(1, char16_t(u'a' + i % 26)) +
            u"\">a link</a> and &amp; entities.</p><table border=0><tr><td valign=top>cell</td><td>cell</td></tr></table>";
    if (++i == 80) html += u"<p class=MsoNormal><b>From:</b> Ann Example<br><b>Sent:</b> Monday</p>";
  }
  return html + u"</div></body></html>";
}

class CBodyItem : public CComObjectRootEx<CComSingleThreadModel>, public platform::com::IDispatchTableImpl<IDispatch> {
 public:
  BEGIN_COM_MAP(CBodyItem)
    COM_INTERFACE_ENTRY(IDispatch)
  END_COM_MAP()
  void set(const std::u16string& html) {
    m_html = html;
    dispatchTable().property(0xF404, u"HTMLBody", [this](const platform::com::CDispArgs&, VARIANT* result) {
      return platform::com::putVariant(result, CComVariant(m_html.c_str()));
    });
    dispatchTable().property(0xFA49, u"BodyFormat", [](const platform::com::CDispArgs&, VARIANT* result) {
      return platform::com::putVariant(result, CComVariant(LONG(2)));
    });
  }

 private:
  std::u16string m_html;
};

void makeInert(benchmark::State& state) {
  const std::u16string html = mail50k();
  for (auto _ : state) {
    CMSHTMLWrapper wrapper;
    wrapper.LoadFromString(html);
    benchmark::DoNotOptimize(NInertHtml::makeDocumentInert(wrapper));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(html.size() * 2));
}

void prepareAndFormatBody(benchmark::State& state) {
  CComObject<CBodyItem>* item = nullptr;
  CComObject<CBodyItem>::CreateInstance(&item);
  CComPtr<IDispatch> hold(item);
  item->set(mail50k());
  const PrintOptions thread{1, 1, 2, 0};
  for (auto _ : state) {
    auto message = boost::make_shared<CMessage>(hold);
    message->setHTMLFromBody(state.range(0) ? &thread : nullptr);
    platform::html::CHtmlDocument page;
    page.loadFromString(u"<html><body><div id=QMMessProp>NAME=Body</div></body></html>");
    auto field = page.all().item(u"QMMessProp").item(0);
    CElementSettings settings(u"NAME=Body", hold);
    benchmark::DoNotOptimize(CPropertyFormatter::find(settings.kind())->format(settings, *message, field));
    message->applyHTMLBodyStyles(page);
  }
}

BENCHMARK(makeInert)->Unit(benchmark::kMillisecond);
BENCHMARK(prepareAndFormatBody)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
