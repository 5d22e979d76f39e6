#include "integration/OptionsWindow.h"

#include "config/ConfigDialog.h"
#include "foundation/AddinGlobals.h"
#include "foundation/Guard.h"
#include "foundation/Log.h"
#include "foundation/Utils.h"
#include "platform/outlook/OutlookInterfaces.h"
#include "platform/ui/AxHost.h"
#include "resources/resource.h"

int CPropertPageHost::DoModal(HWND owner) {
  if (!CConfigDialog::canShowModal()) {
    LOG_ERROR(u"The options window cannot be shown without a display");
    return IDCANCEL;
  }
  const INT_PTR result = DialogBoxParamW(NGlobals::moduleInstance(), MAKEINTRESOURCEW(IDD_PROPERTY_PAGE_HOST), owner,
                                         dialogProc, reinterpret_cast<LPARAM>(this));
  if (result == -1) LOG_ERROR(u"The options window could not be shown");
  m_dialog = nullptr;
  m_container = nullptr;
  return result == IDOK ? IDOK : IDCANCEL;
}

INT_PTR CPropertPageHost::dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    reinterpret_cast<CPropertPageHost*>(lParam)->m_dialog = dialog;
  }
  auto* self = reinterpret_cast<CPropertPageHost*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (!self) return FALSE;
  return NUtils::guarded(u"CPropertPageHost", INT_PTR{FALSE}, [&]() -> INT_PTR {
    switch (message) {
      case WM_INITDIALOG: return self->OnInitDialog();
      case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
          self->OnOK();
          return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        }
        return FALSE;
      default: return FALSE;
    }
  });
}

BOOL CPropertPageHost::OnInitDialog() {
  NUtils::centreOnOwner(m_dialog);

  // The container fills the client area down to the OK button, whatever the scaling of the
  // dialog units (an outer height less a fixed margin covers the buttons when scaled up).
  RECT client{};
  GetClientRect(m_dialog, &client);
  RECT ok{};
  GetWindowRect(GetDlgItem(m_dialog, IDOK), &ok);
  POINT okTop{ok.left, ok.top};
  ScreenToClient(m_dialog, &okTop);
  const int height = okTop.y > 0 ? okTop.y : client.bottom;
  AtlAxWinInit();
  m_container = CreateWindowExW(0, platform::ui::kAxWindowClass, m_progId.c_str(), WS_CHILD | WS_VISIBLE, 0, 0,
                                client.right, height, m_dialog, nullptr, nullptr, nullptr);
  if (!m_container) LOG_ERROR(u"The options window could not make its control container");
  return TRUE;
}

void CPropertPageHost::OnOK() {
  CComPtr<IUnknown> control;
  CComPtr<PropertyPage> page;
  if (m_container && SUCCEEDED(AtlAxGetControl(m_container, control.Receive())) &&
      SUCCEEDED(control->QueryInterface(IID_PropertyPage, reinterpret_cast<void**>(page.Receive())))) {
    page->Apply();
    VARIANT_BOOL dirty = VARIANT_FALSE;
    // A page still dirty after Apply could not save (and said so): closing would lose its changes.
    if (SUCCEEDED(page->get_Dirty(&dirty)) && dirty != VARIANT_FALSE) {
      LOG_INFO(u"The options page could not apply its changes; the options window stays open");
      return;
    }
  }
  EndDialog(m_dialog, IDOK);
}

void showOptionsWindow(HWND owner) {
  NUtils::guardedAs(u"Exception caught showing the options window", [&] {
    CPropertPageHost(u"quillMarkLib.quillMarkPP").DoModal(owner);
  });
}
