// The collections an item hands out: Attachments, Links, UserProperties and ItemProperties.

#include "platform/mapi/PropTags.h"
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
using platform::mapi::ComRef;
using platform::mapi::RowSetPtr;

constexpr DISPID kCount = 0x50;
constexpr DISPID kItem = 0x51;


// A 1-based index argument, or (when names are allowed) a name to look up; -1 when neither fits.
template <class NameOf>
long indexArgument(const CDispArgs& args, std::size_t count, NameOf nameOf) {
  const VARIANT& arg = args[0];
  const VARIANT* value = (arg.vt & VT_BYREF) && arg.vt == (VT_BYREF | VT_VARIANT) ? arg.pvarVal : &arg;
  if (value->vt == VT_BSTR || value->vt == (VT_BYREF | VT_BSTR)) {
    std::u16string name;
    if (FAILED(args.getText(0, name))) return -1;
    for (std::size_t i = 0; i < count; ++i)
      if (equalsNoCase(nameOf(i), name)) return static_cast<long>(i);
    return -1;
  }
  LONG index = 0;
  if (FAILED(args.getLong(0, index)) || index < 1 || static_cast<std::size_t>(index) > count) return -1;
  return index - 1;
}

struct AttachmentInfo {
  LONG number = 0;
  LONG method = 0;
  std::u16string displayName, fileName, pathName;
  LONG position = -1;
  LONG size = 0;
};

std::u16string columnText(const SPropValue& v) {
  return PROP_TYPE(v.ulPropTag) == PT_UNICODE && v.Value.lpszW ? std::u16string(v.Value.lpszW) : std::u16string();
}
std::optional<LONG> columnLong(const SPropValue& v) {
  if (PROP_TYPE(v.ulPropTag) == PT_LONG) return v.Value.l;
  if (PROP_TYPE(v.ulPropTag) == PT_BOOLEAN) return v.Value.b ? 1 : 0;
  return std::nullopt;
}

LONG attachmentType(LONG method) {
  switch (method) {
    case 2:
    case 3:
    case 4: return olByReference;
    case 5: return olEmbeddeditem;
    case 6: return olOLE;
    default: return olByValue;
  }
}

class CAttachment : public CComObjectRootEx<CComSingleThreadModel>, public IDispatchTableImpl<IDispatch> {
 public:
  BEGIN_COM_MAP(CAttachment)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(IID_Attachment, IDispatch)
  END_COM_MAP()

  CAttachment(CComPtr<CItem> item, CComPtr<IDispatch> parent, AttachmentInfo info, LONG index)
      : m_item(std::move(item)), m_info(std::move(info)) {
    auto& t = dispatchTable();
    addCommonMembers(t, m_item->context(), olAttachment, [parent] { return parent; });
    t.property(0x3001, u"DisplayName", [this](const CDispArgs&, VARIANT* r) { return putText(r, m_info.displayName); });
    t.property(0x3704, u"FileName", [this](const CDispArgs&, VARIANT* r) { return putText(r, m_info.fileName); });
    t.property(0x3708, u"PathName", [this](const CDispArgs&, VARIANT* r) { return putText(r, m_info.pathName); });
    t.property(0x5B, u"Index", [index](const CDispArgs&, VARIANT* r) { return putLong(r, index); });
    t.property(0x72, u"Position", [this](const CDispArgs&, VARIANT* r) { return putLong(r, m_info.position); });
    t.property(0xE21, u"Type", [this](const CDispArgs&, VARIANT* r) { return putLong(r, attachmentType(m_info.method)); });
    t.property(0xE20, u"Size", [this](const CDispArgs&, VARIANT* r) { return putLong(r, m_info.size); });
  }

 private:
  CComPtr<CItem> m_item;
  AttachmentInfo m_info;
};

class CAttachments : public CComObjectRootEx<CComSingleThreadModel>, public IDispatchTableImpl<IDispatch> {
 public:
  BEGIN_COM_MAP(CAttachments)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(IID_Attachments, IDispatch)
  END_COM_MAP()

  explicit CAttachments(CComPtr<CItem> item) : m_item(std::move(item)) {
    load();
    auto& t = dispatchTable();
    CComPtr<IDispatch> parent(static_cast<IDispatch*>(m_item.p));
    addCommonMembers(t, m_item->context(), olAttachments, [parent] { return parent; });
    t.property(kCount, u"Count", [this](const CDispArgs&, VARIANT* r) { return putLong(r, static_cast<LONG>(m_rows.size())); });
    t.method(kItem, u"Item", [this](const CDispArgs& args, VARIANT* r) {
      const long i = indexArgument(args, m_rows.size(), [this](std::size_t n) { return m_rows[n].displayName; });
      if (i < 0) raise("Array index out of bounds.");
      auto attachment = CComObject<CAttachment>::Make(m_item, CComPtr<IDispatch>(static_cast<IDispatch*>(this)),
                                                      m_rows[i], static_cast<LONG>(i + 1));
      return putDispatch(r, attachment);
    }, 1, 1);
  }

 private:
  void load() {
    IMessage* message = m_item->reader().message();
    if (!message) return;
    ComRef<IMAPITable> table;
    if (FAILED(message->GetAttachmentTable(MAPI_UNICODE, table.receive()))) return;
    SizedSPropTagArray(10, columns) = {10,
                                       {PR_ATTACH_NUM, PR_ATTACH_METHOD, PR_DISPLAY_NAME_W, PR_ATTACH_FILENAME_W,
                                        PR_ATTACH_LONG_FILENAME_W, PR_ATTACH_PATHNAME_W, PR_ATTACH_LONG_PATHNAME_W,
                                        PR_RENDERING_POSITION, PR_ATTACH_SIZE, PR_ATTACHMENT_HIDDEN}};
    LPSRowSet rows = nullptr;
    if (FAILED(HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, &rows)))
      return;
    RowSetPtr hold(rows);
    const bool appointment = m_item->kind() == kAppointment;
    for (ULONG i = 0; i < rows->cRows; ++i) {
      const SPropValue* v = rows->aRow[i].lpProps;
      if (rows->aRow[i].cValues < 10 || !v) continue;
      AttachmentInfo info;
      info.number = columnLong(v[0]).value_or(static_cast<LONG>(i));
      info.method = columnLong(v[1]).value_or(1);
      // An appointment's exceptions are hidden embedded items, not attachments.
      if (appointment && info.method == 5 && columnLong(v[9]).value_or(0)) continue;
      const std::u16string longName = columnText(v[4]), shortName = columnText(v[3]);
      info.fileName = !longName.empty() ? longName : shortName;
      info.displayName = columnText(v[2]);
      if (info.displayName.empty()) info.displayName = info.fileName;
      info.pathName = columnText(v[6]);
      if (info.pathName.empty()) info.pathName = columnText(v[5]);
      info.position = columnLong(v[7]).value_or(-1);
      info.size = columnLong(v[8]).value_or(0);
      m_rows.push_back(std::move(info));
    }
  }

  CComPtr<CItem> m_item;
  std::vector<AttachmentInfo> m_rows;
};

// The contacts linked to an item, by the names it keeps.
class CLink : public CComObjectRootEx<CComSingleThreadModel>, public IDispatchTableImpl<IDispatch> {
 public:
  BEGIN_COM_MAP(CLink)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(IID_Link, IDispatch)
  END_COM_MAP()

  CLink(ContextPtr context, CComPtr<IDispatch> parent, std::u16string name)
      : m_context(std::move(context)), m_name(std::move(name)) {
    auto& t = dispatchTable();
    addCommonMembers(t, m_context, olLink, [parent] { return parent; });
    t.property(0x3001, u"Name", [this](const CDispArgs&, VARIANT* r) { return putText(r, m_name); });
    t.property(0x2101, u"Type", [](const CDispArgs&, VARIANT* r) { return putLong(r, olContact); });
    t.property(0x2102, u"Item", [this](const CDispArgs&, VARIANT* r) { return putDispatch(r, findContact()); });
  }

 private:
  // The store's contact of that name (FullName, FileAs or Subject); none when there is none.
  CComPtr<IDispatch> findContact() {
    const StoreModel& store = m_context->store();
    for (int i = 0; i < static_cast<int>(store.items().size()); ++i) {
      if (store.folders()[store.items()[i].folder].defaultItemType != olContactItem) continue;
      CComPtr<CItem> item = m_context->item(i);
      if (!item || item->kind() != kContact) continue;
      for (std::u16string_view field : {u"FullName", u"FileAs", u"Subject"}) {
        CComVariant value;
        if (item->valueByName(field, value) && value.vt == VT_BSTR && value.bstrVal &&
            equalsNoCase(value.bstrVal, m_name))
          return CComPtr<IDispatch>(static_cast<IDispatch*>(item.p));
      }
    }
    return nullptr;
  }

  ContextPtr m_context;
  std::u16string m_name;
};

class CLinks : public CComObjectRootEx<CComSingleThreadModel>, public IDispatchTableImpl<IDispatch> {
 public:
  BEGIN_COM_MAP(CLinks)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(IID_Links, IDispatch)
  END_COM_MAP()

  explicit CLinks(CComPtr<CItem> item) : m_item(std::move(item)) {
    // PidLidContacts: the names of the linked contacts.
    MessageReader& reader = m_item->reader();
    if (const ULONG tag = reader.namedTag(PSETID_Common, 0x853A, PT_MV_UNICODE)) {
      if (auto value = reader.read(tag)) {
        for (ULONG i = 0; i < value->Value.MVszW.cValues; ++i)
          if (value->Value.MVszW.lppszW[i] && *value->Value.MVszW.lppszW[i])
            m_names.emplace_back(value->Value.MVszW.lppszW[i]);
      }
    }
    auto& t = dispatchTable();
    CComPtr<IDispatch> parent(static_cast<IDispatch*>(m_item.p));
    addCommonMembers(t, m_item->context(), olLinks, [parent] { return parent; });
    t.property(kCount, u"Count", [this](const CDispArgs&, VARIANT* r) { return putLong(r, static_cast<LONG>(m_names.size())); });
    t.method(kItem, u"Item", [this](const CDispArgs& args, VARIANT* r) {
      const long i = indexArgument(args, m_names.size(), [this](std::size_t n) { return m_names[n]; });
      if (i < 0) raise("Array index out of bounds.");
      return putDispatch(r, CComObject<CLink>::Make(m_item->context(), CComPtr<IDispatch>(static_cast<IDispatch*>(this)),
                                                    m_names[i]));
    }, 1, 1);
  }

 private:
  CComPtr<CItem> m_item;
  std::vector<std::u16string> m_names;
};

LONG userTypeOf(const VARIANT& value) {
  switch (value.vt) {
    case VT_BSTR: return olText;
    case VT_I4:
    case VT_I2: return olInteger;
    case VT_R8:
    case VT_R4: return olNumber;
    case VT_BOOL: return olYesNo;
    case VT_DATE: return olDateTime;
    case VT_CY: return olCurrency;
    default: return olOutlookInternal;
  }
}

// A property by name: a user-defined one (UserProperty) or one of the item's own (ItemProperty).
class CNamedProperty : public CComObjectRootEx<CComSingleThreadModel>, public IDispatchTableImpl<IDispatch> {
 public:
  BEGIN_COM_MAP(CNamedProperty)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(IID_UserProperty, IDispatch)
    COM_INTERFACE_ENTRY_IID(IID_ItemProperty, IDispatch)
  END_COM_MAP()

  CNamedProperty(CComPtr<CItem> item, CComPtr<IDispatch> parent, std::u16string name, bool user, LONG objectClass)
      : m_item(std::move(item)), m_name(std::move(name)), m_user(user) {
    auto& t = dispatchTable();
    addCommonMembers(t, m_item->context(), objectClass, [parent] { return parent; });
    t.property(0x70, u"Name", [this](const CDispArgs&, VARIANT* r) { return putText(r, m_name); });
    t.property(0x0, u"Value", [this](const CDispArgs&, VARIANT* r) {
      CComVariant value;
      if (!m_item->valueByName(m_name, value)) raise("The property could not be found.");
      return value.Detach(r);
    });
    t.property(0x6D, u"Type", [this](const CDispArgs&, VARIANT* r) {
      CComVariant value;
      return putLong(r, m_item->valueByName(m_name, value) ? userTypeOf(value) : olOutlookInternal);
    });
    t.property(0xFA0C, u"IsUserProperty", [this](const CDispArgs&, VARIANT* r) { return platform::com::putBool(r, m_user); });
  }

 private:
  CComPtr<CItem> m_item;
  std::u16string m_name;
  bool m_user;
};

// UserProperties and ItemProperties: names fixed when the collection is made.
class CPropertyCollection : public CComObjectRootEx<CComSingleThreadModel>, public IDispatchTableImpl<IDispatch> {
 public:
  BEGIN_COM_MAP(CPropertyCollection)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(IID_UserProperties, IDispatch)
    COM_INTERFACE_ENTRY_IID(IID_ItemProperties, IDispatch)
  END_COM_MAP()

  CPropertyCollection(CComPtr<CItem> item, bool itemProperties) : m_item(std::move(item)), m_itemProperties(itemProperties) {
    if (itemProperties) {
      const ItemKind kind = m_item->kind();
      for (const PropertyDef& def : propertyTable()) {
        if (!(def.kinds & kind) || def.form == ValueForm::Method) continue;
        bool seen = false;
        for (const auto& [name, user] : m_names) seen = seen || equalsNoCase(name, def.name);
        if (!seen) m_names.emplace_back(std::u16string(def.name), false);
      }
    }
    for (auto& [name, value] : m_item->userProperties()) m_names.emplace_back(name, true);

    auto& t = dispatchTable();
    CComPtr<IDispatch> parent(static_cast<IDispatch*>(m_item.p));
    addCommonMembers(t, m_item->context(), itemProperties ? olItemProperties : olUserProperties,
                     [parent] { return parent; });
    t.property(kCount, u"Count", [this](const CDispArgs&, VARIANT* r) { return putLong(r, static_cast<LONG>(m_names.size())); });
    t.method(kItem, u"Item", [this](const CDispArgs& args, VARIANT* r) {
      const long i = indexArgument(args, m_names.size(), [this](std::size_t n) { return m_names[n].first; });
      if (i < 0) raise("The property could not be found.");
      return putDispatch(r, make(static_cast<std::size_t>(i)));
    }, 1, 1);
    t.method(0x67, u"Find", [this](const CDispArgs& args, VARIANT* r) {
      std::u16string name;
      if (HRESULT hr = args.getText(0, name); FAILED(hr)) return hr;
      for (std::size_t i = 0; i < m_names.size(); ++i)
        if (equalsNoCase(m_names[i].first, name)) return putDispatch(r, make(i));
      return putDispatch(r, nullptr);
    }, 1, 2);
  }

 private:
  CComPtr<IDispatch> make(std::size_t i) {
    return CComObject<CNamedProperty>::Make(m_item, CComPtr<IDispatch>(static_cast<IDispatch*>(this)),
                                            m_names[i].first, m_names[i].second,
                                            m_itemProperties ? olItemProperty : olUserProperty);
  }

  CComPtr<CItem> m_item;
  bool m_itemProperties;
  std::vector<std::pair<std::u16string, bool>> m_names;  // name, user-defined
};

}  // namespace

CComPtr<IDispatch> makeAttachments(CItem& item) { return CComObject<CAttachments>::Make(CComPtr<CItem>(&item)); }
CComPtr<IDispatch> makeLinks(CItem& item) { return CComObject<CLinks>::Make(CComPtr<CItem>(&item)); }
CComPtr<IDispatch> makeUserProperties(CItem& item) {
  return CComObject<CPropertyCollection>::Make(CComPtr<CItem>(&item), false);
}
CComPtr<IDispatch> makeItemProperties(CItem& item) {
  return CComObject<CPropertyCollection>::Make(CComPtr<CItem>(&item), true);
}

}  // namespace platform::outlook::detail
