#include "platform/browser/RequestRules.h"

#include <fstream>

#include <gtest/gtest.h>

#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;
using platform::browser::detail::classifyRequest;
using platform::browser::detail::fileUrlOf;
using platform::browser::detail::pathOfFileUrl;
using platform::browser::detail::RequestAnswer;

class RequestRulesTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    m_job = dir() / "job";
    fs::create_directories(m_job / "img");
    fs::create_directories(dir() / "job2");
    std::ofstream(m_job / "mail.html") << "x";
    std::ofstream(m_job / "img" / "a.png") << "x";
    fs::create_symlink("/etc", m_job / "escape");
  }
  fs::path m_job;
};

TEST_F(RequestRulesTest, AnswersByUrlTypeAndFolder) {
  const std::string job = fileUrlOf(m_job);
  struct Case {
    std::string url;
    const char* type;
    RequestAnswer answer;
  } cases[] = {
      {job + "/mail.html", "Document", RequestAnswer::kContinue},
      {job + "/mail.html?x#y", "Document", RequestAnswer::kContinue},
      {job + "/img/a.png", "Image", RequestAnswer::kContinue},
      {job + "/img/%61.png", "Image", RequestAnswer::kContinue},
      {"file://localhost" + job.substr(7) + "/img/a.png", "Image", RequestAnswer::kContinue},
      {job + "/not-yet-there.css", "Stylesheet", RequestAnswer::kContinue},
      // Another local document, even inside the folder, never replaces the page.
      {job + "/img/a.png", "Document", RequestAnswer::kEmptyDocument},
      {"file:///etc/passwd", "Document", RequestAnswer::kEmptyDocument},
      {"http://127.0.0.1/frame", "Document", RequestAnswer::kEmptyDocument},
      {"http://example.com/a.png", "Image", RequestAnswer::kFail},
      {"https://example.com/a.css", "Stylesheet", RequestAnswer::kFail},
      {"file:///etc/passwd", "Image", RequestAnswer::kFail},
      {job + "/../job2/a.png", "Image", RequestAnswer::kFail},
      {job + "/%2e%2e/job2/a.png", "Image", RequestAnswer::kFail},
      {job + "2/a.png", "Image", RequestAnswer::kFail},  // a sibling sharing the prefix
      {job + "/escape/passwd", "Image", RequestAnswer::kFail},
      {job + "/img/a.png%00.gif", "Image", RequestAnswer::kFail},
      {"file://otherhost" + job.substr(7) + "/img/a.png", "Image", RequestAnswer::kFail},
      {job, "Image", RequestAnswer::kFail},  // the folder itself is not inside it
      {"data:image/png;base64,AAAA", "Image", RequestAnswer::kFail},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url + " " + c.type);
    EXPECT_EQ(classifyRequest(c.url, c.type, m_job / "mail.html", {m_job}), c.answer);
  }
}

TEST_F(RequestRulesTest, NoAllowedFoldersLeaveOnlyTheDocument) {
  const std::string job = fileUrlOf(m_job);
  EXPECT_EQ(classifyRequest(job + "/mail.html", "Document", m_job / "mail.html", {}), RequestAnswer::kContinue);
  EXPECT_EQ(classifyRequest(job + "/img/a.png", "Image", m_job / "mail.html", {}), RequestAnswer::kFail);
  EXPECT_EQ(classifyRequest(job + "/img/a.png", "Image", m_job / "mail.html", {fs::path()}), RequestAnswer::kFail);
}

TEST_F(RequestRulesTest, FileUrlsRoundTripAnyPath) {
  for (const fs::path& p : {fs::path("/tmp/a b/c#d?.html"), fs::path("/tmp/%41/ü.html"), fs::path("/")}) {
    SCOPED_TRACE(p.string());
    const auto back = pathOfFileUrl(fileUrlOf(p));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, p);
  }
  EXPECT_FALSE(pathOfFileUrl("http://x/a").has_value());
  EXPECT_FALSE(pathOfFileUrl("file:").has_value());
  EXPECT_FALSE(pathOfFileUrl("file://host").has_value());
  EXPECT_EQ(*pathOfFileUrl("FILE:///a/%zz"), fs::path("/a/%zz"));
}

}  // namespace
