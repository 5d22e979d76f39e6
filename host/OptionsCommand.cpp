#include "host/OptionsCommand.h"

#include <cstdio>
#include <iterator>
#include <memory>
#include <string_view>
#include <vector>

#include "host/AddIns.h"
#include "host/OptionsDialog.h"
#include "host/OutlookCommand.h"
#include "host/Ribbon.h"
#include "platform/outlook/Outlook.h"
#include "platform/outlook/OutlookInterfaces.h"
#include "platform/registry/RegistryFiles.h"
#include "platform/system/Text.h"
#include "platform/ui/Desktop.h"

namespace host {

namespace {

// Office's own image for options: the button an add-in gives its options with.
constexpr const char16_t* kOptionsImage = u"ApplicationOptionsDialog";

// The add-ins' options button on the explorer's ribbon, clicked as a person would; false when no
// add-in shows one.
bool clickOptionsButton(platform::outlook::COutlook& outlook, const CAddInHost& addIns) {
  const CComPtr<IDispatch> explorer = outlook.openExplorer(outlook.defaultFolder(olFolderInbox));
  if (!explorer) return false;
  CRibbonHost ribbon;
  for (const CComPtr<IUnknown>& addIn : addIns.objects()) ribbon.addAddIn(addIn);
  bool clicked = false;
  for (const ShownTab& tab : ribbon.show(ribbonTypeOf(explorer, true), explorer))
    for (const ShownGroup& group : tab.groups)
      for (const ShownButton& button : group.buttons)
        if (!clicked && button.imageMso == kOptionsImage) clicked = ribbon.click(button, explorer);
  ribbon.clear();
  outlook.close(explorer);
  return clicked;
}

}  // namespace

int runOptions() {
  if (platform::ui::currentFace() != platform::ui::Face::kGtk) {
    std::fprintf(stderr, "quillmark options: the options window needs a display\n");
    return 1;
  }
  std::unique_ptr<platform::outlook::COutlook> outlook = platform::outlook::COutlook::open(defaultStore());
  if (!outlook) {
    std::fprintf(stderr, "quillmark options: cannot open the store\n");
    return 1;
  }
  CAddInHost addIns;
  std::string error;
  if (!addIns.connect(outlook->application(), error)) {
    std::fprintf(stderr, "quillmark options: no add-in connected: %s\n", error.c_str());
    return 1;
  }
  int status = 0;
  // What the ribbon's options button opens: the add-in's own options window.
  if (clickOptionsButton(*outlook, addIns)) {
    std::printf("quillmark options: closed\n");
  } else {
    // An add-in without that button still has its pages, shown as Outlook's Options dialog does.
    std::vector<OptionsPage> pages;
    const CComPtr<IDispatch> collection = makePropertyPages(pages);
    outlook->fireOptionsPagesAdd(collection);
    if (pages.empty()) {
      std::fprintf(stderr, "quillmark options: no add-in has an options page\n");
      status = 1;
    } else {
      const std::u16string caption = pages.size() == 1 ? pages.front().title + u" Options" : u"Options";
      COptionsDialog dialog(caption, std::move(pages));
      const int result = dialog.DoModal(nullptr);
      std::printf("quillmark options: %s\n", result == IDOK ? "applied" : "cancelled");
    }
  }
  addIns.disconnect();
  return status;
}

namespace {

// The product's own key: a merge deploys its configuration and nothing else (a class
// registration merged here would have the next run load whatever module it names).
constexpr std::u16string_view kProductPath[] = {u"SOFTWARE", u"Corvessa", u"QuillMark For Outlook"};

std::u16string outsideProductKey(HKEY root, const std::vector<std::u16string>& path) {
  bool inside = root == HKEY_CURRENT_USER || root == HKEY_LOCAL_MACHINE;
  inside = inside && path.size() >= std::size(kProductPath);
  for (std::size_t i = 0; inside && i < std::size(kProductPath); ++i)
    inside = platform::system::equalsNoCase(path[i], kProductPath[i]);
  if (inside) return {};
  std::u16string key = root == HKEY_LOCAL_MACHINE  ? u"HKEY_LOCAL_MACHINE"
                       : root == HKEY_CURRENT_USER ? u"HKEY_CURRENT_USER"
                                                   : u"HKEY_CLASSES_ROOT";
  for (const std::u16string& name : path) key += u"\\" + name;
  return u"the key " + key +
         u" is not one of the product's: only keys under HKEY_CURRENT_USER\\SOFTWARE\\Corvessa\\QuillMark For "
         u"Outlook and HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvessa\\QuillMark For Outlook are merged";
}

}  // namespace

int runRegedit(const std::filesystem::path& file) {
  const platform::registry::RegFileStatus status = platform::registry::importRegFile(file, outsideProductKey);
  if (!status.ok()) {
    const std::string reason = status.message.empty() ? "it could not be read" : platform::system::utf16ToUtf8(status.message);
    std::fprintf(stderr, "quillmark regedit: %s not imported: %s\n", file.string().c_str(), reason.c_str());
    return 1;
  }
  std::printf("quillmark regedit: %s imported\n", file.string().c_str());
  return 0;
}

}  // namespace host
