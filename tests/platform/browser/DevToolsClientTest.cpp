#include "platform/browser/DevToolsClient.h"

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/loop/MessageLoop.h"
#include "tests/support/TestEnvironment.h"

namespace {

using nlohmann::json;
using platform::browser::detail::CdpReply;
using platform::browser::detail::CDevToolsClient;
using platform::browser::detail::jsonMemberText;
namespace loop = platform::loop;

// The browser's side of the pipe pair, driven by the test on the same loop.
class DevToolsClientTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    int commands[2], replies[2];
    ASSERT_EQ(pipe2(commands, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(replies, O_CLOEXEC), 0);
    m_client = std::make_unique<CDevToolsClient>(replies[0], commands[1]);
    m_peerIn = std::make_unique<loop::CFdStream>(commands[0]);
    m_peerOut = std::make_unique<loop::CFdStream>(replies[1]);
    m_peerIn->startReading(
        [this](std::string_view d) {
          m_buffer.append(d);
          for (auto nul = m_buffer.find('\0'); nul != std::string::npos; nul = m_buffer.find('\0')) {
            m_received.push_back(json::parse(m_buffer.substr(0, nul)));
            m_buffer.erase(0, nul + 1);
          }
        },
        [](int) {});
  }
  void TearDown() override {
    m_client.reset();
    m_peerIn.reset();
    m_peerOut.reset();
    loop::runUntilIdle();
  }
  void reply(const std::string& text) { m_peerOut->write(text + '\0'); }
  bool waitForCommands(std::size_t n) {
    return loop::runUntil([&] { return m_received.size() >= n; }, 3000);
  }

  std::unique_ptr<CDevToolsClient> m_client;
  std::unique_ptr<loop::CFdStream> m_peerIn, m_peerOut;
  std::string m_buffer;
  std::vector<json> m_received;
};

TEST_F(DevToolsClientTest, RepliesMatchTheirCallsWhateverTheOrderAndEventsComeBetween) {
  std::vector<std::string> seen;
  m_client->setEventHandler([&](const std::string& method, const std::string& session, const std::string& params) {
    seen.push_back("event " + method + " " + session + " " + json::parse(params).value("n", "-"));
  });
  CdpReply first, second;
  m_client->send("A.first", R"({"x":1})", "", [&](const CdpReply& r) { first = r; seen.push_back("reply first"); });
  m_client->send("B.second", "", "S1", [&](const CdpReply& r) { second = r; seen.push_back("reply second"); });
  ASSERT_TRUE(waitForCommands(2));
  EXPECT_EQ(m_received[0]["method"], "A.first");
  EXPECT_EQ(m_received[0]["params"]["x"], 1);
  EXPECT_FALSE(m_received[0].contains("sessionId"));
  EXPECT_EQ(m_received[1]["sessionId"], "S1");
  EXPECT_FALSE(m_received[1].contains("params"));
  const long id1 = m_received[0]["id"], id2 = m_received[1]["id"];

  // The second reply first, split across writes, with an event in the same write.
  const std::string two = json{{"id", id2}, {"error", {{"code", -32000}, {"message", "No such thing"}}}}.dump();
  m_peerOut->write(two.substr(0, 5));
  m_peerOut->write(two.substr(5) + std::string(1, '\0') + R"({"method":"E.ev","sessionId":"S1","params":{"n":"7"}})" +
                   std::string(1, '\0') + "not json" + std::string(1, '\0'));
  reply(json{{"id", id1}, {"result", {{"value", 42}}}}.dump());
  loop::runUntil([&] { return seen.size() >= 3; }, 3000);

  EXPECT_EQ(seen, (std::vector<std::string>{"reply second", "event E.ev S1 7", "reply first"}));
  EXPECT_TRUE(first.ok);
  EXPECT_EQ(json::parse(first.result)["value"], 42);
  EXPECT_FALSE(second.ok);
  EXPECT_EQ(second.error, "No such thing");
}

TEST_F(DevToolsClientTest, AHandlerRunningANestedLoopSeesTheMessagesThatFollowWhole) {
  // A modal dialog opened from an event: the reader is re-entered with the bytes read after the
  // event's own, while the rest of that first read (half a message) still waits in the buffer.
  const auto event = [](const std::string& method) {
    return json{{"method", method}, {"params", {{"n", method}}}}.dump() + std::string(1, '\0');
  };
  const std::string second = event("E.second");
  std::vector<std::string> seen;
  m_client->setEventHandler([&](const std::string& method, const std::string&, const std::string& params) {
    seen.push_back(method + "=" + json::parse(params).value("n", "-"));
    if (method != "E.first") return;
    m_peerOut->write(second.substr(10) + event("E.third"));
    loop::runUntil([&] { return seen.size() >= 3; }, 3000);
    seen.push_back("dialog closed");
  });
  m_peerOut->write(event("E.first") + second.substr(0, 10));
  loop::runUntil([&] { return seen.size() >= 4; }, 3000);
  reply(event("E.fourth").substr(0, event("E.fourth").size() - 1));
  loop::runUntil([&] { return seen.size() >= 5; }, 3000);
  EXPECT_EQ(seen, (std::vector<std::string>{"E.first=E.first", "E.second=E.second", "E.third=E.third", "dialog closed",
                                            "E.fourth=E.fourth"}));
}

TEST_F(DevToolsClientTest, CallWaitsInANestedLoopAndDropsALateReply) {
  loop::post([&] {
    // Answered from inside the call's own wait.
    loop::SetTimer(nullptr, 9, 10, [&](std::uintptr_t) {
      if (m_received.empty()) return;
      loop::KillTimer(nullptr, 9);
      reply(json{{"id", m_received[0]["id"]}, {"result", {{"ok", true}}}}.dump());
    });
  });
  const CdpReply answered = m_client->call("X.y", "{}", "", 3000);
  EXPECT_TRUE(answered.ok);
  EXPECT_EQ(json::parse(answered.result)["ok"], true);

  const CdpReply late = m_client->call("X.late", "{}", "", 50);
  EXPECT_FALSE(late.ok);
  ASSERT_TRUE(waitForCommands(2));
  reply(json{{"id", m_received[1]["id"]}, {"result", json::object()}}.dump());  // nobody waits any more
  loop::runFor(30);
  EXPECT_EQ(m_client->send("X.z", "[1]", "", nullptr), 0);  // params must be an object
  EXPECT_FALSE(m_client->broken());
}

TEST_F(DevToolsClientTest, ABrokenPipeFailsWaitingCallsAndTellsOnce) {
  int brokenCalls = 0;
  m_client->setBrokenHandler([&] { ++brokenCalls; });
  CdpReply pending;
  bool pendingAnswered = false;
  m_client->send("A.b", "", "", [&](const CdpReply& r) {
    pending = r;
    pendingAnswered = true;
  });
  loop::post([&] { m_peerOut.reset(); });  // the browser dies
  const CdpReply r = m_client->call("A.c", "", "", 5000);
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(pendingAnswered);
  EXPECT_FALSE(pending.ok);
  EXPECT_TRUE(m_client->broken());
  EXPECT_EQ(brokenCalls, 1);
  EXPECT_EQ(m_client->send("A.d", "", "", nullptr), 0);
  EXPECT_FALSE(m_client->call("A.e", "", "", 5000).ok);
}

// Members are found without parsing the others: what is found is the member's own text, escapes,
// nesting and spacing included; what is not an object has no members.
TEST(JsonMemberText, FindsTopLevelMembersAsTheirOwnText) {
  const std::string text =
      " {\"id\" : 12 ,\"s\":\"a \\\"q\\\" \\\\\",\"result\":{\"data\":\"QUJD\",\"in\":{\"id\":3},\"l\":[1,\"]}\"]},"
      "\"t\":true, \"n\":null,\"e\":[] } ";
  const json parsed = json::parse(text);
  for (const char* key : {"id", "s", "result", "t", "n", "e"}) {
    const auto found = jsonMemberText(text, key);
    ASSERT_TRUE(found) << key;
    EXPECT_EQ(json::parse(*found), parsed[key]) << key;
  }
  EXPECT_EQ(*jsonMemberText(text, "result"), R"({"data":"QUJD","in":{"id":3},"l":[1,"]}"]})");
  EXPECT_FALSE(jsonMemberText(text, "data"));  // not at the top
  EXPECT_FALSE(jsonMemberText(text, "missing"));
  for (const char* bad : {"", "[1]", "\"id\"", "{\"id\":", "{\"id\" 1}", "{\"a\":\"open}", "{\"a\":{\"b\":1}"})
    EXPECT_FALSE(jsonMemberText(bad, "id")) << bad;
  EXPECT_FALSE(jsonMemberText(R"({"a":1 "id":2})", "id"));  // no comma: nothing after is trusted
}

}  // namespace
