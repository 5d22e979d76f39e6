#include "foundation/Log.h"
#include "foundation/Guard.h"
#include "platform/com/HResult.h"
#include "platform/system/Diagnostics.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/TestEnvironment.h"

namespace {

const std::vector<quilstring> kNames = {u"Info", u"Error", u"Warning", u"Debug"};

class LogTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    CLogger::instance().resetForTesting();
    m_path = (dir() / "log.txt").string();
    // 10:15:02 UTC on 1 March 2024; the tests run with TZ=UTC.
    CLogger::instance().setClockForTesting([] { return static_cast<std::time_t>(1709288102); });
    ASSERT_TRUE(CLogger::instance().redirectTo(quilstring::fromUtf8(m_path)));
  }
  void TearDown() override { CLogger::instance().resetForTesting(); }

  std::vector<std::string> lines() const {
    std::vector<std::string> out;
    std::istringstream in(testsupport::readFile(m_path));
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
  }

  std::string m_path;
};

int sideEffects = 0;
const char16_t* touch() {
  ++sideEffects;
  return u"touched";
}

TEST_F(LogTest, LineHasTheDesignedLayout) {
  NLog::setLevels(kNames, u"debug");
  CLogger::instance().debug(LogSource("C:\\src\\foundation\\Timer.cpp", 53), u"CTimerImpl::tick %d", 7);
  CLogger::instance().warning(LogSource("foundation/Timer.cpp", 9), u"w");
  CLogger::instance().info(LogSource("Timer.cpp", 1), u"i");
  const auto l = lines();
  ASSERT_EQ(l.size(), 3u);
  EXPECT_EQ(l[0], "10:15:02 Debug   CTimerImpl::tick 7 (Timer.cpp:53)");
  EXPECT_EQ(l[1], "10:15:02 Warning w (Timer.cpp:9)");
  EXPECT_EQ(l[2], "10:15:02 Info    i (Timer.cpp:1)");
}

TEST_F(LogTest, ThresholdSelectsLevelsAndUnknownNameKeepsIt) {
  NLog::setLevels(kNames, u"ERROR");
  EXPECT_EQ(CLogger::instance().threshold(), 1);
  LOG_INFO(u"info");
  LOG_ERROR(u"error");
  LOG_WARNING(u"warning");
  LOG_DEBUG(u"debug");
  NLog::setLevels(kNames, u"verbose");
  EXPECT_EQ(CLogger::instance().threshold(), 1);
  const auto l = lines();
  ASSERT_EQ(l.size(), 2u);
  EXPECT_NE(l[0].find("Info    info"), std::string::npos);
  EXPECT_NE(l[1].find("Error   error"), std::string::npos);
  EXPECT_NE(l[1].find("(LogTest.cpp:"), std::string::npos);
}

TEST_F(LogTest, OffEvaluatesNoArgumentAndWritesNothing) {
  sideEffects = 0;
  LOG_DEBUG(u"%s", touch());
  EXPECT_EQ(sideEffects, 0);
  NLog::setLevels(kNames, u"debug");
  LOG_DEBUG(u"%s", touch());
  EXPECT_EQ(sideEffects, 1);
  NLog::switchOff();
  LOG_DEBUG(u"%s", touch());
  EXPECT_EQ(sideEffects, 1);
  EXPECT_EQ(lines().size(), 1u);
}

TEST_F(LogTest, ErrorsAndCaughtExceptionsStayTheReasonWhileTheLogIsOff) {
  platform::diag::clearLastFailure();
  LOG_ERROR(u"CPrinter::Print: %s", u"no layout");
  EXPECT_EQ(platform::diag::lastFailure(), "CPrinter::Print: no layout");
  EXPECT_EQ(NUtils::guarded(u"CPrinter::OnTimer", E_FAIL, []() -> HRESULT { throw std::runtime_error("boom"); }), E_FAIL);
  EXPECT_EQ(platform::diag::lastFailure(), "Exception caught in CPrinter::OnTimer: boom");
  EXPECT_TRUE(lines().empty());

  NLog::setLevels(kNames, u"error");
  platform::diag::error("platform::browser::start", "chromium-headless-shell not found");
  EXPECT_FALSE(NUtils::guarded(u"CConnect::OnConnection", [] { throw 1; }));
  const auto l = lines();
  ASSERT_EQ(l.size(), 2u);
  EXPECT_NE(l[0].find("Error   platform::browser::start: chromium-headless-shell not found (LogTest.cpp:"), std::string::npos);
  EXPECT_NE(l[1].find("Error   Exception caught in CConnect::OnConnection: unknown exception (LogTest.cpp:"), std::string::npos);
}

// An expected miss is a Debug line with its reason, never an Error; one retried on every tick is
// told once until its reason changes or the work succeeds.
TEST_F(LogTest, AnExpectedMissIsToldAtDebugWithItsReasonOnce) {
  NLog::setLevels(kNames, u"debug");
  platform::diag::clearLastFailure();
  quilstring last;
  const auto missing = [] { throw _com_error(DISP_E_MEMBERNOTFOUND, u"no bar named Context Menu"); };
  for (int tick = 0; tick < 3; ++tick) EXPECT_FALSE(NUtils::guardedQuietly(u"No quick Print", missing, &last));
  EXPECT_TRUE(NUtils::guardedQuietly(u"No quick Print", [] {}, &last));
  EXPECT_FALSE(NUtils::guardedQuietly(u"No quick Print", missing, &last));
  EXPECT_FALSE(NUtils::guardedQuietly(u"No toolbar", [] { throw std::runtime_error("none"); }));
  const auto l = lines();
  ASSERT_EQ(l.size(), 3u);
  EXPECT_NE(l[0].find("Debug   No quick Print (no bar named Context Menu) (LogTest.cpp:"), std::string::npos) << l[0];
  EXPECT_NE(l[1].find("Debug   No quick Print (no bar named Context Menu)"), std::string::npos) << l[1];
  EXPECT_NE(l[2].find("Debug   No toolbar (none)"), std::string::npos) << l[2];
  EXPECT_TRUE(platform::diag::lastFailure().empty());  // a miss is no failure
}

TEST_F(LogTest, NonAsciiLineDoesNotSilenceLaterLines) {
  NLog::setLevels(kNames, u"debug");
  LOG_INFO(u"Stra\u00dfe \u65e5\u672c \U0001F600");
  LOG_INFO(u"plain");
  const auto l = lines();
  ASSERT_EQ(l.size(), 2u);
  EXPECT_NE(l[0].find("Stra\xc3\x9f" "e \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80"), std::string::npos);
  EXPECT_NE(l[1].find("plain"), std::string::npos);
}

TEST_F(LogTest, LongMessageIsWrittenWhole) {
  NLog::setLevels(kNames, u"debug");
  const std::u16string big(5000, u'm');
  LOG_DEBUG(u"%s", big.c_str());
  const auto l = lines();
  ASSERT_EQ(l.size(), 1u);
  EXPECT_NE(l[0].find(std::string(5000, 'm') + " (LogTest.cpp:"), std::string::npos);
}

TEST_F(LogTest, RedirectionToUnopenableFileKeepsCurrentStream) {
  NLog::setLevels(kNames, u"debug");
  EXPECT_FALSE(CLogger::instance().redirectTo(quilstring::fromUtf8((dir() / "missing" / "x.log").string())));
  LOG_INFO(u"still here");
  EXPECT_EQ(lines().size(), 1u);
}

TEST_F(LogTest, RedirectionAppends) {
  NLog::setLevels(kNames, u"debug");
  LOG_INFO(u"first");
  CLogger::instance().endRedirection();
  ASSERT_TRUE(CLogger::instance().redirectTo(quilstring::fromUtf8(m_path)));
  LOG_INFO(u"second");
  EXPECT_EQ(lines().size(), 2u);
}

TEST_F(LogTest, TwoProcessesAppendWholeLines) {
  NLog::setLevels(kNames, u"debug");
  constexpr int kLines = 3000;
  const std::u16string pad(300, u'p');
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      for (int i = 0; i < kLines; ++i) LOG_INFO(u"child%d line %d %s end", c, i, pad.c_str());
      _exit(0);
    }
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
  }
  const auto l = lines();
  ASSERT_EQ(l.size(), 2u * kLines);
  int perChild[2] = {0, 0};
  for (const std::string& line : l) {
    ASSERT_EQ(line.rfind("10:15:02 Info    child", 0), 0u) << line;
    ASSERT_NE(line.find(std::string(300, 'p') + " end (LogTest.cpp:"), std::string::npos) << line;
    ++perChild[line[22] - '0'];
  }
  EXPECT_EQ(perChild[0], kLines);
  EXPECT_EQ(perChild[1], kLines);
}

}  // namespace
