#pragma once
// CQuillMarkTemplate: the template filler. Fills a loaded template document in place from a print
// job: hides the page decoration blocks (printed by the print template in the margins), fills the
// data elements of one item (memo style) or one row per item of a list (table style), the item's
// contact list, the sender's contact and the miscellaneous fields. Elements are addressed by id
// through the `all` collection of a scope element. Outlook's user-interface thread only.

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "engine/ElementSettings.h"
#include "engine/Message.h"
#include "engine/PrintInfo.h"
#include "foundation/QuilString.h"
#include "foundation/SettingsData.h"
#include "platform/com/ComPtr.h"
#include "platform/html/HtmlDocument.h"

// The calls the filler makes into the formatters and the body document. The defaults are the
// program's own; tests replace them.
struct TemplateServices {
  // Formats one element: nothing when no formatter serves the settings' kind, else whether a
  // non-empty value was written. May throw (_com_error or any other exception).
  std::function<std::optional<bool>(CElementSettings&, CMessage&, const platform::html::CHtmlElement&)> formatElement;
  // Prepares the item's body document for the job's range.
  std::function<void(CMessage&, const PrintOptions*)> prepareBody;
  // Copies the style rules the Body field collected into the template document.
  std::function<void(CMessage&, platform::html::CHtmlDocument&)> applyBodyStyles;

  static TemplateServices defaults();
};

class CQuillMarkTemplateImpl {
 public:
  using ElementList = std::vector<platform::html::CHtmlElement>;
  using SourceList = std::vector<CComPtr<IDispatch>>;

  // The job must outlive the filler; the messages the filler makes join its sources.
  explicit CQuillMarkTemplateImpl(CPrintInfo& job, TemplateServices services = TemplateServices::defaults());

  // The whole fill. One element's failure never stops it; a document without a root element
  // raises _com_error.
  void process(const platform::html::CHtmlDocument& document);

  // Fills each data element from the source. Each element is guarded: a failing one is cleared
  // (hidden when it cannot be), its hideAncestorTag ancestor hidden, an Error logged.
  void processCollectionFromSource(const ElementList& elements, const CMessagePtr& source);
  // Every element with that id (or name) inside the scope, in document order; errors are logged
  // and give what was gathered.
  ElementList getNamedCollection(const platform::html::CHtmlElement& scope, const quilstring& id);
  void SetHeaderFooterAsHidden(const platform::html::CHtmlElement& scope, const quilstring& id);
  // The inner HTML of the last element with that id in the scope; empty when there is none.
  quilstring GetInnerHTMLFromID(const platform::html::CHtmlElement& scope, const quilstring& id);
  void setElementDisplay(const platform::html::CHtmlElement& element, const quilstring& value);
  // The element itself or its nearest ancestor with that tag (ignoring case); null when none.
  platform::html::CHtmlElement findAncestorByTag(const platform::html::CHtmlElement& element, const quilstring& tag);

  // Lists.
  // Table style: one row per item of the selection (else of the folder's items), then the folder's
  // own fields. A job without items hides the list and its separator.
  void processFolderElements(const platform::html::CHtmlElement& root);
  // The contact list of the source's linked contacts inside the scope.
  void processContactElements(const platform::html::CHtmlElement& scope, const CMessagePtr& source);
  // Builds one list: a row per source inserted before the emptied row template, each a SPAN with
  // the id QMObject, filled from its own source by reference (a null source fills from an empty
  // message). No sources: the list and its separators are hidden.
  void processMultiElements(const platform::html::CHtmlElement& scope, const SourceList& sources, const quilstring& listId,
                            const quilstring& rowId, const quilstring& separatorId, const quilstring& dataId,
                            bool nested);
  // Fills the QMFromProp elements from the contact of the source's sender, searched in the
  // Contacts folder and its sub-folders; with no contact (or a failed search) from an empty message.
  void handleFromProps(const platform::html::CHtmlElement& scope, const CMessagePtr& source);
  // Depth first: the folder's first item matching the filter, else its sub-folders'. Null when
  // none matches or the search fails (logged).
  CComPtr<IDispatch> findContactInFolder(IDispatch* folder, const quilstring& filter);

  // The filter that finds a contact by any of its three addresses; the address is quoted.
  static quilstring contactFilter(const quilstring& address);

 private:
  void fillRow(const ElementList& row, const CComPtr<IDispatch>& source, const quilstring& dataId, bool nested);
  void keepSource(const CMessagePtr& message);
  CMessagePtr makeMessage(IDispatch* item);
  CComPtr<IDispatch> findContactIn(IDispatch* folder, const quilstring& filter, int depth);

  CPrintInfo& m_job;
  TemplateServices m_services;
  platform::html::CHtmlDocument m_document;
};

class CQuillMarkTemplate {
 public:
  explicit CQuillMarkTemplate(CPrintInfo& job, TemplateServices services = TemplateServices::defaults());
  ~CQuillMarkTemplate();
  CQuillMarkTemplate(const CQuillMarkTemplate&) = delete;
  CQuillMarkTemplate& operator=(const CQuillMarkTemplate&) = delete;

  // Fills the document in place. Errors the fill does not handle reach the caller.
  void processTemplateDocument(const platform::html::CHtmlDocument& document);

  // The process-wide selection-print flag: while set, the filler keeps the item's body document
  // as the selection print left it instead of preparing it from the item.
  static void setSelectionPrint(bool on);
  static bool isSelectionPrint();

 private:
  std::unique_ptr<CQuillMarkTemplateImpl> m_impl;
};
