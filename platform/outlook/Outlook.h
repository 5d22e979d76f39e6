#pragma once
// Outlook over a folder of .msg files: the Application and everything reached from it (NameSpace,
// folders, items, explorers and inspectors with their events), and the calls by which the host
// and the tests play the user: opening and closing windows, selecting, switching folders.
//
// The store is the folder tree: each sub-folder is a mail folder, and the top-level folders named
// as Outlook's default folders ("Inbox", "Calendar", "Contacts", "Tasks", "Notes", "Journal",
// "Sent Items", "Outbox", "Deleted Items", "Drafts", ignoring case) hold their item types; their
// sub-folders hold what they hold. Default folders the tree lacks exist, empty. Nothing is ever
// written to the store.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Export.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Dispatch.h"

namespace platform::outlook {

namespace detail {
class Context;
class CApplication;
}  // namespace detail

struct OutlookOptions {
  std::u16string storeName = u"Personal Folders";
  // Session.CurrentUser; none (a null object) when both name and address are empty.
  std::u16string userName;
  std::u16string userAddress;
  std::u16string userAddressType = u"SMTP";
  std::u16string version = u"12.0.6425.1000";
  // Test seam: reading Session.CurrentUser raises, as it does for a profile that cannot resolve.
  bool currentUserFails = false;
  // Explorers and inspectors as top-level windows of the desktop, shown once NewExplorer or
  // NewInspector has fired and destroyed when they close; otherwise message-only windows that
  // nobody sees (tests, printing from the command line).
  bool windows = false;
  // The host dresses each new window (its command bars, what it shows) before NewExplorer or
  // NewInspector fires, and hears when it closes, after its Close event and before its handle
  // goes. explorer: an explorer, else an inspector.
  std::function<void(IDispatch* window, HWND handle, bool explorer)> windowCreated;
  std::function<void(IDispatch* window, HWND handle)> windowClosed;
};

class QM_PLATFORM_API COutlook {
 public:
  // Null when root is not a readable folder.
  static std::unique_ptr<COutlook> open(const std::filesystem::path& root, OutlookOptions options = {});
  COutlook(const COutlook&) = delete;
  COutlook& operator=(const COutlook&) = delete;
  // Closes every window (their Close events fire) and lets the objects go.
  ~COutlook();

  // The _Application object.
  IDispatch* application() const;
  // The folder at a path relative to the store's root ("" the root, "Inbox/Sub", '/' between
  // names); null when there is none.
  CComPtr<IDispatch> folder(std::u16string_view relative) const;
  CComPtr<IDispatch> defaultFolder(LONG olDefaultFolder) const;
  // The item of a .msg file of the store; null for a file outside it.
  CComPtr<IDispatch> item(const std::filesystem::path& file) const;
  // Why GetItemFromID refuses the item of this entry id, its file named ("/s/Inbox/a.msg cannot
  // be read: Permission denied"); empty when it opens or the store has no such item.
  std::string openFailure(std::u16string_view entryId) const;
  // The .msg file of an item of this store; empty for anything else.
  std::filesystem::path fileOf(IDispatch* item) const;
  // Whether reading the tree stopped at its limits (depth, folder or item count).
  bool storeTruncated() const;

  // Opens an explorer on a folder with the items selected (NewExplorer fires, then the explorer
  // becomes the active one). Null for a folder that is not of this store.
  CComPtr<IDispatch> openExplorer(IDispatch* folder, const std::vector<IDispatch*>& selection = {});
  // Opens an inspector on an item (NewInspector fires), or answers the item's open inspector.
  CComPtr<IDispatch> openInspector(IDispatch* item);
  // Replaces an explorer's selection (SelectionChange fires).
  HRESULT select(IDispatch* explorer, const std::vector<IDispatch*>& selection);
  // Shows another folder in an explorer (its selection empties; FolderSwitch fires).
  HRESULT switchFolder(IDispatch* explorer, IDispatch* folder);
  // Activate / Deactivate fire on the window; an activated window becomes the active one.
  HRESULT activate(IDispatch* window);
  HRESULT deactivate(IDispatch* window);
  // Close fires on the window, which then leaves the Explorers or Inspectors collection.
  HRESULT close(IDispatch* window);
  // What the window answers as CommandBars (the host's bars); null clears.
  HRESULT setCommandBars(IDispatch* window, IDispatch* commandBars);
  // The window handle a window answers through IOleWindow.
  HWND windowHandle(IDispatch* window) const;
  // ApplicationEvents: OptionsPagesAdd with the pages collection.
  HRESULT fireOptionsPagesAdd(IUnknown* pages);

 private:
  COutlook() = default;
  std::shared_ptr<detail::Context> m_context;
  CComPtr<IDispatch> m_applicationDispatch;
  detail::CApplication* m_application = nullptr;  // the object m_applicationDispatch holds
};

}  // namespace platform::outlook
