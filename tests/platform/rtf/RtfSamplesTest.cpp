// The compressed RTF bodies of the real sample messages, read straight from the compound files.
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-utils.h>
#include <gtest/gtest.h>
#include <strings.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/rtf/Rtf.h"
#include "platform/system/Text.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;
using platform::rtf::RtfKind;

struct RtfStream {
  std::string path;  // inside the compound file
  std::string bytes;
};

void collect(GsfInfile* dir, const std::string& prefix, std::vector<RtfStream>& out) {
  const int n = gsf_infile_num_children(dir);
  for (int i = 0; i < n; ++i) {
    GsfInput* child = gsf_infile_child_by_index(dir, i);
    if (!child) continue;
    const std::string name = gsf_infile_name_by_index(dir, i);
    if (name == "__nameid_version1.0") {
      // Its 0x1009 stream is a hash bucket of the named-property map, not a body.
    } else if (GSF_IS_INFILE(child) && gsf_infile_num_children(GSF_INFILE(child)) >= 0) {
      collect(GSF_INFILE(child), prefix + name + "/", out);
    } else if (strcasecmp(name.c_str(), "__substg1.0_10090102") == 0) {
      const gsf_off_t size = gsf_input_size(child);
      std::string bytes(static_cast<std::size_t>(size), '\0');
      if (size == 0 || gsf_input_read(child, static_cast<std::size_t>(size), reinterpret_cast<guint8*>(bytes.data())))
        out.push_back({prefix + name, std::move(bytes)});
    }
    g_object_unref(child);
  }
}

std::vector<RtfStream> rtfStreams(const fs::path& file) {
  std::vector<RtfStream> out;
  GError* error = nullptr;
  GsfInput* input = gsf_input_stdio_new(file.c_str(), &error);
  if (!input) {
    if (error) g_error_free(error);
    return out;
  }
  GsfInfile* root = gsf_infile_msole_new(input, &error);
  if (root) {
    collect(root, "", out);
    g_object_unref(root);
  }
  if (error) g_error_free(error);
  g_object_unref(input);
  return out;
}

class RtfSamplesTest : public testsupport::IsolatedTest {
 protected:
  static void SetUpTestSuite() { gsf_init(); }
  fs::path samples() const { return testsupport::sharedDir() / "testdata" / "msg"; }
};

// What each sample's RTF body must give, checked by hand against the message and the independent
// reading of each file: the stream, its raw size, its kind and phrases of its HTML.
struct Expected {
  const char* file;
  const char* stream;
  std::size_t rawSize;
  RtfKind kind;
  std::vector<std::string> phrases;
};

const char* const kRoot = "__substg1.0_10090102";
const char* const kEmbedded = "__attach_version1.0_#00000000/__substg1.0_3701000D/__substg1.0_10090102";

const std::vector<Expected>& expectations() {
  static const std::vector<Expected> kExpected = {
      {"aspose__Test_Meeting", kRoot, 10578, RtfKind::Rtf, {">Test Meeting</span></p>"}},
      {"bbot__HTML_mail_with_replyto_and_attachment_and_embedded_image", kRoot, 481, RtfKind::FromHtml,
       {"We should meet up!", "<img src=\"cid:thumbsup\">"}},
      {"bbot__S_MIME_test_message_signed", kRoot, 1683, RtfKind::FromHtml,
       {"<p>This is an encrypted message, with one embedded image and one\r\n", "dummy attachment.</p>"}},
      {"bbot__attachment_with_a_bracket_in_the_name", kRoot, 41128, RtfKind::FromHtml,
       {"Dummy text. Btw, the pdf is actually a .txt", "</body></html>"}},
      {"bbot__embedded_image", kRoot, 15059, RtfKind::FromHtml,
       {"Kraft Foods Europe Procurement GmbH \xe2\x80\x93 organiza\xc4\x8dn\xc3\xa1 zlo\xc5\xbeka"}},
      {"bbot__simple_email_with_TO_and_CC_multiple", kRoot, 2961, RtfKind::FromHtml,
       {"Just a test to get an email with multiple to/cc/bcc recipients."}},
      {"hht__Friday_Lunch", kRoot, 12090, RtfKind::Rtf, {"<body style=\"font-family:'Times New Roman'\">"}},
      {"hht__Hello_+CJK", kRoot, 45137, RtfKind::FromHtml,
       {"\xe4\xbd\xa0\xe5\xa5\xbd", "\xe3\x81\x93\xe3\x82\x93\xe3\x81\xab\xe3\x81\xa1\xe3\x81\xaf",
        "\xec\x95\x88\xeb\x85\x95\xed\x95\x98\xec\x84\xb8\xec\x9a\x94",
        "font-family:\"\xef\xbc\xad\xef\xbc\xb3 \xe3\x82\xb4\xe3\x82\xb7\xe3\x83\x83\xe3\x82\xaf\""}},
      {"hht__attachAndInline", kRoot, 42418, RtfKind::FromHtml,
       {"src=\"cid:image001.png@01D78380.EF6DC500\"", "id=\"&#22259;_x0020_1\""}},
      {"hht__attachmentFiles", kRoot, 3073, RtfKind::FromHtml, {"attachmentFiles"}},
      {"hht__contactAnsi", kRoot, 12101, RtfKind::Rtf, {"<p style=\"margin:0;white-space:pre-wrap;text-align:justify\"><br></p>"}},
      {"hht__msgInMsg", kRoot, 41495, RtfKind::FromHtml, {"I have attachments!"}},
      {"hht__msgInMsg", kEmbedded, 777, RtfKind::FromHtml,
       {"\xe3\x81\x93\xe3\x81\xae\xe9\x9b\xbb\xe5\xad\x90\xe3\x83\xa1\xe3\x83\xbc\xe3\x83\xab "
        "\xe3\x83\xa1\xe3\x83\x83\xe3\x82\xbb\xe3\x83\xbc\xe3\x82\xb8\xe3\x81\xaf"}},
      {"hht__nonUnicodeCP932", kRoot, 43621, RtfKind::FromHtml,
       {"\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e</span>", "<span lang=EN-US>Non Unicode </span>", "\xe6\x9c\xac\xe6\x96\x87"}},
      {"hht__nonUnicodeMail", kRoot, 41801, RtfKind::FromHtml, {"Non Unicode mail body!"}},
      {"hht__test1", kRoot, 275, RtfKind::FromText, {">body</span></p>"}},
      {"poi__attachment_msg_inlineImg", kRoot, 24353, RtfKind::FromHtml,
       {"Download and install SQLite Manager", "https://addons.mozilla.org/en-us/firefox/addon/sqlite-manager/"}},
      {"sicos__EmailWithMsgAttachment", kRoot, 2318, RtfKind::FromHtml, {"<body lang=en-AT"}},
      {"sicos__EmailWithMsgAttachment", kEmbedded, 2318, RtfKind::FromHtml, {"<body lang=en-AT"}},
      {"sicos__EmailWithSpecialCharsInSubject", kRoot, 4120, RtfKind::FromHtml,
       {"Testing .msg subject encoding", "Julie Clarebots"}},
      {"sicos__RtfSampleEmail", kRoot, 27652, RtfKind::Rtf,
       {"\xe2\x80\x9cWell, Prince, so Genoa and Lucca", "Anna P\xc3\xa1vlovna", "color:#548dd4;"}},
      {"sicos__TxtSampleEmail", kRoot, 14055, RtfKind::FromText, {"BOOK ONE: 1805", "Anna P\xc3\xa1vlovna"}},
      {"tika__testMSG", kRoot, 910, RtfKind::FromText,
       {"As discussed, I&#39;ve been working on making the type detection code more</span></p>"}},
      {"tika__testMSG_Appointment", kRoot, 39808, RtfKind::FromHtml, {"This is a meeting to discuss jumping"}},
      {"tika__testMSG_Contact", kRoot, 9785, RtfKind::Rtf,
       {"<span style=\"font-family:'Calibri';font-size:11pt;\">This was one quick brown fox."}},
      {"tika__testMSG_Post", kRoot, 40058, RtfKind::FromHtml, {"Is going to jump over the lazy brown dog!!!"}},
      {"tika__testMSG_StickyNote", kRoot, 247, RtfKind::Rtf, {"This is a note about the quick brown fox"}},
      {"tika__testMSG_Task", kRoot, 9764, RtfKind::Rtf, {"Quick brown fox must do what he must"}},
      {"tika__testMSG_att_doc", kRoot, 2412, RtfKind::FromHtml, {"contenu"}},
  };
  return kExpected;
}

TEST_F(RtfSamplesTest, EveryRtfBodyDecompressesWithItsCrc) {
  QM_REQUIRE_SHARED_DATA();
  std::size_t streams = 0;
  for (const auto& entry : fs::directory_iterator(samples())) {
    if (entry.path().extension() != ".msg") continue;
    for (const RtfStream& s : rtfStreams(entry.path())) {
      SCOPED_TRACE(entry.path().filename().string() + " " + s.path);
      ++streams;
      const auto rtf = platform::rtf::decompressRtf(s.bytes);
      ASSERT_TRUE(rtf);
      EXPECT_TRUE(rtf->compressed);
      EXPECT_TRUE(rtf->crcMatches);
      EXPECT_TRUE(rtf->complete);
      EXPECT_EQ(rtf->rtf.rfind("{\\rtf1", 0), 0u);
      // Our own compressor gives a stream that decodes to the same bytes.
      EXPECT_EQ(platform::rtf::decompressRtf(platform::rtf::compressRtf(rtf->rtf))->rtf, rtf->rtf);
    }
  }
  EXPECT_EQ(streams, expectations().size());
}

TEST_F(RtfSamplesTest, BodiesGiveTheirHtml) {
  QM_REQUIRE_SHARED_DATA();
  for (const Expected& e : expectations()) {
    SCOPED_TRACE(std::string(e.file) + " " + e.stream);
    const std::vector<RtfStream> streams = rtfStreams(samples() / (std::string(e.file) + ".msg"));
    const auto it = std::find_if(streams.begin(), streams.end(), [&](const RtfStream& s) { return s.path == e.stream; });
    ASSERT_NE(it, streams.end());
    const auto rtf = platform::rtf::decompressRtf(it->bytes);
    ASSERT_TRUE(rtf);
    EXPECT_EQ(rtf->rtf.size(), e.rawSize);
    EXPECT_EQ(platform::rtf::rtfKind(rtf->rtf), e.kind);
    const auto html = platform::rtf::htmlFromRtf(rtf->rtf);
    ASSERT_TRUE(html);
    EXPECT_EQ(html->kind, e.kind);
    const std::string text = platform::system::utf16ToUtf8(html->html);
    for (const std::string& phrase : e.phrases) EXPECT_NE(text.find(phrase), std::string::npos) << phrase;
    // Nothing undecodable, and none of the RTF leaks into the HTML.
    EXPECT_EQ(text.find("\xef\xbf\xbd"), std::string::npos);
    EXPECT_EQ(text.find("\\htmlrtf"), std::string::npos);
    EXPECT_EQ(text.find("\\par"), std::string::npos);
    EXPECT_EQ(text.find("fonttbl"), std::string::npos);
  }
}

}  // namespace
