#pragma once
// CMSHTMLWrapper: an off-screen HTML document made from a string. It is never shown, never
// navigated, runs no script and fetches nothing. Held by shared pointer (the message that owns
// the body, the selection dialog).

#include <optional>

#include "foundation/QuilString.h"
#include "platform/html/HtmlDocument.h"

class CMSHTMLWrapper {
 public:
  CMSHTMLWrapper() = default;
  virtual ~CMSHTMLWrapper();
  CMSHTMLWrapper(const CMSHTMLWrapper&) = delete;
  CMSHTMLWrapper& operator=(const CMSHTMLWrapper&) = delete;

  // Creates the empty document the host is attached to.
  void Initialise();
  // Attaches to a document that exists already (a live document shown elsewhere).
  void Initialise(const platform::html::CHtmlDocument& document);

  // Parses html into a fresh document, which getDocument then answers. False (logged) when it
  // cannot be parsed; the previous loaded document then stays.
  bool LoadFromString(const quilstring& html);

  // The document of the last successful load (sharing its tree); none before the first.
  std::optional<platform::html::CHtmlDocument> getDocument() const { return m_loaded; }

  // Lets go of the attached document.
  void CloseDown();

 private:
  platform::html::CHtmlDocument m_document;
  std::optional<platform::html::CHtmlDocument> m_loaded;
  bool m_attached = false;
};
