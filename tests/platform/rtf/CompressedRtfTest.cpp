#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/rtf/Rtf.h"
#include "tests/support/TestEnvironment.h"

namespace {

using platform::rtf::compressedRtfCrc;
using platform::rtf::compressRtf;
using platform::rtf::decompressRtf;

using namespace std::string_literals;

// The two worked examples of the compressed RTF format: plain literals and references, and a
// reference that reads bytes it writes itself.
const std::string kSimple =
    "-\x00\x00\x00+\x00\x00\x00LZFu\xf1\xc5\xc7\xa7\x03\x00\n\x00rcpg125B2\n\xf3 hel\t\x00 bw\x05\xb0ld}\n\x80\x0f\xa0"s;
const std::string kSimpleRtf = "{\\rtf1\\ansi\\ansicpg1252\\pard hello world}\r\n";
const std::string kCrossing = "\x1a\x00\x00\x00\x1c\x00\x00\x00LZFu\xe2\xd4KQA\x00\x04 WXYZ\rn}\x01\x0e\xb0"s;
const std::string kCrossingRtf = "{\\rtf1 WXYZWXYZWXYZWXYZWXYZ}";

void setLe32(std::string& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

class CompressedRtfTest : public testsupport::IsolatedTest {};

TEST_F(CompressedRtfTest, DecodesTheWorkedExamples) {
  struct Case {
    const std::string& stream;
    const std::string& rtf;
  } cases[] = {{kSimple, kSimpleRtf}, {kCrossing, kCrossingRtf}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rtf);
    const auto out = decompressRtf(c.stream);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->rtf, c.rtf);
    EXPECT_TRUE(out->compressed);
    EXPECT_TRUE(out->crcMatches);
    EXPECT_TRUE(out->complete);
  }
  EXPECT_EQ(compressedRtfCrc(std::string_view(kSimple).substr(16)), 0xA7C7C5F1u);
  EXPECT_EQ(compressedRtfCrc(""), 0u);
}

TEST_F(CompressedRtfTest, ReadsStoredForm) {
  std::string stream = compressRtf(kSimpleRtf, /*store=*/true);
  ASSERT_EQ(stream.substr(8, 4), "MELA");
  auto out = decompressRtf(stream);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->rtf, kSimpleRtf);
  EXPECT_FALSE(out->compressed);
  EXPECT_TRUE(out->crcMatches);
  EXPECT_TRUE(out->complete);

  // A stored stream cut short answers what is there.
  stream.resize(stream.size() - 5);
  out = decompressRtf(stream);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->rtf, kSimpleRtf.substr(0, kSimpleRtf.size() - 5));
  EXPECT_FALSE(out->complete);
}

TEST_F(CompressedRtfTest, CompressorRoundTripsAndCompresses) {
  std::mt19937 rng(7);
  std::string repetitive;
  for (int i = 0; i < 4000; ++i) repetitive += "{\\pard\\plain\\f0\\fs20 line " + std::to_string(i % 37) + "\\par}\r\n";
  std::string noise(70000, '\0');
  for (char& c : noise) c = static_cast<char>(rng() & 0xFF);
  const std::string inputs[] = {"", "a", "{\\rtf1}", kSimpleRtf, kCrossingRtf, std::string(5000, 'x'), repetitive, noise};
  for (const std::string& in : inputs) {
    SCOPED_TRACE(in.size());
    const std::string packed = compressRtf(in);
    EXPECT_EQ(packed.substr(8, 4), "LZFu");
    const auto out = decompressRtf(packed);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->rtf, in);
    EXPECT_TRUE(out->crcMatches);
    EXPECT_TRUE(out->complete);
  }
  EXPECT_LT(compressRtf(repetitive).size(), repetitive.size() / 4);
  EXPECT_LT(compressRtf(noise).size(), noise.size() + noise.size() / 8 + 32);
}

TEST_F(CompressedRtfTest, RefusesWhatIsNotCompressedRtf) {
  EXPECT_FALSE(decompressRtf(""));
  EXPECT_FALSE(decompressRtf(kSimple.substr(0, 15)));
  std::string wrongType = kSimple;
  wrongType[8] = 'X';
  EXPECT_FALSE(decompressRtf(wrongType));
}

TEST_F(CompressedRtfTest, ReportsButKeepsAMismatchedCrc) {
  std::string stream = kSimple;
  stream[12] ^= 0x01;
  const auto out = decompressRtf(stream);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->rtf, kSimpleRtf);
  EXPECT_FALSE(out->crcMatches);
}

TEST_F(CompressedRtfTest, HostileHeadersStayBounded) {
  // Raw size far beyond what the content can give: the output is what the content gives.
  std::string huge = kSimple;
  setLe32(huge, 4, 0xFFFFFFF0u);
  auto out = decompressRtf(huge);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->rtf, kSimpleRtf);
  EXPECT_FALSE(out->complete);

  // Raw size smaller than the content: output stops there.
  std::string small = kSimple;
  setLe32(small, 4, 10);
  out = decompressRtf(small);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->rtf, kSimpleRtf.substr(0, 10));

  // COMPSIZE claiming more than the stream holds, and less than the header itself.
  for (std::uint32_t compSize : {0xFFFFFFFFu, 0u, 5u}) {
    std::string s = kSimple;
    setLe32(s, 0, compSize);
    out = decompressRtf(s);
    ASSERT_TRUE(out);
    EXPECT_FALSE(out->complete);
    EXPECT_LE(out->rtf.size(), kSimpleRtf.size());
  }
}

TEST_F(CompressedRtfTest, TruncatedContentAnswersWhatWasDecoded) {
  for (std::size_t cut = 16; cut < kSimple.size(); ++cut) {
    SCOPED_TRACE(cut);
    const auto out = decompressRtf(std::string_view(kSimple).substr(0, cut));
    ASSERT_TRUE(out);
    EXPECT_FALSE(out->complete);
    EXPECT_EQ(out->rtf, kSimpleRtf.substr(0, out->rtf.size()));
  }
}

TEST_F(CompressedRtfTest, ReferencesAnywhereInTheDictionaryStayInside) {
  // Every reference form, including ones into never-written dictionary space: 0xFFFF is offset
  // 4095, length 17, and offsets wrap around the 4096-byte window.
  std::string content;
  for (int run = 0; run < 300; ++run) {
    content.push_back('\xFF');
    for (int t = 0; t < 8; ++t) {
      content.push_back(static_cast<char>((run * 37 + t * 11) & 0xFF));
      content.push_back(static_cast<char>((run * 101 + t * 7) & 0xFF));
    }
  }
  std::string stream(16, '\0');
  stream += content;
  setLe32(stream, 0, static_cast<std::uint32_t>(content.size() + 12));
  setLe32(stream, 4, 1u << 20);
  setLe32(stream, 8, platform::rtf::kCompressedType);
  setLe32(stream, 12, compressedRtfCrc(content));
  const auto out = decompressRtf(stream);
  ASSERT_TRUE(out);
  EXPECT_TRUE(out->crcMatches);
  EXPECT_LE(out->rtf.size(), content.size() * 9);
}

}  // namespace
