// Folders (MAPIFolder), their Folders collections and their Items with Find and Restrict.

#include <stdexcept>

#include "platform/outlook/ItemFilter.h"
#include "platform/outlook/detail/Objects.h"
#include "platform/system/Text.h"

namespace platform::outlook::detail {

using platform::system::equalsNoCase;
namespace {

using platform::com::CDispArgs;
using platform::com::IDispatchTableImpl;
using platform::com::putDispatch;
using platform::com::putLong;
using platform::com::putText;

constexpr DISPID kCount = 0x50;
constexpr DISPID kItem = 0x51;


class CFolder : public CComObjectRootEx<CComSingleThreadModel>, public IDispatchTableImpl<IDispatch> {
 public:
  BEGIN_COM_MAP(CFolder)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(IID_MAPIFolder, IDispatch)
  END_COM_MAP()

  CFolder(ContextPtr context, int index) : m_context(std::move(context)), m_index(index) {
    auto& t = dispatchTable();
    std::weak_ptr<Context> weak = m_context;
    const int parent = m_context->store().folders()[index].parent;
    addCommonMembers(t, m_context, olFolder, [weak, parent]() -> CComPtr<IDispatch> {
      const ContextPtr context = weak.lock();
      if (!context) return nullptr;
      return parent >= 0 ? context->folder(parent) : context->nameSpace();
    });
    t.property(0x3001, u"Name", [this](const CDispArgs&, VARIANT* r) { return putText(r, node().name); });
    t.property(0x3004, u"Description", [](const CDispArgs&, VARIANT* r) { return putText(r, u""); });
    t.property(0x3104, u"EntryID", [this](const CDispArgs&, VARIANT* r) { return putText(r, node().entryId); });
    t.property(0x3108, u"StoreID", [this](const CDispArgs&, VARIANT* r) {
      return putText(r, m_context->store().storeId());
    });
    t.property(0x3106, u"DefaultItemType", [this](const CDispArgs&, VARIANT* r) { return putLong(r, node().defaultItemType); });
    t.property(0x3107, u"DefaultMessageClass", [this](const CDispArgs&, VARIANT* r) {
      return putText(r, node().defaultMessageClass);
    });
    t.property(0x3100, u"Items", [this](const CDispArgs&, VARIANT* r) {
      return putDispatch(r, makeItems(m_context, m_index, node().items));
    });
    t.property(0x2103, u"Folders", [this](const CDispArgs&, VARIANT* r) { return putDispatch(r, makeFolders(m_context, m_index)); });
    t.property(0x3603, u"UnReadItemCount", [](const CDispArgs&, VARIANT* r) { return putLong(r, 0); });
    t.property(0xFC0D, u"FolderPath", [this](const CDispArgs&, VARIANT* r) {
      std::u16string path;
      for (int i = m_index; i >= 0; i = m_context->store().folders()[i].parent)
        path = u"\\" + m_context->store().folders()[i].name + path;
      return putText(r, u"\\" + path);
    });
  }

 private:
  const FolderNode& node() const { return m_context->store().folders()[m_index]; }

  ContextPtr m_context;
  int m_index;
};

class CFolders : public CComObjectRootEx<CComSingleThreadModel>, public IDispatchTableImpl<IDispatch> {
 public:
  BEGIN_COM_MAP(CFolders)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(IID__Folders, IDispatch)
  END_COM_MAP()

  CFolders(ContextPtr context, int parent) : m_context(std::move(context)) {
    if (parent < 0)
      m_children = {0};
    else
      m_children = m_context->store().folders()[parent].children;
    auto& t = dispatchTable();
    std::weak_ptr<Context> weak = m_context;
    addCommonMembers(t, m_context, olFolders, [weak, parent]() -> CComPtr<IDispatch> {
      const ContextPtr context = weak.lock();
      if (!context) return nullptr;
      return parent >= 0 ? context->folder(parent) : context->nameSpace();
    });
    t.property(kCount, u"Count", [this](const CDispArgs&, VARIANT* r) { return putLong(r, static_cast<LONG>(m_children.size())); });
    t.method(kItem, u"Item", [this](const CDispArgs& args, VARIANT* r) {
      std::u16string name;
      LONG index = 0;
      if (args[0].vt == VT_BSTR) {
        if (HRESULT hr = args.getText(0, name); FAILED(hr)) return hr;
        for (int child : m_children)
          if (equalsNoCase(m_context->store().folders()[child].name, name)) return putDispatch(r, m_context->folder(child));
        raise("The folder could not be found.");
      }
      if (HRESULT hr = args.getLong(0, index); FAILED(hr)) return hr;
      if (index < 1 || static_cast<std::size_t>(index) > m_children.size()) raise("Array index out of bounds.");
      return putDispatch(r, m_context->folder(m_children[index - 1]));
    }, 1, 1);
  }

 private:
  ContextPtr m_context;
  std::vector<int> m_children;
};

class CItems : public CComObjectRootEx<CComSingleThreadModel>, public IDispatchTableImpl<IDispatch> {
 public:
  BEGIN_COM_MAP(CItems)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(IID__Items, IDispatch)
  END_COM_MAP()

  CItems(ContextPtr context, int folder, std::vector<int> items)
      : m_context(std::move(context)), m_folder(folder), m_items(std::move(items)) {
    auto& t = dispatchTable();
    std::weak_ptr<Context> weak = m_context;
    addCommonMembers(t, m_context, olItems, [weak, folder]() -> CComPtr<IDispatch> {
      const ContextPtr context = weak.lock();
      return context ? context->folder(folder) : nullptr;
    });
    t.property(kCount, u"Count", [this](const CDispArgs&, VARIANT* r) { return putLong(r, static_cast<LONG>(m_items.size())); });
    t.method(kItem, u"Item", [this](const CDispArgs& args, VARIANT* r) {
      LONG index = 0;
      if (HRESULT hr = args.getLong(0, index); FAILED(hr)) return hr;
      if (index < 1 || static_cast<std::size_t>(index) > m_items.size()) raise("Array index out of bounds.");
      m_position = static_cast<std::size_t>(index);
      return putDispatch(r, m_context->item(m_items[index - 1]).p);
    }, 1, 1);
    t.method(0x56, u"GetFirst", [this](const CDispArgs&, VARIANT* r) {
      m_position = 0;
      return next(r);
    });
    t.method(0x58, u"GetNext", [this](const CDispArgs&, VARIANT* r) { return next(r); });
    t.method(0x62, u"Find", [this](const CDispArgs& args, VARIANT* r) {
      std::u16string filter;
      if (HRESULT hr = args.getText(0, filter); FAILED(hr)) return hr;
      m_filter = parse(filter);
      m_findPosition = 0;
      return findNext(r);
    }, 1, 1);
    t.method(0x63, u"FindNext", [this](const CDispArgs&, VARIANT* r) {
      if (!m_filter) return putDispatch(r, nullptr);
      return findNext(r);
    });
    t.method(0x64, u"Restrict", [this](const CDispArgs& args, VARIANT* r) {
      std::u16string text;
      if (HRESULT hr = args.getText(0, text); FAILED(hr)) return hr;
      const CItemFilter filter = parse(text);
      std::vector<int> kept;
      for (int item : m_items)
        if (matches(filter, item)) kept.push_back(item);
      return putDispatch(r, makeItems(m_context, m_folder, std::move(kept)));
    }, 1, 1);
  }

 private:
  static CItemFilter parse(const std::u16string& text) {
    std::u16string error;
    auto filter = CItemFilter::parse(text, &error);
    if (!filter) throw std::runtime_error(platform::system::utf16ToUtf8(error));
    return std::move(*filter);
  }

  bool matches(const CItemFilter& filter, int index) {
    CComPtr<CItem> item = m_context->item(index);
    if (!item) return false;
    return filter.matches([&](std::u16string_view name, CComVariant& value) {
      if (item->valueByName(name, value)) return true;
      // A property of other item types: this item simply does not match on it.
      for (const PropertyDef& def : propertyTable())
        if (equalsNoCase(def.name, name)) {
          value.Clear();
          return true;
        }
      return false;
    });
  }

  HRESULT next(VARIANT* r) {
    if (m_position >= m_items.size()) return putDispatch(r, nullptr);
    return putDispatch(r, m_context->item(m_items[m_position++]).p);
  }

  HRESULT findNext(VARIANT* r) {
    while (m_findPosition < m_items.size()) {
      const int item = m_items[m_findPosition++];
      if (matches(*m_filter, item)) return putDispatch(r, m_context->item(item).p);
    }
    return putDispatch(r, nullptr);
  }

  ContextPtr m_context;
  int m_folder;
  std::vector<int> m_items;
  std::size_t m_position = 0;
  std::optional<CItemFilter> m_filter;
  std::size_t m_findPosition = 0;
};

}  // namespace

CComPtr<IDispatch> makeFolder(const ContextPtr& context, int index) { return CComObject<CFolder>::Make(context, index); }
CComPtr<IDispatch> makeFolders(const ContextPtr& context, int parent) {
  return CComObject<CFolders>::Make(context, parent);
}
CComPtr<IDispatch> makeItems(const ContextPtr& context, int folder, std::vector<int> items) {
  return CComObject<CItems>::Make(context, folder, std::move(items));
}

}  // namespace platform::outlook::detail
