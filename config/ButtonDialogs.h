#pragma once
// The button dialogs: CDialogButtonManager (dialog 131: which standard buttons show, menu or
// toolbar, Outlook's own print controls, and the three quick buttons) and CDialogCustomButton
// (dialog 128: one quick button's look, print operation, dialog options and action).

#include "config/ConfigDialog.h"
#include "foundation/SettingsData.h"

class CDialogButtonManager : public CConfigDialog {
 public:
  explicit CDialogButtonManager(const ButtonSettings& settings);

  const ButtonSettings& getSettings() const { return m_settings; }

  // The quick buttons the list shows.
  static constexpr std::size_t kQuickButtons = 3;

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  bool OnCommand(WORD id, WORD code) override;
  bool OnNotify(const NMHDR& header, LRESULT& result) override;
  const char16_t* helpPage() const override { return NConfig::kHelpButtonOptions; }

 private:
  void editButton();

  ButtonSettings m_settings;
};

class CDialogCustomButton : public CConfigDialog {
 public:
  explicit CDialogCustomButton(const CustomButton& button);

  const CustomButton& getButton() const { return m_button; }

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  bool OnCommand(WORD id, WORD code) override;
  const char16_t* helpPage() const override { return NConfig::kHelpQuickButtons; }

 private:
  void applyRadioRule();

  CustomButton m_button;
};
