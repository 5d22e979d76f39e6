#include "host/OptionsDialog.h"

#include "platform/com/ComObject.h"
#include "platform/com/DispatchImpl.h"
#include "platform/outlook/OutlookInterfaces.h"
#include "platform/resources/Resources.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Text.h"
#include "platform/ui/AxHost.h"

namespace host {

namespace {

using platform::com::CDispArgs;

constexpr int kTabHeight = 14;  // dialog units
constexpr int kGap = 4;

// The collection OptionsPagesAdd hands to the add-ins.
class CPropertyPages : public CComObjectRootEx<CComSingleThreadModel>,
                       public platform::com::IDispatchTableImpl<PropertyPages> {
 public:
  BEGIN_COM_MAP(CPropertyPages)
    COM_INTERFACE_ENTRY2(IDispatch, PropertyPages)
    COM_INTERFACE_ENTRY(PropertyPages)
  END_COM_MAP()

  explicit CPropertyPages(std::vector<OptionsPage>& pages) : m_pages(pages) {
    dispatchTable().method(0x12D, u"Add", [this](const CDispArgs& args, VARIANT*) { return add(args); }, 1, 2);
    dispatchTable().property(0x50, u"Count", [this](const CDispArgs&, VARIANT* result) {
      return platform::com::putLong(result, static_cast<LONG>(m_pages.size()));
    });
  }

 private:
  HRESULT add(const CDispArgs& args) {
    // Only pages given by ProgID are hosted here; Outlook also takes page objects.
    if (args[0].vt != VT_BSTR || args.isMissing(1)) {
      platform::diag::error("PropertyPages.Add", "a page is added by its ProgID and a title");
      return E_INVALIDARG;
    }
    std::u16string progId, title;
    HRESULT hr = args.getText(0, progId);
    if (SUCCEEDED(hr)) hr = args.getText(1, title);
    if (FAILED(hr)) return hr;
    m_pages.push_back({progId, title});
    return S_OK;
  }

  std::vector<OptionsPage>& m_pages;
};

platform::resources::DialogItem button(int id, const char16_t* text, short x, bool isDefault = false) {
  return {u"BUTTON", text, id, WS_CHILD | WS_VISIBLE | WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 0,
          x, 258, 50, 14, 0};
}

}  // namespace

// The site's extra interface: the pages tell the dialog they changed.
struct COptionsDialog::Site : CComObjectRootEx<CComSingleThreadModel>,
                              platform::com::IDispatchTableImpl<PropertyPageSite> {
  BEGIN_COM_MAP(Site)
    COM_INTERFACE_ENTRY2(IDispatch, PropertyPageSite)
    COM_INTERFACE_ENTRY(PropertyPageSite)
  END_COM_MAP()

  STDMETHOD(OnStatusChange)() override {
    return platform::diag::guarded("PropertyPageSite::OnStatusChange", HRESULT{E_FAIL}, [&] {
      if (owner) owner->statusChanged();
      return S_OK;
    });
  }
  COptionsDialog* owner = nullptr;
};

CComPtr<IDispatch> makePropertyPages(std::vector<OptionsPage>& pages) {
  CComPtr<CComObject<CPropertyPages>> collection = CComObject<CPropertyPages>::Make(pages);
  return CComPtr<IDispatch>(static_cast<IDispatch*>(static_cast<PropertyPages*>(collection.p)));
}

COptionsDialog::COptionsDialog(std::u16string caption, std::vector<OptionsPage> pages)
    : m_caption(std::move(caption)), m_pages(std::move(pages)) {
  CComPtr<CComObject<Site>> site = CComObject<Site>::Make();
  site->owner = this;
  m_siteObject = site.p;
  m_site = CComPtr<IUnknown>(site->GetUnknown());
}

COptionsDialog::~COptionsDialog() {
  if (m_siteObject) m_siteObject->owner = nullptr;
}

int COptionsDialog::DoModal(HWND owner) {
  const platform::resources::DialogItem items[] = {button(IDOK, u"OK", 134, true), button(IDCANCEL, u"Cancel", 188),
                                                   button(kApplyId, u"&Apply", 242)};
  const platform::resources::DialogTemplate dialog{
      0, DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 0, 300, 278, m_caption.c_str(),
      u"MS Shell Dlg", 8, 400, false, 0, items, sizeof items / sizeof items[0], u"", 1, 0};
  const INT_PTR result = DialogBoxIndirectParamW(nullptr, &dialog, owner, dialogProc, reinterpret_cast<LPARAM>(this));
  if (result == -1) platform::diag::error("Options", "the Options dialog could not be shown");
  m_dialog = nullptr;
  m_tabs.clear();
  m_containers.clear();
  return result == IDOK ? IDOK : IDCANCEL;
}

HWND COptionsDialog::tabButton(std::size_t page) const { return page < m_tabs.size() ? m_tabs[page] : nullptr; }
HWND COptionsDialog::container(std::size_t page) const { return page < m_containers.size() ? m_containers[page] : nullptr; }

INT_PTR COptionsDialog::dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    reinterpret_cast<COptionsDialog*>(lParam)->m_dialog = dialog;
  }
  auto* self = reinterpret_cast<COptionsDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (!self) return FALSE;
  return platform::diag::guarded("Options dialog", INT_PTR{FALSE}, [&]() -> INT_PTR {
    switch (message) {
      case WM_INITDIALOG: self->init(); return TRUE;
      case WM_COMMAND: {
        const WORD id = LOWORD(wParam);
        if (id == IDOK) {
          if (self->applyAll()) EndDialog(dialog, IDOK);
          return TRUE;
        }
        if (id == IDCANCEL) {
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        }
        if (id == kApplyId) {
          self->applyAll();
          return TRUE;
        }
        for (std::size_t i = 0; i < self->m_tabs.size(); ++i) {
          if (reinterpret_cast<HWND>(lParam) == self->m_tabs[i]) {
            self->showPage(i);
            return TRUE;
          }
        }
        return FALSE;
      }
      case WM_DESTROY:
        // The pages go with their containers while the dialog's site can still be asked.
        for (HWND c : self->m_containers) DestroyWindow(c);
        self->m_containers.clear();
        return FALSE;
      default: return FALSE;
    }
  });
}

void COptionsDialog::init() {
  AtlAxWinInit();
  RECT tabArea{4, 4, 4, 4 + kTabHeight}, ok{0, 258, 0, 258};
  MapDialogRect(m_dialog, &tabArea);
  MapDialogRect(m_dialog, &ok);
  RECT client{};
  GetClientRect(m_dialog, &client);
  int x = tabArea.left;
  for (std::size_t i = 0; i < m_pages.size(); ++i) {
    const int width = 24 + 7 * static_cast<int>(m_pages[i].title.size());
    m_tabs.push_back(CreateWindowExW(0, WC_BUTTONW, m_pages[i].title.c_str(), WS_CHILD | WS_VISIBLE | BS_RADIOBUTTON | BS_PUSHLIKE, x,
                                     tabArea.top, width, tabArea.bottom - tabArea.top, m_dialog, nullptr, nullptr, nullptr));
    x += width + 2;
  }
  // Each page fills the area between the tabs and the buttons.
  const int top = tabArea.bottom + kGap, left = tabArea.left, width = client.right - 2 * tabArea.left;
  const int height = ok.top - kGap - top;
  for (const OptionsPage& page : m_pages) {
    HWND made = nullptr;
    if (page.progId.empty()) {
      made = CreateWindowExW(0, WC_STATICW, u"Outlook's own options: mail, calendar, tasks, contacts and notes.",
                             WS_CHILD | SS_LEFT, left, top, width, height, m_dialog, nullptr, nullptr, nullptr);
    } else {
      made = CreateWindowExW(0, platform::ui::kAxWindowClass, page.progId.c_str(), WS_CHILD, left, top, width, height,
                             m_dialog, nullptr, nullptr, m_site.p);
    }
    if (!made) platform::diag::error("Options", "the page " + platform::system::utf16ToUtf8(page.title) + " could not be made");
    m_containers.push_back(made);
  }
  EnableWindow(GetDlgItem(m_dialog, kApplyId), FALSE);
  showPage(m_pages.size() > 1 ? 1 : 0);
}

void COptionsDialog::showPage(std::size_t page) {
  m_current = page;
  for (std::size_t i = 0; i < m_containers.size(); ++i) {
    if (m_containers[i]) ShowWindow(m_containers[i], i == page ? SW_SHOW : SW_HIDE);
    // The chosen tab stays down.
    if (i < m_tabs.size() && m_tabs[i]) SendMessageW(m_tabs[i], BM_SETCHECK, i == page ? BST_CHECKED : BST_UNCHECKED, 0);
  }
}

bool COptionsDialog::applyAll() {
  bool clean = true;
  for (std::size_t i = 0; i < m_containers.size(); ++i) {
    CComPtr<IUnknown> control;
    CComPtr<PropertyPage> page;
    if (m_pages[i].progId.empty() || !m_containers[i] || FAILED(AtlAxGetControl(m_containers[i], control.Receive())) ||
        FAILED(control->QueryInterface(IID_PropertyPage, reinterpret_cast<void**>(page.Receive()))))
      continue;
    if (FAILED(page->Apply())) platform::diag::error("Options", "the page " + platform::system::utf16ToUtf8(m_pages[i].title) + " could not apply");
    VARIANT_BOOL dirty = VARIANT_FALSE;
    if (SUCCEEDED(page->get_Dirty(&dirty)) && dirty != VARIANT_FALSE) {
      clean = false;
      showPage(i);  // the page that could not save its changes is the one to look at
    }
  }
  EnableWindow(GetDlgItem(m_dialog, kApplyId), clean ? FALSE : TRUE);
  return clean;
}

void COptionsDialog::statusChanged() {
  if (m_dialog) EnableWindow(GetDlgItem(m_dialog, kApplyId), TRUE);
}

}  // namespace host
