// quillmark print over a mail written to do harm when shown: scripts, event handlers, remote
// images, style sheets, @import, preconnect, a meta refresh, frames, a <base> elsewhere. A local
// server stands in for the internet. The printed pages show the mail's text, no script has run
// and the server is never reached; the same holds for the body carried in compressed RTF.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/mapi/MAPIDefs.h"
#include "platform/mapi/PropTags.h"
#include "platform/rtf/Rtf.h"
#include "platform/system/Text.h"
#include "tests/support/MsgWriter.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

// Written into the page only by script that runs, so the pages' text has it only then. The
// scripts hold it reversed: the script's own text, were it ever printed, does not match.
constexpr const char* kScriptMarker = "SCRIPT_RAN";
// What the server answers; on a page only when something was fetched from it.
constexpr const char* kServerMarker = "FETCHED_FROM_SERVER";

// A TCP server on a free port of 127.0.0.1 that counts the connections it accepts and answers
// each with a small HTML page.
class SpyServer {
 public:
  SpyServer() {
    m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (m_socket < 0 || ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(m_socket, 16) != 0 || ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &size) != 0)
      return;
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
  }
  ~SpyServer() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    if (m_socket >= 0) ::close(m_socket);
  }
  SpyServer(const SpyServer&) = delete;
  SpyServer& operator=(const SpyServer&) = delete;

  int port() const { return m_port; }
  int connections() const { return m_connections; }
  void resetCount() { m_connections = 0; }

 private:
  void serve() {
    while (!m_stop) {
      pollfd listening{m_socket, POLLIN, 0};
      if (::poll(&listening, 1, 20) <= 0) continue;
      const int client = ::accept(m_socket, nullptr, nullptr);
      if (client < 0) continue;
      ++m_connections;
      pollfd readable{client, POLLIN, 0};
      char request[4096];
      if (::poll(&readable, 1, 200) > 0 && ::recv(client, request, sizeof request, 0) > 0) {
        const std::string body = std::string("<p>") + kServerMarker + "</p>";
        const std::string response = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                     std::to_string(body.size()) + "\r\n\r\n" + body;
        [[maybe_unused]] const ssize_t sent = ::send(client, response.data(), response.size(), MSG_NOSIGNAL);
      }
      ::close(client);
    }
  }

  int m_socket = -1;
  int m_port = 0;
  std::atomic<int> m_connections{0};
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

// Script that writes the marker with a suffix, the marker assembled at run time.
std::string writer(const std::string& suffix, const std::string& how = "document.body.insertAdjacentText('beforeend',") {
  std::string marker = std::string(kScriptMarker) + "_" + suffix;
  const std::string reversed(marker.rbegin(), marker.rend());
  return how + "'" + reversed + "'.split('').reverse().join(''))";
}

std::string hostileHtml(int port) {
  const std::string remote = "http://127.0.0.1:" + std::to_string(port);
  return "<html><head>"
         "<meta http-equiv=\"refresh\" content=\"0;url=" + remote + "/refresh\">"
         "<base href=\"" + remote + "/base/\">"
         "<link rel=\"stylesheet\" href=\"" + remote + "/sheet.css\">"
         "<link rel=\"preconnect\" href=\"" + remote + "\">"
         "<link rel=\"dns-prefetch\" href=\"" + remote + "\">"
         "<link rel=\"prefetch\" href=\"" + remote + "/next.html\">"
         "<style>@import url(" + remote + "/imported.css);"
         "@font-face{font-family:Spy;src:url(" + remote + "/font.woff)}"
         "p.spy{font-family:Spy;background-image:url(" + remote + "/css-background.png)}</style>"
         "<script>" + writer("INLINE", "document.write(") + "</script>"
         "<script src=\"" + remote + "/script.js\"></script>"
         "</head><body background=\"" + remote + "/body-background.png\" onload=\"" + writer("ONLOAD") + "\">"
         "<p class=\"spy\">Visible text of the hostile mail, first paragraph.</p>"
         "<img src=\"" + remote + "/image.png\" onerror=\"" + writer("ONERROR_REMOTE") + "\">"
         "<img src=\"missing-local.png\" onerror=\"" + writer("ONERROR_LOCAL") + "\">"
         "<img src=\"relative-to-base.png\">"
         "<img srcset=\"" + remote + "/one.png 1x, " + remote + "/two.png 2x\">"
         "<picture><source srcset=\"" + remote + "/source.png\"><img alt=\"\"></picture>"
         "<svg onload=\"" + writer("SVG") + "\" width=\"10\" height=\"10\"></svg>"
         "<table background=\"" + remote + "/table-background.png\"><tr><td>Cell text of the hostile mail</td></tr></table>"
         "<div style=\"background:url(" + remote + "/inline-style.png)\">Styled division text</div>"
         "<iframe src=\"" + remote + "/frame.html\"></iframe>"
         "<iframe srcdoc=\"&lt;script&gt;" + writer("SRCDOC", "document.write(") + "&lt;/script&gt;\"></iframe>"
         "<video poster=\"" + remote + "/poster.png\"></video>"
         "<object data=\"" + remote + "/object.html\"></object>"
         "<embed src=\"" + remote + "/embed.html\">"
         "<p>End of the hostile mail.</p>"
         "</body></html>";
}

// The HTML carried in compressed RTF, as Outlook keeps an HTML body it converted.
std::string encapsulatedRtf(const std::string& html) {
  std::string escaped;
  for (char c : html) {
    if (c == '\\' || c == '{' || c == '}') escaped += '\\';
    escaped += c;
  }
  return platform::rtf::compressRtf(
      "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl{\\f0\\fswiss Arial;}}"
      "\\uc1\\pard\\plain\\deftab360 \\f0\\fs24 {\\*\\htmltag64}{\\*\\htmltag0 " + escaped + "}}");
}

MsgDescription hostileMail(const std::u16string& subject, MsgValue body) {
  MsgDescription d;
  d.messageClass = "IPM.Note";
  d.props = {unicodeProp(PR_SUBJECT_W, subject), unicodeProp(PR_SENDER_NAME_W, u"Mallory Spy"),
             unicodeProp(PR_SENDER_EMAIL_ADDRESS_W, u"mallory@example.com"), unicodeProp(PR_SENDER_ADDRTYPE_W, u"SMTP"),
             unicodeProp(PR_SENT_REPRESENTING_NAME_W, u"Mallory Spy"), longProp(PR_INTERNET_CPID, 65001),
             timeProp(PR_CLIENT_SUBMIT_TIME, fileTimeFromUnix(1780995600)), std::move(body)};
  return d;
}

// Whitespace runs made one blank, so text broken over lines by the layout still matches.
std::string collapse(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f') {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

class HostileMailPrintTest : public IsolatedTest {
 protected:
  int quillmark(const std::string& args) {
    return testsupport::runCommand(std::string(QM_QUILLMARK_BINARY) + " " + args, dir());
  }
  std::string err() { return readFile(dir() / "err.txt"); }
  std::string pdfText(const fs::path& pdf) {
    const fs::path text = dir() / "pdf.txt";
    if (std::system(("pdftotext '" + pdf.string() + "' '" + text.string() + "' 2>/dev/null").c_str()) != 0) return {};
    return collapse(readFile(text));
  }
};

TEST_F(HostileMailPrintTest, NoScriptRunsAndNothingIsFetched) {
  SpyServer server;
  ASSERT_GT(server.port(), 0);
  // The server counts what reaches it: one connection of our own first.
  {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(server.port()));
    ASSERT_EQ(::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(probe);
    for (int i = 0; i < 100 && server.connections() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(server.connections(), 1);
    server.resetCount();
  }

  const std::string html = hostileHtml(server.port());
  const std::string rtf = encapsulatedRtf(html);
  // The RTF carries the markup whole, as the store reads it back.
  const auto unpacked = platform::rtf::decompressRtf(rtf);
  ASSERT_TRUE(unpacked && unpacked->complete);
  const auto carried = platform::rtf::deencapsulateHtml(unpacked->rtf);
  ASSERT_TRUE(carried);
  EXPECT_EQ(platform::system::utf16ToUtf8(*carried), html);
  ASSERT_TRUE(writeMsgFile(hostileMail(u"Hostile fixture in HTML", binaryProp(PR_HTML, html)), dir() / "html.msg"));
  ASSERT_TRUE(writeMsgFile(hostileMail(u"Hostile fixture in RTF",
                                       binaryProp(PR_RTF_COMPRESSED, rtf)),
                           dir() / "rtf.msg"));

  ASSERT_EQ(quillmark("install"), 0) << err();
  const fs::path out = dir() / "pdf";
  ASSERT_EQ(quillmark("print " + (dir() / "html.msg").string() + " " + (dir() / "rtf.msg").string() + " --out " +
                      out.string()),
            0)
      << err();
  // A connection made just before the browser went may still wait in the backlog.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(server.connections(), 0);

  for (const char* name : {"html", "rtf"}) {
    SCOPED_TRACE(name);
    const std::string text = pdfText(out / (std::string(name) + ".pdf"));
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.find(std::string("Hostile fixture in ") + (name == std::string("html") ? "HTML" : "RTF")),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Mallory Spy"), std::string::npos) << text;
    for (const char* visible : {"Visible text of the hostile mail, first paragraph.", "Cell text of the hostile mail",
                                "Styled division text", "End of the hostile mail."})
      EXPECT_NE(text.find(visible), std::string::npos) << visible << "\n" << text;
    EXPECT_EQ(text.find(kScriptMarker), std::string::npos) << text;
    EXPECT_EQ(text.find(kServerMarker), std::string::npos) << text;
    // Nor is any script's own text printed instead.
    EXPECT_EQ(text.find("reverse()"), std::string::npos) << text;
  }
}

// A picture of a size of its own (24-bit BMP), to find it among the PDF's images.
std::string bitmap(int width, int height) {
  const int row = (width * 3 + 3) & ~3;
  std::string bytes(static_cast<std::size_t>(54 + row * height), '\x60');
  const auto put = [&](int at, std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i)
      bytes[static_cast<std::size_t>(at + i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  bytes[0] = 'B';
  bytes[1] = 'M';
  put(2, static_cast<std::uint32_t>(bytes.size()), 4);
  put(6, 0, 4);
  put(10, 54, 4);
  put(14, 40, 4);
  put(18, static_cast<std::uint32_t>(width), 4);
  put(22, static_cast<std::uint32_t>(height), 4);
  put(26, 1, 2);
  put(28, 24, 2);
  for (int at = 30; at < 54; ++at) bytes[static_cast<std::size_t>(at)] = 0;
  put(34, static_cast<std::uint32_t>(row * height), 4);
  return bytes;
}

TEST_F(HostileMailPrintTest, LocalFilesOutsideTheMailStayUnreadWhenTheTemporaryFolderIsNotOurs) {
  // The system's temporary folder is a link elsewhere: the print must not fall back to the user's
  // temporary path, where the browser could then read what lies beside it.
  fs::create_directories(dir() / "elsewhere");
  fs::create_directory_symlink(dir() / "elsewhere", dir() / "Corvessa");
  {
    std::ofstream secret(dir() / "secret.bmp", std::ios::binary);
    secret << bitmap(37, 23);
  }
  const std::string html = "<html><body><p>Mail with pictures.</p><img src=\"cid:own@x\">"
                           "<img src=\"file://" + (dir() / "secret.bmp").string() + "\"></body></html>";
  MsgDescription mail = hostileMail(u"Pictures inside and outside", binaryProp(PR_HTML, html));
  mail.attachments.push_back(
      {{longProp(PR_ATTACH_METHOD, ATTACH_BY_VALUE), unicodeProp(PR_ATTACH_LONG_FILENAME_W, u"own.bmp"),
        unicodeProp(PR_ATTACH_CONTENT_ID_W, u"own@x"), binaryProp(PR_ATTACH_DATA_BIN, bitmap(41, 17))},
       nullptr});
  ASSERT_TRUE(writeMsgFile(mail, dir() / "pictures.msg"));
  ASSERT_EQ(quillmark("install"), 0) << err();
  ASSERT_EQ(quillmark("print " + (dir() / "pictures.msg").string() + " --out " + (dir() / "pdf").string()), 0) << err();

  const fs::path list = dir() / "images.txt";
  const fs::path pdf = dir() / "pdf" / "pictures.pdf";
  ASSERT_EQ(std::system(("pdfimages -list '" + pdf.string() + "' >'" + list.string() + "'").c_str()), 0);
  const std::string images = collapse(readFile(list));
  EXPECT_NE(images.find(" 41 17 "), std::string::npos) << images;  // the mail's own picture is printed
  EXPECT_EQ(images.find(" 37 23 "), std::string::npos) << images;
  EXPECT_TRUE(fs::is_empty(dir() / "elsewhere"));
}

}  // namespace
