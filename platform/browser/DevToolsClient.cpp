#include "platform/browser/DevToolsClient.h"

#include <map>
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

void dispatch(const std::shared_ptr<State>& s, std::string_view text) {
  json message = json::parse(text, nullptr, false);
  if (message.is_discarded() || !message.is_object()) return;
  if (auto id = message.find("id"); id != message.end() && id->is_number_integer()) {
    auto it = s->pending.find(id->get<long>());
    if (it == s->pending.end()) return;  // a call that timed out
    CDevToolsClient::ReplyProc proc = std::move(it->second);
    s->pending.erase(it);
    CdpReply reply;
    if (auto error = message.find("error"); error != message.end()) {
      reply.error = error->is_object() ? error->value("message", std::string("error")) : error->dump();
    } else {
      reply.ok = true;
      auto result = message.find("result");
      reply.result = result != message.end() ? result->dump() : "{}";
    }
    if (proc) proc(reply);
    return;
  }
  auto method = message.find("method");
  if (method == message.end() || !method->is_string() || !s->onEvent) return;
  const std::string session = message.value("sessionId", std::string());
  auto params = message.find("params");
  CDevToolsClient::EventProc proc = s->onEvent;
  proc(method->get<std::string>(), session, params != message.end() ? params->dump() : "{}");
}

}  // namespace

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
