#include "integration/EventProperties.h"

#include <optional>
#include <string>

#include "foundation/Guard.h"
#include "foundation/Log.h"
#include "foundation/Utils.h"
#include "integration/detail/Automation.h"
#include "platform/com/DispatchDriver.h"
#include "platform/com/Variant.h"
#include "platform/office/OfficeDispids.h"

namespace {

// The add-in's own toolbar: a toolbar like "Standard", not a menu.
constexpr std::u16string_view kBarQuillmark = u"Quillmark";

bool isNamed(const std::u16string& name, std::u16string_view wanted) {
  return NUtils::equalsNoCase(name, std::u16string(wanted));
}

}  // namespace

CEventProperties::CEventProperties(const CommandBarControlPtr& control) { analyse(control); }

void CEventProperties::analyse(const CommandBarControlPtr& control) {
  m_mode = 0;
  m_pExplorer = nullptr;
  m_pInspector = nullptr;
  const bool analysed = NUtils::guarded(u"CEventProperties::analyse", [&] {
    LOG_DEBUG(u"CEventProperties::analyse");
    bool inMenu = true;
    bool inContextMenu = false;

    CComPtr<IDispatch> bar = integration::detail::tryObject(control, u"Parent");
    const std::optional<std::u16string> name = integration::detail::tryText(bar, u"Name");
    if (!name) {
      LOG_DEBUG(u"catch CEventProperties::analyse:1");
    } else if (isNamed(*name, u"standard") || isNamed(*name, kBarQuillmark)) {
      inMenu = false;
      LOG_DEBUG(u"not Menu Command");
    } else if (isNamed(*name, platform::office::kBarContextMenu)) {
      inContextMenu = true;
    }

    if (inMenu) {
      // A menu's bar belongs to its popup, whose own bar is the top-level one (the File menu's popup
      // sits on the "Menu Bar"); the context menu's bar has the window itself as its parent.
      LOG_DEBUG(u"getting pCommandPopup");
      const CommandBarPopupPtr popup(integration::detail::tryObject(bar, u"Parent"));
      const CComPtr<IDispatch> above = popup ? integration::detail::tryObject(popup, u"Parent") : nullptr;
      if (above) {
        bar = above;
      } else {
        LOG_DEBUG(u"catch getting pCommandPopup");
      }
    } else {
      LOG_DEBUG(u"Parent is inspector or Explorer");
    }

    const CComPtr<IDispatch> window = integration::detail::tryObject(bar, u"Parent");
    m_pInspector = window;
    if (!m_pInspector) {
      LOG_DEBUG(u"Catch: Not inspector");
      m_pExplorer = window;
      if (!m_pExplorer) LOG_DEBUG(u"Catch: Not explorer");
    }

    const std::optional<LONG> id = integration::detail::tryLong(control, u"Id");
    if (!id) {
      LOG_DEBUG(u"CEventProperties::analyse: no Id");
    } else if (*id == platform::office::kIdPrint || *id == platform::office::kIdQuickPrint) {
      m_mode = inMenu && !inContextMenu ? 2 : 1;
    } else if (*id == platform::office::kIdPrintPreview) {
      m_mode = 3;
    } else {
      m_mode = 4;
    }
  });
  if (!analysed) {
    // Half an analysis must not let a manager act on someone else's click.
    m_mode = 0;
    m_pExplorer = nullptr;
    m_pInspector = nullptr;
  }
}

bool CEventProperties::emanatesFrom(_Inspector* inspector) const {
  return NUtils::CompareInterfaces(m_pInspector, inspector);
}

bool CEventProperties::emanatesFrom(_Explorer* explorer) const {
  LOG_DEBUG(u"CEventProperties::emanatesFrom");
  if (!m_pExplorer) {
    LOG_DEBUG(u"m_pExplorer == NULL");
    return false;
  }
  if (!explorer) {
    LOG_DEBUG(u"pExplorer == NULL");
    return false;
  }
  return NUtils::CompareExplorerInterfaces(m_pExplorer, explorer);
}
