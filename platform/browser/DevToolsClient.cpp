#include "platform/browser/DevToolsClient.h"

#include <charconv>
#include <map>
#include <optional>
#include <utility>

#include <nlohmann/json.hpp>

#include "platform/loop/MessageLoop.h"
#include "platform/system/Diagnostics.h"

namespace platform::browser::detail {

using nlohmann::json;

struct CDevToolsClient::State {
  State(int readFd, int writeFd) : in(readFd), out(writeFd) {}
  platform::loop::CFdStream in;
  platform::loop::CFdStream out;
  std::string partial;    // bytes read and not yet handled: the front message is incomplete
  std::size_t scanned = 0;  // bytes at the front of partial known to hold no NUL
  long nextId = 1;
  std::map<long, ReplyProc> pending;
  EventProc onEvent;
  std::function<void()> onBroken;
  bool broken = false;
};

namespace {

using State = CDevToolsClient::State;

void breakPipe(const std::shared_ptr<State>& s, const std::string& why) {
  if (s->broken) return;
  s->broken = true;
  s->in.close();
  s->out.close();
  auto pending = std::move(s->pending);
  s->pending.clear();
  CdpReply failure;
  failure.error = why;
  for (auto& [id, proc] : pending)
    if (proc) proc(failure);
  if (auto proc = std::move(s->onBroken)) proc();
}

std::size_t skipSpace(std::string_view text, std::size_t at) {
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' || text[at] == '\r')) ++at;
  return at;
}

// The end (one past the closing quote) of the string that opens at `at`; npos when it never ends.
std::size_t skipString(std::string_view text, std::size_t at) {
  std::size_t from = at + 1;
  std::size_t quote = text.find('"', from);
  while (quote != std::string_view::npos) {
    const std::size_t escape = text.substr(0, quote).find('\\', from);
    if (escape == std::string_view::npos) return quote + 1;
    from = escape + 2;  // the escaped character, whatever it is, is skipped
    if (from > quote) quote = text.find('"', from);
  }
  return quote;
}

// The end of the value that starts at `at`; npos when it never ends.
std::size_t skipValue(std::string_view text, std::size_t at) {
  if (at >= text.size()) return std::string_view::npos;
  if (text[at] == '"') return skipString(text, at);
  if (text[at] != '{' && text[at] != '[') {
    while (at < text.size() && text[at] != ',' && text[at] != '}' && text[at] != ']' && text[at] != ' ' &&
           text[at] != '\t' && text[at] != '\n' && text[at] != '\r')
      ++at;
    return at;
  }
  int depth = 0;
  for (std::size_t i = at; i < text.size();) {
    const char c = text[i];
    if (c == '"') {
      i = skipString(text, i);
      if (i == std::string_view::npos) return i;
      continue;
    }
    if (c == '{' || c == '[') ++depth;
    if ((c == '}' || c == ']') && --depth == 0) return i + 1;
    ++i;
  }
  return std::string_view::npos;
}

// Members are found, not parsed: a print's answer is mostly its PDF, which the engine takes
// from the text of "result" itself.
void dispatch(const std::shared_ptr<State>& s, std::string_view text) {
  if (const std::optional<std::string_view> idText = jsonMemberText(text, "id")) {
    long id = 0;
    const auto [end, ec] = std::from_chars(idText->data(), idText->data() + idText->size(), id);
    if (ec != std::errc() || end != idText->data() + idText->size()) return;
    auto it = s->pending.find(id);
    if (it == s->pending.end()) return;  // a call that timed out
    CDevToolsClient::ReplyProc proc = std::move(it->second);
    s->pending.erase(it);
    CdpReply reply;
    if (const std::optional<std::string_view> error = jsonMemberText(text, "error")) {
      const json value = json::parse(*error, nullptr, false);
      reply.error = value.is_object() ? value.value("message", std::string("error")) : std::string(*error);
    } else {
      reply.ok = true;
      const std::optional<std::string_view> result = jsonMemberText(text, "result");
      reply.result = result ? std::string(*result) : "{}";
    }
    if (proc) proc(reply);
    return;
  }
  const std::optional<std::string> method = jsonString(jsonMemberText(text, "method"));
  if (!method || !s->onEvent) return;
  const std::string session = jsonString(jsonMemberText(text, "sessionId")).value_or(std::string());
  const std::optional<std::string_view> params = jsonMemberText(text, "params");
  CDevToolsClient::EventProc proc = s->onEvent;
  proc(*method, session, params ? std::string(*params) : "{}");
}

}  // namespace

std::optional<std::string_view> jsonMemberText(std::string_view object, std::string_view key) {
  std::size_t at = skipSpace(object, 0);
  if (at >= object.size() || object[at] != '{') return std::nullopt;
  at = skipSpace(object, at + 1);
  if (at < object.size() && object[at] == '}') return std::nullopt;
  while (at < object.size() && object[at] == '"') {
    const std::size_t keyEnd = skipString(object, at);
    if (keyEnd == std::string_view::npos) return std::nullopt;
    // Keys are compared as written: the protocol's own names need no escapes.
    const bool wanted = object.substr(at + 1, keyEnd - at - 2) == key;
    at = skipSpace(object, keyEnd);
    if (at >= object.size() || object[at] != ':') return std::nullopt;
    const std::size_t start = skipSpace(object, at + 1);
    const std::size_t end = skipValue(object, start);
    if (end == std::string_view::npos || end == start) return std::nullopt;
    if (wanted) return object.substr(start, end - start);
    at = skipSpace(object, end);
    if (at >= object.size() || object[at] != ',') return std::nullopt;
    at = skipSpace(object, at + 1);
  }
  return std::nullopt;
}

// The PDF's base64 comes without escapes and is taken as it stands.
std::optional<std::string> jsonString(std::optional<std::string_view> text) {
  if (!text || text->size() < 2 || text->front() != '"') return std::nullopt;
  if (text->back() == '"' && text->find('\\') == std::string_view::npos)
    return std::string(text->substr(1, text->size() - 2));
  const json value = json::parse(*text, nullptr, false);
  if (!value.is_string()) return std::nullopt;
  return value.get<std::string>();
}

CDevToolsClient::CDevToolsClient(int readFd, int writeFd) : m_state(std::make_shared<State>(readFd, writeFd)) {
  std::weak_ptr<State> weak = m_state;
  m_state->in.startReading(
      [weak](std::string_view data) {
        auto s = weak.lock();
        if (!s) return;
        // Split at NULs; a message may arrive in many reads, and many in one. Each message is
        // taken off the buffer before it is handled: a handler that runs a nested loop re-enters
        // this reader with the bytes that follow, which must join the rest of the buffer.
        s->partial.append(data);
        while (!s->broken) {
          const std::size_t nul = s->partial.find('\0', s->scanned);
          if (nul == std::string::npos) {
            s->scanned = s->partial.size();
            return;
          }
          std::string message = s->partial.substr(0, nul);
          s->partial.erase(0, nul + 1);
          s->scanned = 0;
          // One bad message (or a failing handler) must not lose the ones after it.
          diag::guarded("the browser's pipe reader", [&] { dispatch(s, message); });
        }
      },
      [weak](int) {
        if (auto s = weak.lock()) breakPipe(s, "the browser's pipe is closed");
      });
  m_state->out.setClosedHandler([weak](int) {
    if (auto s = weak.lock()) breakPipe(s, "the browser's pipe is broken");
  });
  // The browser waits on some of our answers (its requests, paused until the rules answer them):
  // long work on the loop's thread lets them through between its steps.
  m_state->in.setUrgent();
  m_state->out.setUrgent();
}

CDevToolsClient::~CDevToolsClient() {
  m_state->onBroken = nullptr;
  m_state->onEvent = nullptr;
  m_state->pending.clear();
  m_state->in.close();
  m_state->out.close();
}

void CDevToolsClient::setEventHandler(EventProc handler) { m_state->onEvent = std::move(handler); }
void CDevToolsClient::setBrokenHandler(std::function<void()> handler) { m_state->onBroken = std::move(handler); }
bool CDevToolsClient::broken() const { return m_state->broken; }

long CDevToolsClient::send(std::string_view method, std::string_view params, std::string_view sessionId,
                           ReplyProc onReply) {
  if (m_state->broken) return 0;
  json message;
  const long id = m_state->nextId++;
  message["id"] = id;
  message["method"] = method;
  if (!params.empty()) {
    json p = json::parse(params, nullptr, false);
    if (p.is_discarded() || !p.is_object()) return 0;
    message["params"] = std::move(p);
  }
  if (!sessionId.empty()) message["sessionId"] = sessionId;
  std::string text = message.dump(-1, ' ', false, json::error_handler_t::replace);
  text.push_back('\0');
  m_state->pending[id] = std::move(onReply);
  if (!m_state->out.write(std::move(text))) {
    m_state->pending.erase(id);
    return 0;
  }
  return id;
}

CdpReply CDevToolsClient::call(std::string_view method, std::string_view params, std::string_view sessionId,
                               DWORD timeoutMs) {
  auto reply = std::make_shared<std::pair<bool, CdpReply>>();
  const long id = send(method, params, sessionId, [reply](const CdpReply& r) {
    reply->first = true;
    reply->second = r;
  });
  if (id == 0) {
    CdpReply failure;
    failure.error = m_state->broken ? "the browser's pipe is broken" : "invalid parameters";
    return failure;
  }
  auto state = m_state;
  if (!platform::loop::runUntil([&] { return reply->first || state->broken; }, timeoutMs)) {
    state->pending.erase(id);  // a late reply is dropped
    CdpReply failure;
    failure.error = "timed out waiting for " + std::string(method);
    return failure;
  }
  return reply->second;
}

}  // namespace platform::browser::detail
