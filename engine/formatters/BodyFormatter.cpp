#include "engine/formatters/BodyFormatter.h"

#include <boost/make_shared.hpp>

#include "engine/InertHtml.h"
#include "engine/Message.h"
#include "platform/com/ComError.h"

void CBodyPropertyFormatter::registerPrototypes() { add(boost::make_shared<CBodyPropertyFormatter>(kKindBody)); }

bool CBodyPropertyFormatter::format(CElementSettings& settings, CMessage& message,
                                    platform::html::CHtmlElement element) {
  // Raised, so that the filler clears the element rather than leave its settings text showing.
  const auto document = message.getDocument();
  if (!document) _com_issue_error(E_POINTER);
  quilstring text;
  if (const platform::html::CHtmlElement body = document->body()) {
    text = body.innerHTML();
    if (!text.empty()) {
      // Fetches the attachments when no field before the body did.
      message.replaceImages(body);
      text = body.innerHTML();
    }
  }
  // An empty body (a selection of nothing) clears the element: its settings text never prints.
  if (text.empty()) {
    apply(text, settings, element);
    return false;
  }
  // The body is HTML already: it is not escaped again.
  quilstring html = text;
  postProcess(settings, text, std::move(html));
  if (text.empty() || !apply(text, settings, element)) return false;
  // The element's own context may read the body's markup otherwise than the body did.
  NInertHtml::makeElementInert(element);
  if (settings.flags() & CElementSettings::kBodyElement) message.extractHTMLBodyStyles();
  return true;
}
