// The body of CMessage: its document, the thread range and its style rules.
#include "engine/Message.h"

#include <exception>

#include "engine/InertHtml.h"
#include "foundation/HtmlText.h"
#include "foundation/Log.h"
#include "foundation/Thread.h"
#include "platform/com/ComError.h"
#include "platform/loop/MessageLoop.h"
#include "platform/outlook/Dispids.h"

namespace {

using platform::outlook::kDispidBody;
using platform::outlook::kDispidBodyFormat;

// The key of a body prepared without a thread cut.
constexpr long kWholeBody = -1;
constexpr DWORD kPrintThread = 2;
constexpr LONG kFormatPlain = 1;

}  // namespace

std::optional<platform::html::CHtmlDocument> CMessage::getDocument() {
  if (auto document = m_bodyDocument->getDocument()) return document;
  return loadBody();
}

std::optional<platform::html::CHtmlDocument> CMessage::loadBody(bool textReplacesBody) {
  const quilstring html = textReplacesBody ? m_item.getHTMLBodyAroundText() : m_item.getHTMLBody();
  // Each step can take a while on a long body: the browser's questions are answered between.
  platform::loop::serviceUrgent();
  if (html.empty() || !m_bodyDocument->LoadFromString(html)) return std::nullopt;
  platform::loop::serviceUrgent();
  // The body joins a template that a browser renders: nothing in it may run or fetch.
  NInertHtml::makeDocumentInert(*m_bodyDocument);
  platform::loop::serviceUrgent();
  return m_bodyDocument->getDocument();
}

void CMessage::setHTMLFromBody(const PrintOptions* range) {
  LOG_DEBUG(u"CMessage::setHTMLFromBody");
  const long wanted = range && range->printSelection == kPrintThread ? static_cast<long>(range->responses) : kWholeBody;
  if (m_bodyPreparedFor == wanted) return;
  LONG format = 0;
  const bool plain = m_item.getLong(kDispidBodyFormat, format) && format == kFormatPlain;
  // Cutting changes the document in place: another range starts again from the item's body. A
  // plain-text item's text replaces what its HTML body's BODY holds.
  std::optional<platform::html::CHtmlDocument> document;
  if (!m_bodyPreparedFor) document = m_bodyDocument->getDocument();
  if (!document) document = loadBody(plain);

  if (plain) {
    quilstring text;
    if (!m_item.getString(kDispidBody, text)) return;
    if (wanted != kWholeBody) NUtils::convertTextToThread(text, static_cast<int>(wanted));
    if (!document) {
      // A plain-text item need not have an HTML body; its text still prints.
      if (!m_bodyDocument->LoadFromString(quilstring())) return;
      document = m_bodyDocument->getDocument();
    }
    if (const auto body = document->body()) NUtils::setHTMLFromPlainTextToElement(text, body);
  } else if (document && wanted != kWholeBody) {
    NUtils::changeBodyToThread(*document, static_cast<int>(wanted));
  }
  m_bodyPreparedFor = wanted;
}

void CMessage::extractHTMLBodyStyles() {
  LOG_DEBUG(u"CMessage::extractHTMLBodyStyles");
  const auto document = m_bodyDocument->getDocument();
  if (!document) {
    LOG_ERROR(u"Couldn't retrieve item's HTMLBody styles");
    return;
  }
  // The rules collected before a failure stay.
  try {
    for (long i = 0; i < document->styleSheetsLength(); ++i) {
      for (const platform::html::CHtmlStyleRule& rule : document->styleSheet(i).rules()) {
        if (rule.selectorText.empty() || rule.cssText.empty() || m_styleRules.contains(rule.selectorText)) continue;
        LOG_DEBUG(u"Retrieved HTMLBody style rule: %s { %s }", rule.selectorText.c_str(), rule.cssText.c_str());
        m_styleRules.emplace(rule.selectorText, rule.cssText);
      }
    }
  } catch (const _com_error& e) {
    LOG_ERROR(u"Couldn't retrieve item's HTMLBody styles: %s", quilstring(e.ErrorMessage()).c_str());
  } catch (const std::exception& e) {
    LOG_ERROR(u"Couldn't retrieve item's HTMLBody styles: %S", e.what());
  } catch (...) {
    LOG_ERROR(u"Couldn't retrieve item's HTMLBody styles");
  }
}

HRESULT CMessage::applyHTMLBodyStyles(platform::html::CHtmlDocument target) {
  if (m_styleRules.empty()) return S_OK;
  LOG_DEBUG(u"CMessage::applyHTMLBodyStyles -- creating new DT stylesheet");
  platform::html::CHtmlStyleSheet sheet;
  const HRESULT hr = target.createStyleSheet(u"", -1, &sheet);
  if (FAILED(hr)) return hr;
  for (const auto& [selector, style] : m_styleRules) {
    LOG_DEBUG(u"Adding HTMLBody style rule: %s { %s }", selector.c_str(), style.c_str());
    if (FAILED(sheet.addRule(selector, style, -1))) LOG_WARNING(u"HTMLBody style rule refused");
  }
  return S_OK;
}
