// The lists of the template filler: the rows of a table-style job, the contact lists, and the
// sender's contact.
#include "engine/QuillMarkTemplate.h"

#include <exception>

#include <boost/make_shared.hpp>

#include "engine/detail/DispatchHelpers.h"
#include "engine/detail/TemplateDom.h"
#include "foundation/Guard.h"
#include "foundation/Log.h"
#include "foundation/Settings.h"
#include "platform/com/ComError.h"
#include "platform/outlook/OutlookInterfaces.h"

using platform::html::CHtmlElement;
using namespace engine::detail;

namespace {

// Contacts folders nest; a search never goes deeper than this.
constexpr int kMaxFolderDepth = 64;

CComVariant indexArg(LONG i) { return CComVariant(i, VT_I4); }

// The members of an Outlook collection (Selection, Items), read in order with the count read once.
// A member that cannot be read is a missing source: its row shows nothing.
CQuillMarkTemplateImpl::SourceList membersOf(IDispatch* collection) {
  CQuillMarkTemplateImpl::SourceList sources;
  LONG count = 0;
  if (!collection || FAILED(countOf(collection, count))) return sources;
  for (LONG i = 1; i <= count; ++i) {
    CComVariant member;
    if (FAILED(getItemOf(collection, indexArg(i), member))) member.Clear();
    sources.push_back(dispatchOf(member));
  }
  return sources;
}

CComPtr<IDispatch> objectProperty(IDispatch* object, const char16_t* name) {
  CComVariant value;
  const HRESULT hr = CComDispatchDriver(object).GetPropertyByName(name, value.Receive());
  if (FAILED(hr)) _com_issue_error(hr);
  return dispatchOf(value);
}

// The Contacts folder of the Outlook application the settings store keeps; null without one.
CComPtr<IDispatch> contactsFolder() {
  CComPtr<IDispatch> application = CSettings::instance().outlookApplication();
  if (!application) return nullptr;
  CComVariant name(u"MAPI"), nameSpace, folder;
  HRESULT hr = CComDispatchDriver(application).Invoke1(u"GetNamespace", &name, nameSpace.Receive());
  if (FAILED(hr)) _com_issue_error(hr);
  CComPtr<IDispatch> session = dispatchOf(nameSpace);
  if (!session) return nullptr;
  const CComVariant which(static_cast<LONG>(olFolderContacts), VT_I4);
  hr = CComDispatchDriver(session).Invoke1(u"GetDefaultFolder", &which, folder.Receive());
  if (FAILED(hr)) _com_issue_error(hr);
  return dispatchOf(folder);
}

// The elements of a row with that id: the row's top-level elements themselves and everything
// inside them.
CQuillMarkTemplateImpl::ElementList namedInRow(const CQuillMarkTemplateImpl::ElementList& row, const quilstring& id) {
  CQuillMarkTemplateImpl::ElementList found;
  for (const CHtmlElement& top : row) {
    if (isNamed(top, id)) found.push_back(top);
    const auto inside = top.all().item(id);
    for (long i = 0; i < inside.length(); ++i) found.push_back(inside.item(i));
  }
  return found;
}

}  // namespace

void CQuillMarkTemplateImpl::processFolderElements(const CHtmlElement& root) {
  const SourceList sources = m_job.getSelection() ? membersOf(m_job.getSelection()) : membersOf(m_job.getItems());
  // Without items the list is hidden rather than printed as written.
  processMultiElements(root, sources, u"QMFolderList", u"QMFolderListItem", u"QMFolderListSeparator", u"QMMessProp",
                       true);
  try {
    processCollectionFromSource(getNamedCollection(root, u"QMFolderProp"), makeMessage(m_job.getFolder()));
  } catch (const _com_error& e) {
    LOG_ERROR(u"Couldn't access the QuillMark's QMFolderProp collection within the template: %s", describe(e).c_str());
  } catch (const std::exception& e) {
    LOG_ERROR(u"Couldn't access document's QMMessProp collection within the template: %S", e.what());
  } catch (...) {
    LOG_ERROR(u"Couldn't access document's QMMessProp collection within the template");
  }
}

void CQuillMarkTemplateImpl::processContactElements(const CHtmlElement& scope, const CMessagePtr& source) {
  LOG_DEBUG(u"CQuillMarkTemplateImpl::processContactElements");
  SourceList sources;
  if (CComPtr<IDispatch> links = source ? source->getItem().getLinks() : nullptr) {
    LONG count = 0;
    for (LONG i = 1; SUCCEEDED(countOf(links, count)) && i <= count; ++i) {
      CComVariant link;
      CComPtr<IDispatch> contact;
      if (SUCCEEDED(getItemOf(links, indexArg(i), link))) {
        if (CComPtr<IDispatch> linkObject = dispatchOf(link)) {
          CComVariant item;
          if (SUCCEEDED(CComDispatchDriver(linkObject).GetPropertyByName(u"Item", item.Receive())))
            contact = dispatchOf(item);
        }
      }
      // A link without its contact still gets its row, filled from an empty message.
      sources.push_back(contact);
    }
  }
  processMultiElements(scope, sources, u"QMContactList", u"QMContactListItem", u"QMContactListSeparator",
                       u"QMContactProp", false);
}

void CQuillMarkTemplateImpl::processMultiElements(const CHtmlElement& scope, const SourceList& sources,
                                                  const quilstring& listId, const quilstring& rowId,
                                                  const quilstring& separatorId, const quilstring& dataId, bool nested) {
  LOG_DEBUG(u"CQuillMarkTemplateImpl::processMultiElements");
  try {
    if (sources.empty()) {
      SetHeaderFooterAsHidden(scope, listId);
      SetHeaderFooterAsHidden(scope, separatorId);
      return;
    }
    const ElementList lists = getNamedCollection(scope, listId);
    if (lists.empty()) return;
    const ElementList templates = getNamedCollection(lists.front(), rowId);
    if (templates.empty()) {
      LOG_ERROR(u"Couldn't access document's QMContactListItem within the template's QMContactList");
      return;
    }
    CHtmlElement rowTemplate = templates.front();
    quilstring rowHTML = innerHTMLOf(rowTemplate);
    putInnerHTML(rowTemplate, u"");
    replaceAll(rowHTML, u"src=\"%s\"", u"SRC_PERCENT_S");
    const quilstring separatorHTML = GetInnerHTMLFromID(scope, separatorId);

    // Each row is parsed on its own and kept by reference, so that no markup of one row (nor a
    // QMObject inside the row template) can shift rows against their sources.
    std::vector<ElementList> rows;
    rows.reserve(sources.size());
    for (std::size_t i = 0; i < sources.size(); ++i) {
      quilstring html = u"<SPAN id=QMObject>";
      if (i > 0) html += separatorHTML;
      html += rowHTML;
      html += u"</SPAN>";
      ElementList inserted;
      check(rowTemplate.insertHTMLBefore(html, &inserted));
      rows.push_back(std::move(inserted));
    }
    for (std::size_t i = 0; i < rows.size(); ++i) fillRow(rows[i], sources[i], dataId, nested);
  } catch (const _com_error& e) {
    LOG_ERROR(u"Couldn't access the QuillMark's QMMessProp collection within the template: %s", describe(e).c_str());
  } catch (const std::exception& e) {
    LOG_ERROR(u"Couldn't access document's QMMessProp collection within the template: %S", e.what());
  } catch (...) {
    LOG_ERROR(u"Couldn't access document's QMMessProp collection within the template");
  }
}

void CQuillMarkTemplateImpl::fillRow(const ElementList& row, const CComPtr<IDispatch>& source, const quilstring& dataId,
                                     bool nested) {
  const ElementList data = namedInRow(row, dataId);
  const CMessagePtr message = makeMessage(source);
  processCollectionFromSource(data, message);
  for (const CHtmlElement& top : row) handleFromProps(top, message);
  m_services.applyBodyStyles(*message, m_document);
  if (nested)
    for (const CHtmlElement& top : row) processContactElements(top, message);
}

void CQuillMarkTemplateImpl::handleFromProps(const CHtmlElement& scope, const CMessagePtr& source) {
  LOG_DEBUG(u">> CQuillMarkTemplateImpl::handleFromProps");
  NUtils::guarded(u"CQuillMarkTemplateImpl::handleFromProps", [&] {
    const ElementList elements = getNamedCollection(scope, u"QMFromProp");
    if (elements.empty()) {
      LOG_DEBUG(u"No QMFromProp's in template. Ignoring..");
      return;
    }
    LOG_DEBUG(u"Found (%d) QMFromProp elements", static_cast<int>(elements.size()));

    quilstring address;
    const RecipientListPtr senders = source ? source->getRecipients(kRecipientSender) : RecipientListPtr();
    if (senders && !senders->empty()) {
      address = senders->front().address;
      LOG_DEBUG(u"Sender email address: %s", address.c_str());
    } else {
      LOG_DEBUG(u"Cannot find Sender Email Address");
    }

    CComPtr<IDispatch> contact;
    if (!address.empty()) {
      // A failed search is the same as no match: the fields are emptied, never left as written.
      const bool searched = NUtils::guarded(u"CQuillMarkTemplateImpl::handleFromProps", [&] {
        if (CComPtr<IDispatch> folder = contactsFolder()) {
          const quilstring filter = contactFilter(address);
          LOG_DEBUG(u"Finding contact based on: %s", filter.c_str());
          contact = findContactInFolder(folder, filter);
          if (contact) LOG_DEBUG(u"Found Contact");
          else LOG_DEBUG(u"Cannot find Contact");
        } else {
          LOG_DEBUG(u"Cannot find Contacts Folder");
        }
      });
      if (!searched) contact.Release();
    }
    CMessagePtr message = boost::make_shared<CMessage>(contact);
    if (contact) LOG_DEBUG(u"Created message object from contact");

    LOG_DEBUG(u"Processing collection from source");
    keepSource(message);
    processCollectionFromSource(elements, message);
    LOG_DEBUG(u"Processed collection from source");
  });
  LOG_DEBUG(u"<< CQuillMarkTemplateImpl::handleFromProps");
}

quilstring CQuillMarkTemplateImpl::contactFilter(const quilstring& address) {
  // The address is a quoted value of the condition: its own quotes are doubled.
  quilstring quoted = address;
  replaceAll(quoted, u"'", u"''");
  quilstring filter;
  filter.Format(u"[Email1Address] = '%s' Or [Email2Address] = '%s' Or [Email3Address] = '%s'", quoted.c_str(),
                quoted.c_str(), quoted.c_str());
  return filter;
}

CComPtr<IDispatch> CQuillMarkTemplateImpl::findContactInFolder(IDispatch* folder, const quilstring& filter) {
  return findContactIn(folder, filter, 0);
}

CComPtr<IDispatch> CQuillMarkTemplateImpl::findContactIn(IDispatch* folder, const quilstring& filter, int depth) {
  using Found = CComPtr<IDispatch>;
  return NUtils::guarded(u"CQuillMarkTemplateImpl::findContactInFolder", Found(), [&]() -> Found {
    if (!folder) _com_issue_error(E_POINTER);
    CComPtr<IDispatch> items = objectProperty(folder, u"Items");
    if (!items) _com_issue_error(E_POINTER);
    const CComVariant condition(static_cast<std::u16string_view>(filter));
    CComVariant found;
    const HRESULT hr = CComDispatchDriver(items).Invoke1(u"Find", &condition, found.Receive());
    if (FAILED(hr)) _com_issue_error(hr);
    if (CComPtr<IDispatch> contact = dispatchOf(found)) return contact;

    if (depth >= kMaxFolderDepth) return nullptr;
    CComPtr<IDispatch> folders = objectProperty(folder, u"Folders");
    if (!folders) return nullptr;
    LONG count = 0;
    for (LONG i = 1;; ++i) {
      if (HRESULT counted = countOf(folders, count); FAILED(counted)) _com_issue_error(counted);
      if (i > count) break;
      CComVariant member;
      if (HRESULT got = getItemOf(folders, indexArg(i), member); FAILED(got)) _com_issue_error(got);
      if (CComPtr<IDispatch> sub = dispatchOf(member))
        if (CComPtr<IDispatch> contact = findContactIn(sub, filter, depth + 1)) return contact;
    }
    return nullptr;
  });
}
