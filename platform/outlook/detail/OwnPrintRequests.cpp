#include "platform/outlook/OwnPrintRequests.h"

#include <map>

namespace platform::outlook {

namespace {

std::map<HWND, OwnPrintHandler>& handlers() {
  static std::map<HWND, OwnPrintHandler> all;
  return all;
}

}  // namespace

void setOwnPrintHandler(HWND window, OwnPrintHandler handler) {
  if (handler)
    handlers()[window] = std::move(handler);
  else
    handlers().erase(window);
}

std::optional<int> requestOwnPrint(HWND window, const OwnPrintRequest& request) {
  const auto found = handlers().find(window);
  if (found == handlers().end()) return std::nullopt;
  // The handler may remove itself while it runs (its window closes during the print).
  const OwnPrintHandler handler = found->second;
  return handler(request);
}

}  // namespace platform::outlook
