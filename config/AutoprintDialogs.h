#pragma once
// The autoprint dialogs: CDialogAutoprintSettings (dialog 129, the ordered list of autoprint
// actions and the seconds allowed for attachment printing), CDialogQuillmarkAction (dialog 133,
// one action: what of an item it prints and how) and CDialogActionSelection (dialog 130, one
// action picked by name for the automation object; it saves actions edited on the way itself).

#include <vector>

#include "config/ConfigDialog.h"
#include "foundation/SettingsData.h"

class CDialogAutoprintSettings : public CConfigDialog {
 public:
  explicit CDialogAutoprintSettings(const AutoprintSettings& settings);

  const std::vector<ActionDetail>& getActions() const { return m_actions; }
  DWORD getSeconds() const { return m_seconds; }

  // The most seconds accepted: the automation queue waits ten pulses per second in 32 bits.
  static constexpr DWORD kMaxSeconds = 429496729;

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  bool OnCommand(WORD id, WORD code) override;
  bool OnNotify(const NMHDR& header, LRESULT& result) override;
  const char16_t* helpPage() const override { return NConfig::kHelpConfiguration; }

 private:
  void addAction();
  void editAction();
  void removeAction();

  std::vector<ActionDetail> m_actions;
  DWORD m_seconds;
  COrderedList<ActionDetail> m_list;
};

class CDialogQuillmarkAction : public CConfigDialog {
 public:
  CDialogQuillmarkAction();
  explicit CDialogQuillmarkAction(const ActionDetail& action, bool nameEditable = true);

  const ActionDetail& getAction() const { return m_action; }

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  bool OnCommand(WORD id, WORD code) override;
  const char16_t* helpPage() const override { return NConfig::kHelpConfiguration; }

 private:
  void updateEnabling();
  void openPageSetup();

  ActionDetail m_action;
  bool m_nameEditable = true;
};

class CDialogActionSelection : public CConfigDialog {
 public:
  CDialogActionSelection();

  // After IDOK: the display name of the chosen action.
  const quilstring& getChosenName() const { return m_chosenName; }

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  bool OnCommand(WORD id, WORD code) override;
  bool OnNotify(const NMHDR& header, LRESULT& result) override;
  const char16_t* helpPage() const override { return NConfig::kHelpConfiguration; }

 private:
  void fillList();

  quilstring m_chosenName;
  SettingsData m_settings;
  bool m_edited = false;
};
