#pragma once
// A small DevTools protocol client over a pipe pair: JSON messages ended by NUL, replies
// matched to calls by id, events handed to one handler from the loop of platform/loop.
// JSON crosses this interface as text, so the JSON library stays inside the layer's sources.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Export.h"
#include "platform/WinTypes.h"

namespace platform::browser::detail {

struct CdpReply {
  bool ok = false;
  std::string result;  // the reply's "result" object, as JSON text
  std::string error;   // the protocol's error message, or what failed locally
};

// The text of member `key` of the JSON object `object`, its top level only, found without
// parsing the other members' values (an answer's PDF runs to megabytes): nullopt where the text
// is no object or has no such member. The value is only delimited, not checked.
QM_PLATFORM_API std::optional<std::string_view> jsonMemberText(std::string_view object, std::string_view key);
// The string a JSON value's text holds, unescaped; nullopt when it holds none (or no text).
QM_PLATFORM_API std::optional<std::string> jsonString(std::optional<std::string_view> text);

class QM_PLATFORM_API CDevToolsClient {
 public:
  // method, sessionId ("" for the browser), params as JSON text.
  using EventProc = std::function<void(const std::string& method, const std::string& sessionId,
                                       const std::string& params)>;
  using ReplyProc = std::function<void(const CdpReply& reply)>;

  // Owns both descriptors: commands are written to `writeFd`, replies and events read from `readFd`.
  CDevToolsClient(int readFd, int writeFd);
  ~CDevToolsClient();
  CDevToolsClient(const CDevToolsClient&) = delete;
  CDevToolsClient& operator=(const CDevToolsClient&) = delete;

  void setEventHandler(EventProc handler);
  // Called once when the pipe breaks (the browser died or closed it).
  void setBrokenHandler(std::function<void()> handler);

  // Sends a command; `onReply` (optional) comes from the loop, with a failure if the pipe
  // breaks first. `params` is JSON object text ("" for none). Answers the message id, 0 when
  // the pipe is already broken or `params` is not a JSON object.
  long send(std::string_view method, std::string_view params, std::string_view sessionId, ReplyProc onReply);
  // Sends and runs a nested loop until the reply, the pipe's break or `timeoutMs`.
  CdpReply call(std::string_view method, std::string_view params, std::string_view sessionId, DWORD timeoutMs);

  bool broken() const;

  struct State;  // opaque; public so the source's helpers can name it

 private:
  std::shared_ptr<State> m_state;
};

}  // namespace platform::browser::detail
