// Cleaning and converting item bodies runs once per printed item; a long mail must stay cheap.
#include <benchmark/benchmark.h>

#include <string>

#include "foundation/HtmlText.h"
#include "foundation/Thread.h"
#include "platform/html/HtmlDocument.h"

namespace {

constexpr std::size_t kBodySize = 100 * 1024;

// About 100 KB of mail HTML, with the unclosed tags Tidy has to repair.
std::u16string htmlBody() {
  std::u16string body = u"<html><body><div class=WordSection1>";
  for (int i = 0; body.size() < kBodySize; ++i) {
    body += u"<p class=MsoNormal><b>Paragraph " + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)) +
            u"</b> Caf\u00e9 & co. &lt;quoted&gt; text <span style='color:#1F497D'>with a span";
    if (i % 7 == 0) body += u"<br><i>unclosed italic";
    body += u"</p>\r\n";
  }
  return body + u"</div></body></html>";
}

// About 100 KB of plain mail text: quoted lines, runs of blanks, characters to escape.
std::u16string plainBody() {
  std::u16string body;
  for (int i = 0; body.size() < kBodySize; ++i) {
    body += (i % 5 == 0) ? u"From: Ann <ann@example.com>\r\n" : u"> a<b && \"c\"    indented  text line\r\n";
  }
  return body;
}

void BM_TidyHTML(benchmark::State& state) {
  const std::u16string body = htmlBody();
  for (auto _ : state) {
    std::u16string text = body;
    NUtils::tidyHTML(text);
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(body.size() * 2));
}
BENCHMARK(BM_TidyHTML)->Unit(benchmark::kMillisecond);

void BM_PlainTextToHTML(benchmark::State& state) {
  const std::u16string body = plainBody();
  for (auto _ : state) {
    std::u16string text = body;
    NUtils::plainTextToHTML(text, false);
    NUtils::spacesToNbsp(text);
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(body.size() * 2));
}
BENCHMARK(BM_PlainTextToHTML)->Unit(benchmark::kMicrosecond);

// Fewer headers than asked for: the whole body is walked and kept.
void BM_ConvertTextToThread(benchmark::State& state) {
  const std::u16string body = plainBody();
  for (auto _ : state) {
    std::u16string text = body;
    NUtils::convertTextToThread(text, 1 << 20, u"> ", NUtils::threadHeaderTexts());
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_ConvertTextToThread)->Unit(benchmark::kMicrosecond);

// About 100 KB of replies quoted inside each other, each under a nested header block; the cut
// comes after the last earlier response, so every header is counted.
void BM_ChangeBodyToThread(benchmark::State& state) {
  std::u16string html = u"<html><body><p>Latest</p>";
  int replies = 0;
  while (html.size() < kBodySize) {
    html += u"<blockquote><div><p class=MsoNormal><b>From:</b> Ann<br><b>Sent:</b> Monday</p></div>";
    for (int i = 0; i < 20; ++i) html += u"<p class=MsoNormal>quoted <span>text</span> line</p>";
    ++replies;
  }
  for (int i = 0; i < replies; ++i) html += u"</blockquote>";
  html += u"</body></html>";
  for (auto _ : state) {
    state.PauseTiming();
    platform::html::CHtmlDocument document;
    document.loadFromString(html);
    state.ResumeTiming();
    NUtils::changeBodyToThread(document, replies - 1, u"> ", {u"FROM"});
    benchmark::DoNotOptimize(document);
  }
}
BENCHMARK(BM_ChangeBodyToThread)->Unit(benchmark::kMillisecond);

}  // namespace
