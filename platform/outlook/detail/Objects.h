#pragma once
// The object model's objects over the store. Every object holds the shared context; the context
// keeps one object per folder and per item (so that the same item is the same COM object however
// it is reached) until the application closes.

#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/com/ComObject.h"
#include "platform/com/ConnectionPoint.h"
#include "platform/com/DispatchImpl.h"
#include "platform/outlook/Outlook.h"
#include "platform/outlook/OutlookInterfaces.h"
#include "platform/outlook/detail/MessageReader.h"
#include "platform/outlook/detail/Store.h"

namespace platform::outlook::detail {

class CApplication;
class CItem;

// What every object of one application shares.
class Context : public std::enable_shared_from_this<Context> {
 public:
  Context(std::shared_ptr<StoreModel> store, OutlookOptions options)
      : m_store(std::move(store)), m_options(std::move(options)) {}

  const StoreModel& store() const { return *m_store; }
  const OutlookOptions& options() const { return m_options; }
  bool closed() const { return m_closed; }

  // Null once closed.
  CApplication* applicationObject() const { return m_application; }
  IDispatch* application() const;
  CComPtr<IDispatch> nameSpace();
  CComPtr<IDispatch> folder(int index);
  CComPtr<CItem> item(int index);
  // The item's open inspector, if any.
  CComPtr<IDispatch> inspectorOf(IDispatch* item) const;

  void attach(CApplication* application) { m_application = application; }
  // Drops every cached object, so that the objects' references to the context end.
  void close();

 private:
  std::shared_ptr<StoreModel> m_store;
  OutlookOptions m_options;
  CApplication* m_application = nullptr;  // owned by the host
  bool m_closed = false;
  CComPtr<IDispatch> m_nameSpace;
  std::map<int, CComPtr<IDispatch>> m_folders;
  std::map<int, CComPtr<CItem>> m_items;
};
using ContextPtr = std::shared_ptr<Context>;

// Registers the members every object has: Application, Session, Class and Parent.
void addCommonMembers(platform::com::CDispatchTable& table, const ContextPtr& context, LONG objectClass,
                      std::function<CComPtr<IDispatch>()> parent);

// A throw inside a member handler becomes DISP_E_EXCEPTION with this text, as Outlook raises.
[[noreturn]] void raise(const char* message);

// One item: a .msg file of the store. Its members come from the property table for its type.
class CItem : public CComObjectRootEx<CComSingleThreadModel>, public IDispatch {
 public:
  CItem(ContextPtr context, int index);

  // IUnknown, IDispatch and the item's own interface (_MailItem, _ContactItem ...).
  HRESULT _InternalQueryInterface(REFIID iid, void** ppv) noexcept;
  IUnknown* GetUnknown() noexcept { return this; }

  STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) override;
  STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo** ppTInfo) override;
  STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) override;
  STDMETHOD(Invoke)(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                    VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

  ItemKind kind();
  int index() const { return m_index; }
  MessageReader& reader() { return m_reader; }
  const ContextPtr& context() const { return m_context; }

  // A property's value as the object model answers it; false when the item has no such member.
  bool value(const PropertyDef& def, CComVariant& out);
  // By name: table properties, then user properties.
  bool valueByName(std::u16string_view name, CComVariant& out);
  // User-defined properties: (name, value), in the file's name-map order.
  std::vector<std::pair<std::u16string, CComVariant>> userProperties();

 private:
  HRESULT invokeMember(const PropertyDef& def, WORD flags, DISPPARAMS* params, VARIANT* result);
  bool computedValue(const PropertyDef& def, CComVariant& out);

  ContextPtr m_context;
  int m_index;
  MessageReader m_reader;
  std::optional<ItemKind> m_kind;
  std::map<DISPID, CComVariant> m_changes;  // values put since the item was opened (never written)
};

// Windows opened and closed by items (Display, GetInspector, Close) as by the host.
CComPtr<IDispatch> openInspectorOf(CApplication& application, IDispatch* item);
HRESULT closeWindowOf(CApplication& application, IDispatch* window);

// Object factories (each file keeps its classes to itself).
CComPtr<IDispatch> makeFolder(const ContextPtr& context, int index);
CComPtr<IDispatch> makeFolders(const ContextPtr& context, int parent);  // parent -1: the stores
CComPtr<IDispatch> makeItems(const ContextPtr& context, int folder, std::vector<int> items);
CComPtr<IDispatch> makeNameSpace(const ContextPtr& context);
CComPtr<IDispatch> makeAttachments(CItem& item);
CComPtr<IDispatch> makeLinks(CItem& item);
CComPtr<IDispatch> makeUserProperties(CItem& item);
CComPtr<IDispatch> makeItemProperties(CItem& item);

}  // namespace platform::outlook::detail
