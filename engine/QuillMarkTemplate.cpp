#include "engine/QuillMarkTemplate.h"

#include <boost/make_shared.hpp>

#include "engine/PropertyFormatter.h"
#include "engine/detail/TemplateDom.h"
#include "foundation/Log.h"
#include "foundation/Utils.h"
#include "platform/loop/MessageLoop.h"

using platform::html::CHtmlDocument;
using platform::html::CHtmlElement;
using namespace engine::detail;

namespace {

bool g_selectionPrint = false;

// Blocks printed by the print template in the page margins, and the list separators copied
// between rows: none of them prints in the body.
constexpr const char16_t* kHiddenIds[] = {u"QMHeader",        u"QMFooter",        u"QMCoverHeader",
                                          u"QMCoverFooter",   u"QMTrailerHeader", u"QMTrailerFooter",
                                          u"QMContactListSeparator", u"QMFolderListSeparator"};

// Runs one step of the fill; an error is logged and the fill goes on.
template <class Step>
void guardStep(const char16_t* name, Step&& step) {
  try {
    step();
  } catch (const _com_error& e) {
    LOG_ERROR(u"Exception caught in CQuillMarkTemplateImpl::%s: %s", name, describe(e).c_str());
  } catch (...) {
    LOG_ERROR(u"Exception caught in CQuillMarkTemplateImpl::%s", name);
  }
}

// Leaves nothing of a failed element's settings text on the page: cleared, or hidden when the
// element refuses new content.
void clearElement(CHtmlElement element) {
  if (!element) return;
  if (FAILED(element.setInnerHTML(u""))) element.setStyleDisplay(u"none");
}

}  // namespace

TemplateServices TemplateServices::defaults() {
  TemplateServices services;
  services.formatElement = [](CElementSettings& settings, CMessage& message,
                               const CHtmlElement& element) -> std::optional<bool> {
    // A MAPI property tag used as a kind is served by the formatter of its property type.
    CPropertyFormatterPtr formatter = CPropertyFormatter::find(settings.kind());
    if (!formatter) formatter = CPropertyFormatter::find(settings.kind() & 0xFFFF);
    if (!formatter) return std::nullopt;
    return formatter->format(settings, message, element);
  };
  services.prepareBody = [](CMessage& message, const PrintOptions* range) { message.setHTMLFromBody(range); };
  services.applyBodyStyles = [](CMessage& message, CHtmlDocument& document) {
    check(message.applyHTMLBodyStyles(document));
  };
  return services;
}

CQuillMarkTemplateImpl::CQuillMarkTemplateImpl(CPrintInfo& job, TemplateServices services)
    : m_job(job), m_services(std::move(services)) {}

void CQuillMarkTemplateImpl::process(const CHtmlDocument& document) {
  LOG_DEBUG(u"CQuillMarkTemplateImpl::process");
  m_document = document;
  CHtmlElement root = m_document.all().tags(u"html").item(0);
  checkElement(root);

  LOG_DEBUG(u"setting header footer elements as hidden");
  try {
    for (const char16_t* id : kHiddenIds) SetHeaderFooterAsHidden(root, id);
  } catch (...) {
    LOG_ERROR(u"Failed to setting header footer elements as hidden ");
  }

  CMessagePtr item = m_job.getItem();
  if (!m_job.single()) {
    LOG_DEBUG(u"TABLE Style");
    guardStep(u"processFolderElements", [&] { processFolderElements(root); });
  } else {
    LOG_DEBUG(u"MEMO Style");
    // A memo-style job always has its item; without one the fields show nothing.
    if (!item) item = makeMessage(nullptr);
    guardStep(u"processContactElements", [&] { processContactElements(root, item); });
    platform::loop::serviceUrgent();
    if (!CQuillMarkTemplate::isSelectionPrint())
      guardStep(u"setHTMLFromBody", [&] { m_services.prepareBody(*item, m_job.getRange()); });
    try {
      processCollectionFromSource(getNamedCollection(root, u"QMMessProp"), item);
      handleFromProps(root, item);
    } catch (const _com_error& e) {
      LOG_ERROR(u"Couldn't access the QuillMark's QMMessProp collection within the template: %s", describe(e).c_str());
    } catch (...) {
      LOG_ERROR(u"Couldn't access document's QMMessProp collection within the template");
    }
    guardStep(u"applyHTMLBodyStyles", [&] { m_services.applyBodyStyles(*item, m_document); });
  }

  // A table-style job has no item, so its miscellaneous fields have no source.
  if (!item) return;
  try {
    processCollectionFromSource(getNamedCollection(root, u"QMMiscProp"), item);
  } catch (const _com_error& e) {
    LOG_ERROR(u"Couldn't access the QuillMark's QMMiscProp collection within the template: %s", describe(e).c_str());
  } catch (...) {
    LOG_ERROR(u"Couldn't access the QuillMark's QMMiscProp collection within the template: %s", u"???");
  }
}

void CQuillMarkTemplateImpl::processCollectionFromSource(const ElementList& elements, const CMessagePtr& source) {
  LOG_DEBUG(u"CQuillMarkTemplateImpl::processCollectionFromSource");
  for (CHtmlElement element : elements) {
    // A field can take a while (a body, an attachment list): the browser's questions are
    // answered between fields.
    platform::loop::serviceUrgent();
    quilstring text;
    try {
      text = innerHTMLOf(element);
    } catch (const _com_error& e) {
      LOG_ERROR(u"Couldn't access QMMessProp element: %s", describe(e).c_str());
      continue;
    } catch (...) {
      LOG_ERROR(u"Couldn't access QMMessProp element");
      continue;
    }
    if (text.empty()) continue;
    replaceAll(text, u"SRC_PERCENT_S", u"src=\"%s\"");
    LOG_DEBUG(u"Processing \"%s\"", text.c_str());

    quilstring hideTag;
    bool shown = false;
    try {
      CElementSettings settings(text, source ? source->getItem().getDispatch() : nullptr);
      hideTag = settings.hideAncestorTag();
      if (!source) _com_issue_error(E_POINTER);
      const std::optional<bool> written = m_services.formatElement(settings, *source, element);
      if (!written) {
        LOG_WARNING(u"Could not find property processor for \"%s\"", text.c_str());
        // A message without an item (no contact found, a link without its contact) shows nothing
        // in any field; its item fields cannot even resolve their kind.
        if (!source->getItem().getDispatch()) clearElement(element);
      }
      shown = written.value_or(false);
    } catch (const _com_error& e) {
      LOG_ERROR(u"Couldn't access QMMessProp element: %s", describe(e).c_str());
      clearElement(element);
    } catch (...) {
      LOG_ERROR(u"Couldn't access QMMessProp element");
      clearElement(element);
    }
    if (shown || hideTag.empty()) continue;
    if (CHtmlElement ancestor = findAncestorByTag(element, hideTag)) {
      LOG_DEBUG(u"Hiding element with tag name %s", hideTag.c_str());
      setElementDisplay(ancestor, u"none");
    }
  }
}

CQuillMarkTemplateImpl::ElementList CQuillMarkTemplateImpl::getNamedCollection(const CHtmlElement& scope,
                                                                               const quilstring& id) {
  ElementList result;
  try {
    checkElement(scope);
    const auto found = scope.all().item(id);
    // Gathering the elements of the collection has its own line; what was gathered stays.
    try {
      result.reserve(static_cast<std::size_t>(found.length()));
      for (long i = 0; i < found.length(); ++i) result.push_back(found.item(i));
    } catch (const _com_error& e) {
      LOG_ERROR(u"Couldn't add the QuillMark collection: %s", describe(e).c_str());
    }
  } catch (const _com_error& e) {
    LOG_ERROR(u"Couldn't access the QuillMark's %s collection: %s", id.c_str(), describe(e).c_str());
  } catch (...) {
    LOG_ERROR(u"Couldn't access document's QMContact collection within the template");
  }
  return result;
}

void CQuillMarkTemplateImpl::SetHeaderFooterAsHidden(const CHtmlElement& scope, const quilstring& id) {
  try {
    for (CHtmlElement element : getNamedCollection(scope, id)) putDisplay(element, u"none");
  } catch (...) {
    LOG_ERROR(u"SetHeaderFooterAsHidden:: Failed to set display to none");
  }
}

quilstring CQuillMarkTemplateImpl::GetInnerHTMLFromID(const CHtmlElement& scope, const quilstring& id) {
  quilstring html;
  try {
    for (const CHtmlElement& element : getNamedCollection(scope, id)) html = innerHTMLOf(element);
  } catch (...) {
    LOG_ERROR(u"GetInnerHTMLFromID:: Failed to get inner html ");
  }
  return html;
}

void CQuillMarkTemplateImpl::setElementDisplay(const CHtmlElement& element, const quilstring& value) {
  try {
    CHtmlElement target = element;
    putDisplay(target, value);
  } catch (const _com_error& e) {
    LOG_ERROR(u"Couldn't set element display property: %s", describe(e).c_str());
  } catch (...) {
    LOG_ERROR(u"Couldn't set element display property");
  }
}

CHtmlElement CQuillMarkTemplateImpl::findAncestorByTag(const CHtmlElement& element, const quilstring& tag) {
  for (CHtmlElement current = element; current; current = current.parentElement())
    if (NUtils::equalsNoCase(current.tagName(), tag)) return current;
  return {};
}

void CQuillMarkTemplateImpl::keepSource(const CMessagePtr& message) {
  m_job.addSource(message);
}

CMessagePtr CQuillMarkTemplateImpl::makeMessage(IDispatch* item) {
  CMessagePtr message = boost::make_shared<CMessage>(item);
  keepSource(message);
  return message;
}

CQuillMarkTemplate::CQuillMarkTemplate(CPrintInfo& job, TemplateServices services)
    : m_impl(std::make_unique<CQuillMarkTemplateImpl>(job, std::move(services))) {}

CQuillMarkTemplate::~CQuillMarkTemplate() = default;

void CQuillMarkTemplate::processTemplateDocument(const CHtmlDocument& document) { m_impl->process(document); }

void CQuillMarkTemplate::setSelectionPrint(bool on) { g_selectionPrint = on; }

bool CQuillMarkTemplate::isSelectionPrint() { return g_selectionPrint; }
