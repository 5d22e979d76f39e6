#include "config/OptionsPage.h"

#include <boost/make_shared.hpp>

#include <algorithm>

#include "config/AutoprintDialogs.h"
#include "config/ButtonDialogs.h"
#include "config/EditRules.h"
#include "config/OtherOptionsDialog.h"
#include "config/TemplateListDialogs.h"
#include "foundation/AddinGlobals.h"
#include "foundation/Guard.h"
#include "foundation/Log.h"
#include "foundation/Settings.h"
#include "foundation/Utils.h"
#include "platform/resources/Resources.h"
#include "resources/resource.h"

namespace {

constexpr int kClassColumnWidth = 120;

bool isDefaultClass(const quilstring& messageClass) { return NUtils::equalsNoCase(messageClass, kDefaultMessageClass); }

// The entry of a class, its name compared ignoring case as the registry's keys are.
std::map<quilstring, MessageClassSettingsPtr>::iterator findClass(std::map<quilstring, MessageClassSettingsPtr>& classes,
                                                                  const quilstring& messageClass) {
  const auto exact = classes.find(messageClass);
  if (exact != classes.end()) return exact;
  for (auto it = classes.begin(); it != classes.end(); ++it)
    if (NUtils::equalsNoCase(it->first, messageClass)) return it;
  return classes.end();
}

}  // namespace

COptionsPage::COptionsPage() : CConfigDialog(IDD_QUILLMARKPP, u"CquilMarkPP") {}

COptionsPage::~COptionsPage() {
  Destroy();
  if (m_images) ImageList_Destroy(m_images);
}

HWND COptionsPage::Create(HWND parent) { return window() ? window() : CreateChild(parent); }

void COptionsPage::Destroy() {
  if (window()) DestroyWindow(window());
}

BOOL COptionsPage::OnInitDialog() {
  NUtils::guardedAs(u"Exception caught in CquilMarkPP::OnInitDialog", [&] {
    m_copy = CSettings::instance().getSettingsData();
    m_loaded = true;
    m_list = item(IDC_PP_LIST);
    m_remove = item(IDC_PP_REMOVE);
    if (m_images) ImageList_Destroy(m_images);
    m_images = ImageList_Create(16, 16, ILC_COLOR24, 0, 20);
    ListView_SetImageList(m_list, m_images, LVSIL_SMALL);
    NConfig::insertColumn(m_list, 0, NConfig::loadText(IDS_COLUMN_MESSAGE_CLASS), kClassColumnWidth);
    NConfig::insertColumn(m_list, 1, NConfig::loadText(IDS_COLUMN_TEMPLATES),
                          NConfig::remainingWidth(m_list, kClassColumnWidth));
    int row = 0;
    for (const auto& [messageClass, settings] : m_copy.messageClasses) AddLVItem(messageClass, settings, row++);
  });
  return TRUE;
}

void COptionsPage::OnSize(int width, int height) {
  const HWND page = window();
  if (!m_list || !page) return;
  if (m_layout.empty()) {
    // Where the template puts the controls (they were made in its order).
    const platform::resources::DialogTemplate* made = platform::resources::findDialog(NGlobals::moduleInstance(), IDD_QUILLMARKPP);
    if (!made) return;
    std::size_t index = 0;
    for (HWND at = GetWindow(page, GW_CHILD); at && index < made->itemCount; at = GetWindow(at, GW_HWNDNEXT), ++index) {
      const platform::resources::DialogItem& item = made->items[index];
      RECT r{item.x, item.y, item.x + item.cx, item.y + item.cy};
      MapDialogRect(page, &r);
      const bool button = NUtils::equalsNoCase(item.className, u"Button");
      const bool group = button && (item.style & 0xF) == BS_GROUPBOX;
      m_layout.push_back({at, r, button && !group, group});
    }
    RECT size{0, 0, made->cx, made->cy};
    MapDialogRect(page, &size);
    m_templateSize = SIZE{size.right, size.bottom};
  }
  // The page fills its host's area: the room the template leaves goes to the templates' group
  // and its list, the buttons keeping to the right and the options below, margins as designed.
  const int dx = std::max(0, width - static_cast<int>(m_templateSize.cx));
  const int dy = std::max(0, height - static_cast<int>(m_templateSize.cy));
  RECT list{};
  for (const Placed& placed : m_layout)
    if (placed.control == m_list) list = placed.rect;
  for (const Placed& placed : m_layout) {
    RECT to = placed.rect;
    if (placed.control == m_list || (placed.group && to.top <= list.top && to.bottom >= list.bottom)) {
      to.right += dx;
      to.bottom += dy;
    } else if (to.top >= list.bottom) {
      to.top += dy;
      to.bottom += dy;
      if (placed.group) to.right += dx;
      if (placed.button) {
        to.left += dx;
        to.right += dx;
      }
    }
    MoveWindow(placed.control, to.left, to.top, to.right - to.left, to.bottom - to.top, TRUE);
  }
  SendMessageW(m_list, LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(NConfig::remainingWidth(m_list, kClassColumnWidth), 0));
}

void COptionsPage::AddLVItem(const quilstring& messageClass, const MessageClassSettingsPtr& settings, int row) {
  const quilstring text = isDefaultClass(messageClass) ? NConfig::loadText(IDS_DEFAULT_CLASS) : messageClass;
  quilstring displayName;
  HICON icon = nullptr;
  NUtils::getMessageClassData(CSettings::instance().getFormMgr(), text, displayName, icon, true);
  if (icon) {
    ImageList_AddIcon(m_images, icon);
    DestroyIcon(icon);
  } else {
    LOG_ERROR(u"GetIconInfo failed");
  }
  std::u16string buffer = text;
  LVITEMW lvItem{};
  lvItem.mask = LVIF_TEXT | LVIF_IMAGE;
  lvItem.iItem = row;
  lvItem.pszText = buffer.data();
  lvItem.iImage = ImageList_GetImageCount(m_images) - 1;
  const int inserted = ListView_InsertItem(m_list, &lvItem);
  if (inserted >= 0) SetDTItemText(settings, inserted);
}

void COptionsPage::SetDTItemText(const MessageClassSettingsPtr& settings, int row) {
  const std::size_t count = settings ? settings->templates.size() : 0;
  quilstring text;
  if (count == 0) text = NConfig::loadText(IDS_USES_DEFAULT);
  else if (count == 1) text = NConfig::fileNameOf(settings->templates.front().printingTemplate);
  else text.FormatResource(NGlobals::moduleInstance(), IDS_N_TEMPLATES, static_cast<int>(count));
  NConfig::setRowText(m_list, row, 1, text);
}

quilstring COptionsPage::classOfRow(int row) const {
  quilstring text = NConfig::rowText(m_list, row);
  if (text.size() > 520) text.resize(520);
  return NUtils::equalsNoCase(text, NConfig::loadText(IDS_DEFAULT_CLASS)) ? quilstring(kDefaultMessageClass) : text;
}

void COptionsPage::SetDirty() {
  m_dirty = true;
  if (m_statusChange) m_statusChange();
}

void COptionsPage::updateRemoveButton() {
  const int row = NConfig::selectedRow(m_list);
  if (row < 0) return;
  EnableWindow(m_remove, isDefaultClass(classOfRow(row)) ? FALSE : TRUE);
}

bool COptionsPage::OnCommand(WORD id, WORD code) {
  if (code != BN_CLICKED) return false;
  switch (id) {
    case IDC_PP_ADD: OnAdd(); return true;
    case IDC_PP_EDIT: OnEdit(); return true;
    case IDC_PP_REMOVE: OnRemove(); return true;
    case IDC_PP_BUTTONS_OPTIONS: OnButtonsOptions(); return true;
    case IDC_PP_AUTOPRINT_OPTIONS: OnAutoprintOptions(); return true;
    case IDC_PP_OTHER_OPTIONS: OnOtherOptions(); return true;
    default: return false;
  }
}

bool COptionsPage::OnNotify(const NMHDR& header, LRESULT& result) {
  result = 0;
  if (header.idFrom != IDC_PP_LIST) return false;
  switch (header.code) {
    case NM_DBLCLK: OnEdit(); return true;
    case LVN_KEYDOWN:
      if (reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey == VK_DELETE) OnRemove();
      return true;
    case NM_CLICK:
    case LVN_ITEMCHANGED: updateRemoveButton(); return true;
    default: return false;
  }
}

void COptionsPage::OnAdd() {
  CDialogQuillMarkTemplates dialog;
  if (dialog.DoModal(window()) != IDOK) return;
  const quilstring& added = dialog.getResultClass();
  if (findClass(m_copy.messageClasses, added) != m_copy.messageClasses.end()) {
    showMessage(IDS_CLASS_ALREADY_PRESENT, MB_ICONERROR, Caption::kProduct, added.c_str());
    return;
  }
  m_copy.messageClasses[added] = dialog.getSettings();
  AddLVItem(added, dialog.getSettings(), ListView_GetItemCount(m_list));
  SetDirty();
}

void COptionsPage::OnEdit() {
  const int row = NConfig::selectedRow(m_list);
  if (row < 0) return;
  const auto entry = findClass(m_copy.messageClasses, classOfRow(row));
  if (entry == m_copy.messageClasses.end()) return;
  // The dialog edits its own object: the store's block shares the entry's.
  auto edited = entry->second ? boost::make_shared<MessageClassSettings>(*entry->second)
                              : boost::make_shared<MessageClassSettings>();
  CDialogQuillMarkTemplates dialog(entry->first, edited);
  if (dialog.DoModal(window()) != IDOK) return;
  entry->second = dialog.getSettings();
  SetDTItemText(entry->second, row);
  SetDirty();
}

void COptionsPage::OnRemove() {
  const int row = NConfig::selectedRow(m_list);
  if (row < 0) return;
  const quilstring messageClass = classOfRow(row);
  if (isDefaultClass(messageClass)) {
    showMessage(IDS_DEFAULT_NOT_REMOVABLE, MB_ICONEXCLAMATION, Caption::kProduct);
    return;
  }
  const auto entry = findClass(m_copy.messageClasses, messageClass);
  if (entry == m_copy.messageClasses.end()) return;
  if (showMessage(IDS_CONFIRM_REMOVE_CLASS, MB_OKCANCEL | MB_ICONQUESTION, Caption::kProduct, entry->first.c_str()) != IDOK)
    return;
  m_copy.messageClasses.erase(entry);
  ListView_DeleteItem(m_list, row);
  SetDirty();
}

void COptionsPage::OnButtonsOptions() {
  CDialogButtonManager dialog(m_copy.buttons);
  if (dialog.DoModal(window()) != IDOK) return;
  m_copy.buttons = dialog.getSettings();
  SetDirty();
}

void COptionsPage::OnAutoprintOptions() {
  CDialogAutoprintSettings dialog(m_copy.autoprint);
  if (dialog.DoModal(window()) != IDOK) return;
  m_copy.autoprint.actions = dialog.getActions();
  m_copy.autoprint.numSeconds = dialog.getSeconds();
  SetDirty();
}

void COptionsPage::OnOtherOptions() {
  CDialogOtherOptions dialog(m_copy.otherOptions);
  if (dialog.DoModal(window()) != IDOK) return;
  m_copy.otherOptions = dialog.getOptions();
  SetDirty();
}

bool COptionsPage::Apply() {
  if (!m_loaded) {
    LOG_INFO(u"CquilMarkPP::Apply -- the page was never shown; nothing to save");
    return false;
  }
  if (!CSettings::instance().save(m_copy)) {
    showMessage(IDS_SAVE_SETTINGS_FAILED, MB_ICONERROR, Caption::kProduct);
    return false;
  }
  m_dirty = false;
  return true;
}
