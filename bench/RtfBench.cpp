// Every message without a stored HTML body goes through these on open and on print: a large
// body must stay quick to unpack and to turn into HTML.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/rtf/Rtf.h"

namespace {

// About `bytes` of RTF encapsulating HTML as Outlook writes it, in CP1252 or CP932.
std::string encapsulatedHtml(std::size_t bytes, bool japanese) {
  std::string rtf = japanese ? "{\\rtf1\\ansi\\ansicpg932\\fromhtml1 \\deff0{\\fonttbl{\\f0\\fswiss\\fcharset128 "
                               "\\'82\\'6c\\'82\\'72 \\'83\\'53\\'83\\'56\\'83\\'62\\'83\\'4e;}}"
                             : "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}";
  rtf += "{\\colortbl\\red0\\green0\\blue0;\\red5\\green99\\blue193;}\r\n{\\*\\htmltag64}\\uc1\\pard\\plain\\f0\\fs24 "
         "{\\*\\htmltag19 <html>}{\\*\\htmltag50 <body lang=EN-US style='tab-interval:36.0pt'>}";
  const std::string paragraph =
      japanese ? "{\\*\\htmltag84 <p class=MsoNormal>}\\htmlrtf {\\htmlrtf0 {\\*\\htmltag148 <span lang=JA>}"
                 "\\'93\\'fa\\'96\\'7b\\'8c\\'ea\\'82\\'cc\\'83\\'65\\'83\\'4c\\'83\\'58\\'83\\'67 text "
                 "{\\*\\htmltag156 </span>}{\\*\\htmltag84 &nbsp;}\\htmlrtf \\'a0\\htmlrtf0 \\par\r\n"
                 "{\\*\\htmltag244 <o:p>}{\\*\\htmltag252 </o:p>}\\htmlrtf }\\htmlrtf0 {\\*\\htmltag72 </p>}\r\n"
               : "{\\*\\htmltag84 <p class=MsoNormal>}\\htmlrtf {\\htmlrtf0 {\\*\\htmltag148 <span style='color:#1F497D'>}"
                 "The quick brown fox jumps over the lazy dog, caf\\'e9 \\u8364? \\{x\\} "
                 "{\\*\\htmltag156 </span>}{\\*\\htmltag84 &nbsp;}\\htmlrtf \\'a0\\htmlrtf0 \\par\r\n"
                 "{\\*\\htmltag244 <o:p>}{\\*\\htmltag252 </o:p>}\\htmlrtf }\\htmlrtf0 {\\*\\htmltag72 </p>}\r\n";
  while (rtf.size() < bytes) rtf += paragraph;
  rtf += "{\\*\\htmltag58 </body>}{\\*\\htmltag27 </html>}}";
  return rtf;
}

// About `bytes` of true RTF as Word writes a formatted body.
std::string trueRtf(std::size_t bytes) {
  std::string rtf =
      "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\froman\\fcharset0 Times New Roman;}{\\f1\\fswiss\\fcharset0 "
      "Arial;}{\\f2\\fmodern\\fcharset0 Courier New;}}{\\colortbl;\\red31\\green73\\blue125;\\red255\\green0\\blue0;}"
      "{\\stylesheet{\\s0 Normal;}}\\viewkind4\\uc1\r\n";
  const std::string paragraph =
      "\\pard\\plain\\f1\\fs20 Anna P\\'e1vlovna said {\\b bold words} and {\\i\\cf1 coloured italics}, "
      "{\\ul underlined} text\\tab with a tab\\line and a break \\ldblquote quoted\\rdblquote .\\par\r\n"
      "\\pard\\qc{\\f2\\fs24\\highlight2 centred monospace}\\par\r\n";
  while (rtf.size() < bytes) rtf += paragraph;
  rtf += "}";
  return rtf;
}

void BM_Decompress(benchmark::State& state) {
  const std::string packed = platform::rtf::compressRtf(encapsulatedHtml(static_cast<std::size_t>(state.range(0)), false));
  for (auto _ : state) benchmark::DoNotOptimize(platform::rtf::decompressRtf(packed));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Decompress)->Arg(64 << 10)->Arg(1 << 20);

void BM_Compress(benchmark::State& state) {
  const std::string rtf = encapsulatedHtml(static_cast<std::size_t>(state.range(0)), false);
  for (auto _ : state) benchmark::DoNotOptimize(platform::rtf::compressRtf(rtf));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Compress)->Arg(1 << 20);

void BM_Deencapsulate(benchmark::State& state) {
  const std::string rtf = encapsulatedHtml(static_cast<std::size_t>(state.range(0)), state.range(1) != 0);
  for (auto _ : state) benchmark::DoNotOptimize(platform::rtf::deencapsulateHtml(rtf));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Deencapsulate)->Args({1 << 20, 0})->Args({1 << 20, 1});

void BM_ConvertTrueRtf(benchmark::State& state) {
  const std::string rtf = trueRtf(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(platform::rtf::htmlFromTrueRtf(rtf));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ConvertTrueRtf)->Arg(1 << 20);

// The whole path a message body takes: unpack, then HTML.
void BM_DecompressAndConvert(benchmark::State& state) {
  const std::string packed = platform::rtf::compressRtf(encapsulatedHtml(static_cast<std::size_t>(state.range(0)), false));
  for (auto _ : state) {
    const auto rtf = platform::rtf::decompressRtf(packed);
    benchmark::DoNotOptimize(platform::rtf::htmlFromRtf(rtf->rtf));
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DecompressAndConvert)->Arg(1 << 20);

}  // namespace
