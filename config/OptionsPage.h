#pragma once
// COptionsPage: the options page's window (dialog 104, a child of whoever hosts the page) and
// everything it does: the list of message classes with templates, adding, editing and removing
// them, the three option dialogs, and Apply, which hands the page's copy of the settings to the
// settings store. The COM class of the page (CquilMarkPP) wraps one. UI thread only.

#include <functional>
#include <vector>

#include "config/ConfigDialog.h"
#include "foundation/SettingsData.h"

class COptionsPage : public CConfigDialog {
 public:
  COptionsPage();
  // Destroys the window if it is still there; nothing is saved.
  ~COptionsPage() override;

  // Makes the page's window, a child of parent, and takes the settings copy from the store.
  HWND Create(HWND parent);
  void Destroy();

  // Whether a change was accepted since the copy was taken or last applied.
  bool isDirty() const { return m_dirty; }
  // Saves the copy. A page whose copy was never taken writes nothing (an empty copy would delete
  // every template, action and button) and answers false; a failed save shows message 311 over
  // the page and leaves it dirty. True when saved.
  bool Apply();

  // Runs after every accepted change, once the page is dirty (the host's site is told there).
  void setStatusChange(std::function<void()> statusChange) { m_statusChange = std::move(statusChange); }

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override {}
  bool OnCommand(WORD id, WORD code) override;
  bool OnNotify(const NMHDR& header, LRESULT& result) override;
  const char16_t* helpPage() const override { return u""; }
  void OnSize(int width, int height) override;

 private:
  void OnAdd();
  void OnEdit();
  void OnRemove();
  void OnButtonsOptions();
  void OnAutoprintOptions();
  void OnOtherOptions();
  void AddLVItem(const quilstring& messageClass, const MessageClassSettingsPtr& settings, int row);
  void SetDTItemText(const MessageClassSettingsPtr& settings, int row);
  void SetDirty();
  void updateRemoveButton();
  // The settings key of a row ("<Default>" for the row showing string 327).
  quilstring classOfRow(int row) const;

  SettingsData m_copy;
  bool m_loaded = false;
  bool m_dirty = false;
  HWND m_list = nullptr;
  HWND m_remove = nullptr;
  HIMAGELIST m_images = nullptr;
  std::function<void()> m_statusChange;
  // The controls where the template puts them (page client pixels), and the template's size.
  struct Placed {
    HWND control;
    RECT rect;
    bool button;  // a push button (not a group box)
    bool group;
  };
  std::vector<Placed> m_layout;
  SIZE m_templateSize{};
};
