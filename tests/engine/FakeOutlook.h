#pragma once
// Fake Outlook objects for the engine's unit tests: dispatch objects whose members answer fixed
// values or fail, collections with Count and Item, and a record of the calls made on them.

#include <string>
#include <utility>
#include <vector>

#include "platform/com/ComObject.h"
#include "platform/com/DispatchImpl.h"

namespace enginetest {

class CFakeObject : public CComObjectRootEx<CComSingleThreadModel>,
                    public platform::com::IDispatchTableImpl<IDispatch> {
 public:
  BEGIN_COM_MAP(CFakeObject)
    COM_INTERFACE_ENTRY(IDispatch)
  END_COM_MAP()

  // A property answering a copy of value; puts are recorded and stored.
  CFakeObject& value(DISPID id, std::u16string_view name, const VARIANT& v) {
    m_values.emplace_back(id, CComVariant(v));
    const std::size_t slot = m_values.size() - 1;
    const std::u16string memberName(name);
    dispatchTable().property(
        id, name,
        [this, slot, memberName](const platform::com::CDispArgs&, VARIANT* result) {
          calls.push_back(u"get " + memberName);
          return platform::com::putVariant(result, m_values[slot].second);
        },
        [this, slot, memberName](const platform::com::CDispArgs& args, VARIANT*) {
          calls.push_back(u"put " + memberName);
          if (args.putValue()) m_values[slot].second = *args.putValue();
          return S_OK;
        });
    return *this;
  }
  CFakeObject& text(DISPID id, std::u16string_view name, std::u16string_view v) {
    return value(id, name, CComVariant(v));
  }
  CFakeObject& object(DISPID id, std::u16string_view name, IDispatch* v) {
    return value(id, name, CComVariant(v));
  }
  // A property whose read fails with hr.
  CFakeObject& failing(DISPID id, std::u16string_view name, HRESULT hr = E_FAIL) {
    const std::u16string memberName(name);
    dispatchTable().property(id, name, [this, hr, memberName](const platform::com::CDispArgs&, VARIANT*) {
      calls.push_back(u"get " + memberName);
      return hr;
    });
    return *this;
  }
  // A method without arguments that is only recorded.
  CFakeObject& method(DISPID id, std::u16string_view name) {
    const std::u16string memberName(name);
    dispatchTable().method(id, name, [this, memberName](const platform::com::CDispArgs&, VARIANT*) {
      calls.push_back(u"call " + memberName);
      return S_OK;
    });
    return *this;
  }
  // Count and Item(1-based index, or a member's Name) over the members.
  CFakeObject& collection(std::vector<CComPtr<IDispatch>> members, std::vector<std::u16string> names = {}) {
    m_members = std::move(members);
    m_names = std::move(names);
    dispatchTable()
        .property(0x50, u"Count",
                  [this](const platform::com::CDispArgs&, VARIANT* r) {
                    return platform::com::putLong(r, static_cast<LONG>(m_members.size()));
                  })
        .method(
            0x51, u"Item",
            [this](const platform::com::CDispArgs& args, VARIANT* r) -> HRESULT {
              calls.push_back(u"call Item");
              if (args[0].vt == VT_BSTR) {
                for (std::size_t i = 0; i < m_names.size(); ++i)
                  if (m_names[i] == std::u16string_view(args[0].bstrVal, SysStringLen(args[0].bstrVal)))
                    return platform::com::putDispatch(r, m_members[i]);
                return DISP_E_MEMBERNOTFOUND;
              }
              LONG index = 0;
              const HRESULT hr = args.getLong(0, index);
              if (FAILED(hr)) return hr;
              if (index < 1 || index > static_cast<LONG>(m_members.size())) return DISP_E_BADINDEX;
              return platform::com::putDispatch(r, m_members[index - 1]);
            },
            1, 1);
    return *this;
  }

  std::size_t count(std::u16string_view call) const {
    std::size_t n = 0;
    for (const auto& c : calls) n += c == call;
    return n;
  }
  const VARIANT& stored(DISPID id) const {
    for (const auto& [key, v] : m_values)
      if (key == id) return v;
    return vtMissing;
  }

  std::vector<std::u16string> calls;

 private:
  std::vector<std::pair<DISPID, CComVariant>> m_values;
  std::vector<CComPtr<IDispatch>> m_members;
  std::vector<std::u16string> m_names;
};

using FakePtr = CComPtr<CComObject<CFakeObject>>;

inline FakePtr makeFake() { return CComObject<CFakeObject>::Make(); }

// An ItemProperties collection: one ItemProperty (with Value) per name.
inline FakePtr makeItemProperties(const std::vector<std::pair<std::u16string, CComVariant>>& values) {
  std::vector<CComPtr<IDispatch>> members;
  std::vector<std::u16string> names;
  for (const auto& [name, v] : values) {
    FakePtr property = makeFake();
    property->text(0x1, u"Name", name).value(0x0, u"Value", v);
    members.emplace_back(property.p);
    names.push_back(name);
  }
  FakePtr collection = makeFake();
  collection->collection(std::move(members), std::move(names));
  return collection;
}

}  // namespace enginetest
