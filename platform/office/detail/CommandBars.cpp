// The command-bar model: CommandBars, bars, their Controls collections, buttons and popups as
// dispatch objects. A parent owns its children; a child's way up is a plain pointer its parent
// clears when it lets the child go, so objects the add-in keeps never point at freed ones.

#include "platform/office/CommandBars.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <stdexcept>

#include "platform/com/Bstr.h"
#include "platform/com/ComObject.h"
#include "platform/com/ConnectionPoint.h"
#include "platform/com/DispatchImpl.h"
#include "platform/office/OfficeInterfaces.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Text.h"

namespace platform::office {

namespace detail {

using platform::com::CConnectionPoint;
using platform::com::CDispArgs;
using platform::com::IConnectionPointContainerImpl;
using platform::com::IDispatchTableImpl;
using platform::com::putBool;
using platform::com::putDispatch;
using platform::com::putLong;
using platform::com::putText;

// Private interface ids under which the model's objects answer themselves, so the layer's own
// functions find the object behind an IDispatch the host passes.
inline constexpr IID kIidModelControl = platform::com::guid("5B1D6C0E-3F7A-4E21-9A0C-7C2E51D40A01");
inline constexpr IID kIidModelBars = platform::com::guid("5B1D6C0E-3F7A-4E21-9A0C-7C2E51D40A02");

class CCommandBarsObj;
class CBarObj;
class CControlObj;
using BarPtr = CComPtr<CComObject<CBarObj>>;
using ControlPtr = CComPtr<CComObject<CControlObj>>;

struct Office {
  std::vector<CCommandBarsObj*> windows;  // open windows' bars; each removes itself
  COfficeCommandBars::DefaultCommand defaultCommand;
  std::function<void()> changed;
};
using OfficePtr = std::shared_ptr<Office>;

[[noreturn]] void raise(const char* message) { throw std::runtime_error(message); }
// A look-up that finds nothing: callers ask to learn whether a bar or control is there.
[[noreturn]] void miss(const char* message) { throw platform::com::CDispatchMiss(message); }

// Captions and faces of the built-in commands a caller may add by id.
struct BuiltIn {
  LONG id;
  LONG type;
  const char16_t* caption;
  LONG faceId;
};
constexpr BuiltIn kBuiltIns[] = {
    {kIdPrint, msoControlButton, u"&Print...", 4},
    {kIdPrintPreview, msoControlButton, u"Print Pre&view", 109},
    {kIdQuickPrint, msoControlButton, u"&Print", 2521},
    {kIdFileMenu, msoControlPopup, u"&File", 0},
};
const BuiltIn* builtIn(LONG id) {
  for (const BuiltIn& b : kBuiltIns)
    if (b.id == id) return &b;
  return nullptr;
}

// Captions compared as Office's Controls("File") does: ignoring case and the access-key '&'.
bool sameCaption(std::u16string_view caption, std::u16string_view wanted) {
  std::u16string plain;
  for (char16_t c : caption)
    if (c != u'&') plain.push_back(c);
  std::u16string plainWanted;
  for (char16_t c : wanted)
    if (c != u'&') plainWanted.push_back(c);
  return platform::system::equalsNoCase(plain, plainWanted);
}

bool isText(const VARIANT& value) {
  return (value.vt & ~VT_BYREF) == VT_BSTR;
}

// Every object of the model: calls on one that was deleted raise, as Office's do.
class CNode : public CComObjectRootEx<CComSingleThreadModel>, public IDispatchTableImpl<IDispatch> {
 public:
  STDMETHOD(Invoke)(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                    EXCEPINFO* info, UINT* argErr) override {
    if (m_deleted) {
      if (info) {
        *info = EXCEPINFO{};
        info->bstrDescription = SysAllocString(u"The command-bar object has been deleted.");
        info->scode = E_FAIL;
      }
      platform::diag::error("CommandBars", "a call on a deleted command-bar object");
      return DISP_E_EXCEPTION;
    }
    const HRESULT hr = IDispatchTableImpl<IDispatch>::Invoke(id, riid, lcid, flags, params, result, info, argErr);
    // The windows draw the model: they hear of every change a caller makes to it.
    if (SUCCEEDED(hr) && ((flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) || changes(id))) {
      if (Office* office = this->office(); office && office->changed) office->changed();
    }
    return hr;
  }
  bool deleted() const { return m_deleted; }

 protected:
  virtual Office* office() const = 0;
  // Whether the method of this DISPID adds or deletes something.
  virtual bool changes(DISPID) const { return false; }

  bool m_deleted = false;
};

struct FindCriteria {
  std::optional<LONG> type;
  std::optional<LONG> id;
  std::optional<std::u16string> tag;
  bool visibleOnly = false;
  bool recursive = false;
};
// FindControl(Type, Id, Tag, Visible, Recursive), every argument optional.
FindCriteria findCriteria(const CDispArgs& args, bool recursiveByDefault);

class CControlObj : public CNode, public IConnectionPointContainerImpl {
 public:
  CControlObj(OfficePtr office, CBarObj* bar, const ControlLayout& layout, bool temporary);
  ~CControlObj();

  HRESULT _InternalQueryInterface(REFIID iid, void** ppv) noexcept;
  IUnknown* GetUnknown() noexcept { return static_cast<IDispatch*>(this); }

  IDispatch* dispatch() { return this; }
  bool isPopup() const { return m_type == msoControlPopup; }
  // The window's bars this control sits in; null once deleted or its window closed.
  CCommandBarsObj* owner() const;
  CBarObj* popupBar() const;
  CConnectionPoint* clickPoint() const {
    return isPopup() ? nullptr : connectionPoint(DIID__CommandBarButtonEvents);
  }
  bool matches(const FindCriteria& criteria) const;
  // Marks this control and everything under it deleted and drops their sinks.
  void markDeleted();
  void disconnectSinks();
  ControlLayout layout(bool persistentOnly) const;
  Office* office() const override { return m_office.get(); }
  bool changes(DISPID id) const override { return id == kDispidDelete; }

  OfficePtr m_office;
  CBarObj* m_bar;  // cleared by the bar when it lets the control go
  LONG m_type;
  LONG m_id;
  bool m_builtIn;
  bool m_temporary;
  std::u16string m_caption, m_tag, m_tooltipText, m_parameter;
  bool m_enabled, m_visible, m_beginGroup;
  LONG m_style, m_faceId;
  BarPtr m_popupBar;
};

class CBarObj : public CNode {
 public:
  BEGIN_COM_MAP(CBarObj)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(IID_CommandBar, IDispatch)
  END_COM_MAP()

  CBarObj(OfficePtr office, const BarLayout& layout, bool temporary, CCommandBarsObj* bars, CControlObj* popup);
  ~CBarObj();

  // The open window's bars this bar belongs to; null once deleted or the window closed.
  CCommandBarsObj* owner() const;
  ControlPtr add(LONG type, LONG id, const std::u16string& parameter, std::optional<LONG> before, bool temporary);
  void remove(CControlObj* control);
  CControlObj* find(const FindCriteria& criteria) const;
  template <class Fn>
  void forEachControl(Fn&& fn) const {
    for (const ControlPtr& control : m_controls) {
      fn(control);
      if (CBarObj* sub = control->popupBar()) sub->forEachControl(fn);
    }
  }
  void markDeleted();
  BarLayout layout(bool persistentOnly) const;
  Office* office() const override { return m_office.get(); }
  bool changes(DISPID id) const override { return id == kDispidBarDelete; }

  OfficePtr m_office;
  CCommandBarsObj* m_bars;  // top-level bars: their window's CommandBars
  CControlObj* m_popup;     // a popup's bar: its popup
  std::u16string m_name, m_nameLocal;
  LONG m_type, m_position;
  bool m_visible, m_builtIn, m_temporary, m_enabled = true;
  std::vector<ControlPtr> m_controls;
};

class CControlsObj : public CNode {
 public:
  BEGIN_COM_MAP(CControlsObj)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(IID_CommandBarControls, IDispatch)
  END_COM_MAP()

  explicit CControlsObj(CComObject<CBarObj>* bar);

 protected:
  Office* office() const override;
  bool changes(DISPID id) const override { return id == kDispidControlsAdd; }

 private:
  BarPtr m_bar;
};

class CCommandBarsObj : public CNode {
 public:
  CCommandBarsObj(OfficePtr office, IDispatch* window, const CommandBarsLayout& layout);
  ~CCommandBarsObj();

  BEGIN_COM_MAP(CCommandBarsObj)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(IID__CommandBars, IDispatch)
    COM_INTERFACE_ENTRY_IID(kIidModelBars, IDispatch)
  END_COM_MAP()

  IDispatch* window() const { return m_window; }
  bool closed() const { return m_closed; }
  void close();
  CommandBarsLayout layout() const;
  Office* office() const override { return m_office.get(); }
  bool changes(DISPID id) const override { return id == kDispidBarsAdd; }

  std::vector<BarPtr> m_bars;

 private:
  CComObject<CBarObj>* bar(const VARIANT& which) const;

  OfficePtr m_office;
  CComPtr<IDispatch> m_window;  // null once closed
  bool m_closed = false;
};

CCommandBarsObj* CBarObj::owner() const {
  if (m_deleted) return nullptr;
  if (m_bars) return m_bars->closed() ? nullptr : m_bars;
  return m_popup ? m_popup->owner() : nullptr;
}

ControlPtr makeControl(const OfficePtr& office, CBarObj* bar, const ControlLayout& layout, bool temporary) {
  return CComObject<CControlObj>::Make(office, bar, layout, temporary);
}

BarPtr makeBar(const OfficePtr& office, const BarLayout& layout, bool temporary, CCommandBarsObj* bars,
               CControlObj* popup) {
  return CComObject<CBarObj>::Make(office, layout, temporary, bars, popup);
}

CComObject<CBarObj>* asObject(CBarObj* bar) { return static_cast<CComObject<CBarObj>*>(bar); }
CComObject<CControlObj>* asObject(CControlObj* control) { return static_cast<CComObject<CControlObj>*>(control); }

FindCriteria findCriteria(const CDispArgs& args, bool recursiveByDefault) {
  FindCriteria criteria;
  criteria.recursive = recursiveByDefault;
  LONG number = 0;
  if (!args.isMissing(0)) {
    if (FAILED(args.getLong(0, number))) raise("Invalid control type.");
    criteria.type = number;
  }
  if (!args.isMissing(1)) {
    if (FAILED(args.getLong(1, number))) raise("Invalid control id.");
    criteria.id = number;
  }
  if (!args.isMissing(2)) {
    std::u16string tag;
    if (FAILED(args.getText(2, tag))) raise("Invalid tag.");
    criteria.tag = std::move(tag);
  }
  if (!args.isMissing(3) && FAILED(args.getBool(3, criteria.visibleOnly))) raise("Invalid Visible argument.");
  if (!args.isMissing(4) && FAILED(args.getBool(4, criteria.recursive))) raise("Invalid Recursive argument.");
  return criteria;
}

// ---- controls ------------------------------------------------------------------------------

CControlObj::CControlObj(OfficePtr office, CBarObj* bar, const ControlLayout& layout, bool temporary)
    : m_office(std::move(office)),
      m_bar(bar),
      m_type(layout.type),
      m_id(layout.id),
      m_builtIn(layout.id != kIdCustom),
      m_temporary(temporary),
      m_caption(layout.caption),
      m_tag(layout.tag),
      m_tooltipText(layout.tooltipText),
      m_parameter(layout.parameter),
      m_enabled(layout.enabled),
      m_visible(layout.visible),
      m_beginGroup(layout.beginGroup),
      m_style(layout.style),
      m_faceId(layout.faceId) {
  auto& t = dispatchTable();
  const auto textProperty = [&t](DISPID id, std::u16string_view name, std::u16string* field) {
    t.property(id, name, [field](const CDispArgs&, VARIANT* r) { return putText(r, *field); },
               [field](const CDispArgs& a, VARIANT*) {
                 CComVariant value;
                 if (HRESULT hr = a.getPutValue(VT_BSTR, value); FAILED(hr)) return hr;
                 *field = value.bstrVal ? std::u16string(value.bstrVal) : std::u16string();
                 return S_OK;
               });
  };
  const auto boolProperty = [&t](DISPID id, std::u16string_view name, bool* field) {
    t.property(id, name, [field](const CDispArgs&, VARIANT* r) { return putBool(r, *field); },
               [field](const CDispArgs& a, VARIANT*) {
                 CComVariant value;
                 if (HRESULT hr = a.getPutValue(VT_BOOL, value); FAILED(hr)) return hr;
                 *field = value.boolVal != VARIANT_FALSE;
                 return S_OK;
               });
  };
  const auto longProperty = [&t](DISPID id, std::u16string_view name, LONG* field) {
    t.property(id, name, [field](const CDispArgs&, VARIANT* r) { return putLong(r, *field); },
               [field](const CDispArgs& a, VARIANT*) {
                 CComVariant value;
                 if (HRESULT hr = a.getPutValue(VT_I4, value); FAILED(hr)) return hr;
                 *field = value.lVal;
                 return S_OK;
               });
  };
  textProperty(kDispidCaption, u"Caption", &m_caption);
  textProperty(kDispidTag, u"Tag", &m_tag);
  textProperty(kDispidTooltipText, u"TooltipText", &m_tooltipText);
  textProperty(kDispidParameter, u"Parameter", &m_parameter);
  boolProperty(kDispidEnabled, u"Enabled", &m_enabled);
  boolProperty(kDispidVisible, u"Visible", &m_visible);
  boolProperty(kDispidBeginGroup, u"BeginGroup", &m_beginGroup);
  t.property(kDispidId, u"Id", [this](const CDispArgs&, VARIANT* r) { return putLong(r, m_id); });
  t.property(kDispidType, u"Type", [this](const CDispArgs&, VARIANT* r) { return putLong(r, m_type); });
  t.property(kDispidBuiltIn, u"BuiltIn", [this](const CDispArgs&, VARIANT* r) { return putBool(r, m_builtIn); });
  t.property(kDispidParent, u"Parent",
             [this](const CDispArgs&, VARIANT* r) { return putDispatch(r, m_bar ? asObject(m_bar) : nullptr); });
  t.property(kDispidIndex, u"Index", [this](const CDispArgs&, VARIANT* r) {
    if (!m_bar) raise("The control is not on a command bar.");
    const auto& list = m_bar->m_controls;
    const auto at = std::find_if(list.begin(), list.end(), [this](const ControlPtr& c) { return c.p == this; });
    return putLong(r, static_cast<LONG>(at - list.begin()) + 1);
  });
  t.method(kDispidDelete, u"Delete", [this](const CDispArgs&, VARIANT*) {
    // Keeps this object alive while its bar lets it go.
    ControlPtr self(asObject(this));
    if (m_bar) m_bar->remove(this);
    markDeleted();
    return S_OK;
  }, 0, 1);
  t.method(kDispidExecute, u"Execute", [this](const CDispArgs&, VARIANT*) {
    bool cancelled = false;
    return clickControl(this, cancelled);
  });
  if (isPopup()) {
    BarLayout barLayout;
    barLayout.name = m_caption;
    barLayout.nameLocal = m_caption;
    barLayout.type = msoBarTypePopup;
    barLayout.position = msoBarPopup;
    barLayout.visible = false;
    barLayout.builtIn = m_builtIn;
    barLayout.controls = layout.controls;
    m_popupBar = makeBar(m_office, barLayout, temporary, nullptr, this);
    t.property(kDispidPopupCommandBar, u"CommandBar",
               [this](const CDispArgs&, VARIANT* r) { return putDispatch(r, m_popupBar.p); });
    t.property(kDispidPopupControls, u"Controls", [this](const CDispArgs&, VARIANT* r) {
      return putDispatch(r, CComObject<CControlsObj>::Make(m_popupBar.p).p);
    });
  } else {
    addConnectionPoint(DIID__CommandBarButtonEvents);
    longProperty(kDispidStyle, u"Style", &m_style);
    longProperty(kDispidFaceId, u"FaceId", &m_faceId);
  }
}

CControlObj::~CControlObj() {
  if (m_popupBar) m_popupBar->m_popup = nullptr;
}

HRESULT CControlObj::_InternalQueryInterface(REFIID iid, void** ppv) noexcept {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IDispatch) || IsEqualGUID(iid, IID_CommandBarControl) ||
      (isPopup() ? IsEqualGUID(iid, IID_CommandBarPopup) : IsEqualGUID(iid, IID__CommandBarButton))) {
    *ppv = static_cast<IDispatch*>(this);
  } else if (IsEqualGUID(iid, kIidModelControl)) {
    *ppv = static_cast<IDispatch*>(this);
  } else if (!isPopup() && IsEqualGUID(iid, IID_IConnectionPointContainer)) {
    *ppv = static_cast<IConnectionPointContainer*>(this);
  } else {
    return E_NOINTERFACE;
  }
  InternalAddRef();
  return S_OK;
}

CCommandBarsObj* CControlObj::owner() const {
  return m_bar && !m_deleted ? m_bar->owner() : nullptr;
}

CBarObj* CControlObj::popupBar() const { return m_popupBar.p; }

bool CControlObj::matches(const FindCriteria& criteria) const {
  if (criteria.type && *criteria.type != m_type) return false;
  if (criteria.id && *criteria.id != m_id) return false;
  if (criteria.tag && *criteria.tag != m_tag) return false;
  return !criteria.visibleOnly || m_visible;
}

void CControlObj::disconnectSinks() {
  if (CConnectionPoint* point = clickPoint()) point->disconnectAll();
}

void CControlObj::markDeleted() {
  m_deleted = true;
  m_bar = nullptr;
  disconnectSinks();
  if (m_popupBar) m_popupBar->markDeleted();
}

ControlLayout CControlObj::layout(bool persistentOnly) const {
  ControlLayout out;
  out.type = m_type;
  out.id = m_id;
  out.caption = m_caption;
  out.tag = m_tag;
  out.tooltipText = m_tooltipText;
  out.parameter = m_parameter;
  out.enabled = m_enabled;
  out.visible = m_visible;
  out.beginGroup = m_beginGroup;
  out.style = m_style;
  out.faceId = m_faceId;
  if (m_popupBar) out.controls = m_popupBar->layout(persistentOnly).controls;
  return out;
}

// ---- bars ----------------------------------------------------------------------------------

CBarObj::CBarObj(OfficePtr office, const BarLayout& layout, bool temporary, CCommandBarsObj* bars,
                 CControlObj* popup)
    : m_office(std::move(office)),
      m_bars(bars),
      m_popup(popup),
      m_name(layout.name),
      m_nameLocal(layout.nameLocal.empty() ? layout.name : layout.nameLocal),
      m_type(layout.type),
      m_position(layout.position),
      m_visible(layout.visible),
      m_builtIn(layout.builtIn),
      m_temporary(temporary) {
  for (const ControlLayout& control : layout.controls)
    if (ControlPtr made = makeControl(m_office, this, control, temporary)) m_controls.push_back(std::move(made));

  auto& t = dispatchTable();
  t.property(kDispidBarName, u"Name", [this](const CDispArgs&, VARIANT* r) { return putText(r, m_name); },
             [this](const CDispArgs& a, VARIANT*) {
               if (m_builtIn) raise("A built-in command bar cannot be renamed.");
               CComVariant value;
               if (HRESULT hr = a.getPutValue(VT_BSTR, value); FAILED(hr)) return hr;
               m_name = m_nameLocal = value.bstrVal ? std::u16string(value.bstrVal) : std::u16string();
               return S_OK;
             });
  t.property(kDispidBarNameLocal, u"NameLocal", [this](const CDispArgs&, VARIANT* r) { return putText(r, m_nameLocal); });
  t.property(kDispidBarType, u"Type", [this](const CDispArgs&, VARIANT* r) { return putLong(r, m_type); });
  t.property(kDispidBarBuiltIn, u"BuiltIn", [this](const CDispArgs&, VARIANT* r) { return putBool(r, m_builtIn); });
  t.property(kDispidBarPosition, u"Position", [this](const CDispArgs&, VARIANT* r) { return putLong(r, m_position); },
             [this](const CDispArgs& a, VARIANT*) {
               CComVariant value;
               if (HRESULT hr = a.getPutValue(VT_I4, value); FAILED(hr)) return hr;
               const LONG position = value.lVal;
               if (position < msoBarLeft || position > msoBarMenuBar) raise("Invalid bar position.");
               m_position = position;
               return S_OK;
             });
  t.property(kDispidBarVisible, u"Visible", [this](const CDispArgs&, VARIANT* r) { return putBool(r, m_visible); },
             [this](const CDispArgs& a, VARIANT*) {
               CComVariant value;
               if (HRESULT hr = a.getPutValue(VT_BOOL, value); FAILED(hr)) return hr;
               m_visible = value.boolVal != VARIANT_FALSE;
               return S_OK;
             });
  t.property(kDispidBarEnabled, u"Enabled", [this](const CDispArgs&, VARIANT* r) { return putBool(r, m_enabled); },
             [this](const CDispArgs& a, VARIANT*) {
               CComVariant value;
               if (HRESULT hr = a.getPutValue(VT_BOOL, value); FAILED(hr)) return hr;
               m_enabled = value.boolVal != VARIANT_FALSE;
               return S_OK;
             });
  // A top-level bar's parent is its window; a popup's bar's parent is the popup.
  t.property(kDispidBarParent, u"Parent", [this](const CDispArgs&, VARIANT* r) {
    if (m_popup) return putDispatch(r, asObject(m_popup));
    return putDispatch(r, m_bars ? m_bars->window() : nullptr);
  });
  t.property(kDispidBarControls, u"Controls", [this](const CDispArgs&, VARIANT* r) {
    return putDispatch(r, CComObject<CControlsObj>::Make(asObject(this)).p);
  });
  t.method(kDispidBarFindControl, u"FindControl", [this](const CDispArgs& a, VARIANT* r) {
    CControlObj* found = find(findCriteria(a, false));
    return putDispatch(r, found ? asObject(found) : nullptr);
  }, 0, 5);
  t.method(kDispidBarDelete, u"Delete", [this](const CDispArgs&, VARIANT*) {
    if (m_builtIn || m_popup) raise("This command bar cannot be deleted.");
    BarPtr self(asObject(this));
    if (m_bars) {
      auto& list = m_bars->m_bars;
      list.erase(std::remove_if(list.begin(), list.end(), [this](const BarPtr& b) { return b.p == this; }), list.end());
    }
    markDeleted();
    return S_OK;
  });
}

CBarObj::~CBarObj() {
  for (const ControlPtr& control : m_controls) control->m_bar = nullptr;
}

ControlPtr CBarObj::add(LONG type, LONG id, const std::u16string& parameter, std::optional<LONG> before,
                        bool temporary) {
  if (type != msoControlButton && type != msoControlPopup) raise("This control type is not supported.");
  const LONG count = static_cast<LONG>(m_controls.size());
  if (before && (*before < 1 || *before > count + 1)) raise("Invalid position for the control.");
  ControlLayout layout;
  layout.type = type;
  if (id != kIdCustom) {
    const BuiltIn* known = builtIn(id);
    if (!known || known->type != type) raise("There is no built-in control of that id and type.");
    layout.id = id;
    layout.caption = known->caption;
    layout.faceId = known->faceId;
  } else if (type == msoControlButton) {
    layout.caption = u"Custom";
  }
  layout.parameter = parameter;
  ControlPtr control = makeControl(m_office, this, layout, temporary || m_temporary);
  if (!control) raise("The control could not be made.");
  m_controls.insert(m_controls.begin() + (before ? *before - 1 : count), control);
  return control;
}

void CBarObj::remove(CControlObj* control) {
  std::erase_if(m_controls, [control](const ControlPtr& c) { return c.p == control; });
}

CControlObj* CBarObj::find(const FindCriteria& criteria) const {
  for (const ControlPtr& control : m_controls) {
    if (control->matches(criteria)) return control.p;
    // A hidden popup hides what it holds from a search for visible controls.
    if (!criteria.recursive || !control->popupBar() || (criteria.visibleOnly && !control->m_visible)) continue;
    if (CControlObj* found = control->popupBar()->find(criteria)) return found;
  }
  return nullptr;
}

void CBarObj::markDeleted() {
  m_deleted = true;
  for (const ControlPtr& control : m_controls) control->markDeleted();
  m_controls.clear();
  m_bars = nullptr;
}

BarLayout CBarObj::layout(bool persistentOnly) const {
  BarLayout out;
  out.name = m_name;
  out.nameLocal = m_nameLocal;
  out.type = m_type;
  out.position = m_position;
  out.visible = m_visible;
  out.builtIn = m_builtIn;
  for (const ControlPtr& control : m_controls)
    if (!persistentOnly || !control->m_temporary) out.controls.push_back(control->layout(persistentOnly));
  return out;
}

// ---- a bar's Controls --------------------------------------------------------------------------

Office* CControlsObj::office() const { return m_bar->office(); }

CControlsObj::CControlsObj(CComObject<CBarObj>* bar) : m_bar(bar) {
  auto& t = dispatchTable();
  t.property(kDispidControlsCount, u"Count", [this](const CDispArgs&, VARIANT* r) {
    return putLong(r, static_cast<LONG>(m_bar->m_controls.size()));
  });
  t.property(kDispidControlsParent, u"Parent", [this](const CDispArgs&, VARIANT* r) { return putDispatch(r, m_bar.p); });
  t.property(kDispidControlsItem, u"Item", [this](const CDispArgs& a, VARIANT* r) {
    if (m_bar->deleted()) raise("The command bar has been deleted.");
    const auto& list = m_bar->m_controls;
    if (isText(a[0])) {
      std::u16string caption;
      if (HRESULT hr = a.getText(0, caption); FAILED(hr)) return hr;
      for (const ControlPtr& control : list)
        if (sameCaption(control->m_caption, caption)) return putDispatch(r, control.p);
      miss("There is no control of that caption.");
    }
    LONG index = 0;
    if (HRESULT hr = a.getLong(0, index); FAILED(hr)) return hr;
    if (index < 1 || index > static_cast<LONG>(list.size())) raise("Array index out of bounds.");
    return putDispatch(r, list[static_cast<std::size_t>(index) - 1].p);
  }, {}, 1, 1);
  t.method(kDispidControlsAdd, u"Add", [this](const CDispArgs& a, VARIANT* r) {
    if (m_bar->deleted()) raise("The command bar has been deleted.");
    LONG type = msoControlButton, id = kIdCustom;
    std::u16string parameter;
    std::optional<LONG> before;
    bool temporary = false;
    if (!a.isMissing(0) && FAILED(a.getLong(0, type))) raise("Invalid control type.");
    if (!a.isMissing(1) && FAILED(a.getLong(1, id))) raise("Invalid control id.");
    if (!a.isMissing(2) && FAILED(a.getText(2, parameter))) raise("Invalid parameter.");
    if (!a.isMissing(3)) {
      LONG position = 0;
      if (FAILED(a.getLong(3, position))) raise("Invalid position for the control.");
      before = position;
    }
    if (!a.isMissing(4) && FAILED(a.getBool(4, temporary))) raise("Invalid Temporary argument.");
    return putDispatch(r, m_bar->add(type, id, parameter, before, temporary).p);
  }, 0, 5);
}

// ---- a window's CommandBars ------------------------------------------------------------------

CCommandBarsObj::CCommandBarsObj(OfficePtr office, IDispatch* window, const CommandBarsLayout& layout)
    : m_office(std::move(office)), m_window(window) {
  for (const BarLayout& barLayout : layout.bars)
    if (BarPtr made = makeBar(m_office, barLayout, false, this, nullptr)) m_bars.push_back(std::move(made));
  m_office->windows.push_back(this);

  auto& t = dispatchTable();
  t.property(kDispidBarsCount, u"Count", [this](const CDispArgs&, VARIANT* r) {
    return putLong(r, static_cast<LONG>(m_bars.size()));
  });
  t.property(kDispidBarsParent, u"Parent", [this](const CDispArgs&, VARIANT* r) { return putDispatch(r, m_window); });
  t.property(kDispidBarsItem, u"Item", [this](const CDispArgs& a, VARIANT* r) {
    CComObject<CBarObj>* found = bar(a[0]);
    if (!found) miss("The command bar does not exist.");
    return putDispatch(r, found);
  }, {}, 1, 1);
  t.method(kDispidBarsAdd, u"Add", [this](const CDispArgs& a, VARIANT* r) {
    BarLayout barLayout;
    bool menuBar = false, temporary = false;
    if (!a.isMissing(0) && FAILED(a.getText(0, barLayout.name))) raise("Invalid bar name.");
    if (barLayout.name.empty()) {
      for (int n = 1; barLayout.name.empty(); ++n) {
        const std::u16string candidate = u"Custom " + platform::system::utf8ToUtf16(std::to_string(n));
        if (!bar(CComVariant(std::u16string_view(candidate)))) barLayout.name = candidate;
      }
    } else if (bar(CComVariant(std::u16string_view(barLayout.name)))) {
      raise("A command bar of that name exists already.");
    }
    barLayout.position = msoBarFloating;
    if (!a.isMissing(1) && FAILED(a.getLong(1, barLayout.position))) raise("Invalid bar position.");
    if (barLayout.position < msoBarLeft || barLayout.position > msoBarMenuBar) raise("Invalid bar position.");
    if (!a.isMissing(2) && FAILED(a.getBool(2, menuBar))) raise("Invalid MenuBar argument.");
    if (!a.isMissing(3) && FAILED(a.getBool(3, temporary))) raise("Invalid Temporary argument.");
    barLayout.type = barLayout.position == msoBarPopup ? msoBarTypePopup : menuBar ? msoBarTypeMenuBar : msoBarTypeNormal;
    // Office shows a new bar only when asked to.
    barLayout.visible = false;
    BarPtr made = makeBar(m_office, barLayout, temporary, this, nullptr);
    if (!made) raise("The command bar could not be made.");
    m_bars.push_back(made);
    return putDispatch(r, made.p);
  }, 0, 4);
  // Office's own search reaches into every menu.
  t.method(kDispidBarsFindControl, u"FindControl", [this](const CDispArgs& a, VARIANT* r) {
    const FindCriteria criteria = findCriteria(a, true);
    for (const BarPtr& b : m_bars)
      if (CControlObj* found = b->find(criteria)) return putDispatch(r, asObject(found));
    return putDispatch(r, nullptr);
  }, 0, 5);
}

CCommandBarsObj::~CCommandBarsObj() {
  close();
  for (const BarPtr& b : m_bars) b->m_bars = nullptr;
}

CComObject<CBarObj>* CCommandBarsObj::bar(const VARIANT& which) const {
  if (isText(which)) {
    CComVariant name;
    if (FAILED(VariantChangeType(&name, &which, 0, VT_BSTR)) || !name.bstrVal) return nullptr;
    const std::u16string_view wanted(name.bstrVal);
    for (const BarPtr& b : m_bars)
      if (platform::system::equalsNoCase(b->m_name, wanted) || platform::system::equalsNoCase(b->m_nameLocal, wanted))
        return b.p;
    return nullptr;
  }
  CComVariant index;
  if (FAILED(VariantChangeType(&index, &which, 0, VT_I4))) return nullptr;
  if (index.lVal < 1 || index.lVal > static_cast<LONG>(m_bars.size())) return nullptr;
  return m_bars[static_cast<std::size_t>(index.lVal) - 1].p;
}

void CCommandBarsObj::close() {
  if (m_closed) return;
  m_closed = true;
  std::erase(m_office->windows, this);
  for (const BarPtr& b : m_bars) b->forEachControl([](const ControlPtr& control) { control->disconnectSinks(); });
  m_window.Release();
}

CommandBarsLayout CCommandBarsObj::layout() const {
  CommandBarsLayout out;
  for (const BarPtr& b : m_bars)
    if (!b->m_temporary) out.bars.push_back(b->layout(true));
  return out;
}

// The model object behind an interface pointer; it answers the private iid with its IDispatch.
template <class T>
CComPtr<CComObject<T>> modelObject(IDispatch* object, REFIID iid) {
  IDispatch* own = nullptr;
  if (!object || FAILED(object->QueryInterface(iid, reinterpret_cast<void**>(&own))) || !own) return nullptr;
  CComPtr<CComObject<T>> found;
  found.Attach(static_cast<CComObject<T>*>(static_cast<T*>(own)));
  return found;
}

}  // namespace detail

using namespace detail;

CommandBarsLayout outlookCommandBars() {
  const auto button = [](LONG id, const char16_t* caption, LONG faceId) {
    ControlLayout control;
    control.id = id;
    control.caption = caption;
    control.faceId = faceId;
    return control;
  };
  ControlLayout file;
  file.type = msoControlPopup;
  file.id = kIdFileMenu;
  file.caption = u"&File";
  file.controls = {button(kIdPrint, u"&Print...", 4), button(kIdPrintPreview, u"Print Pre&view", 109)};

  CommandBarsLayout layout;
  layout.bars.push_back({std::u16string(kBarMenuBar), {}, msoBarTypeMenuBar, msoBarTop, true, true, {file}});
  layout.bars.push_back({std::u16string(kBarStandard), {}, msoBarTypeNormal, msoBarTop, true, true,
                         {button(kIdQuickPrint, u"&Print", 2521)}});
  layout.bars.push_back({std::u16string(kBarContextMenu), {}, msoBarTypePopup, msoBarPopup, false, true,
                         {button(kIdQuickPrint, u"&Print", 2521)}});
  return layout;
}

COfficeCommandBars::COfficeCommandBars() : m_office(std::make_shared<Office>()) {}

COfficeCommandBars::~COfficeCommandBars() {
  // Windows the host did not close let theirs go now, so no bar keeps its window alive.
  while (!m_office->windows.empty()) m_office->windows.back()->close();
}

CComPtr<IDispatch> COfficeCommandBars::create(IDispatch* window, const CommandBarsLayout& layout) {
  return platform::diag::guarded("COfficeCommandBars::create", CComPtr<IDispatch>(), [&]() -> CComPtr<IDispatch> {
    if (!window) {
      platform::diag::error("COfficeCommandBars::create", "no window for the command bars");
      return nullptr;
    }
    return CComPtr<IDispatch>(CComObject<CCommandBarsObj>::Make(m_office, window, layout).p);
  });
}

void COfficeCommandBars::setDefaultCommand(DefaultCommand command) { m_office->defaultCommand = std::move(command); }

void COfficeCommandBars::setChangeHandler(std::function<void()> changed) { m_office->changed = std::move(changed); }

namespace {

ControlView viewOf(CControlObj& control) {
  ControlView view;
  view.control = asObject(&control);
  view.state = control.layout(false);
  view.state.controls.clear();
  if (CBarObj* popup = control.popupBar())
    for (const ControlPtr& child : popup->m_controls) view.controls.push_back(viewOf(*child));
  return view;
}

}  // namespace

std::vector<BarView> commandBarsView(IDispatch* commandBars) {
  return platform::diag::guarded("commandBarsView", std::vector<BarView>{}, [&] {
    std::vector<BarView> views;
    auto bars = modelObject<CCommandBarsObj>(commandBars, kIidModelBars);
    if (!bars || bars->closed()) return views;
    for (const BarPtr& bar : bars->m_bars) {
      BarView view{bar->m_name, bar->m_type, bar->m_position, bar->m_visible, bar->m_enabled, {}};
      for (const ControlPtr& control : bar->m_controls) view.controls.push_back(viewOf(*control));
      views.push_back(std::move(view));
    }
    return views;
  });
}

void closeCommandBars(IDispatch* commandBars) {
  platform::diag::guarded("closeCommandBars", [&] {
    if (auto bars = modelObject<CCommandBarsObj>(commandBars, kIidModelBars)) bars->close();
  });
}

CommandBarsLayout persistentLayout(IDispatch* commandBars) {
  return platform::diag::guarded("persistentLayout", CommandBarsLayout{}, [&] {
    auto bars = modelObject<CCommandBarsObj>(commandBars, kIidModelBars);
    return bars ? bars->layout() : CommandBarsLayout{};
  });
}

HRESULT clickControl(IDispatch* control, bool& cancelled) {
  cancelled = false;
  return platform::diag::guarded("clickControl", E_FAIL, [&]() -> HRESULT {
    ControlPtr clicked = modelObject<CControlObj>(control, kIidModelControl);
    if (!clicked) {
      platform::diag::error("clickControl", "the object is not a command-bar control");
      return E_INVALIDARG;
    }
    if (!clicked->owner()) {
      platform::diag::error("clickControl", "the control is deleted or its window closed");
      return E_FAIL;
    }
    if (!clicked->m_enabled) {
      platform::diag::error("clickControl", "the control is disabled");
      return E_FAIL;
    }
    const OfficePtr office = clicked->m_office;
    std::vector<ControlPtr> targets{clicked};
    const bool byId = clicked->m_builtIn;
    if (byId || !clicked->m_tag.empty()) {
      for (CCommandBarsObj* window : office->windows)
        for (const BarPtr& bar : window->m_bars)
          bar->forEachControl([&](const ControlPtr& other) {
            if (other == clicked) return;
            if (byId ? other->m_builtIn && other->m_id == clicked->m_id
                     : !other->m_builtIn && other->m_tag == clicked->m_tag)
              targets.push_back(other);
          });
    }
    VARIANT_BOOL cancelDefault = VARIANT_FALSE;
    std::array<VARIANT, 2> args{};
    args[0].vt = VT_DISPATCH;
    args[0].pdispVal = clicked->dispatch();
    args[1].vt = VT_BOOL | VT_BYREF;
    args[1].pboolVal = &cancelDefault;
    for (const ControlPtr& target : targets) {
      CConnectionPoint* point = target->clickPoint();
      if (point && FAILED(point->fire(kDispidClick, args)))
        platform::diag::error("clickControl", "a Click sink answered a failure");
    }
    cancelled = cancelDefault != VARIANT_FALSE;
    if (!cancelled && clicked->m_builtIn && office->defaultCommand) office->defaultCommand(control, clicked->m_id);
    return S_OK;
  });
}

}  // namespace platform::office
