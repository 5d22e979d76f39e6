#pragma once
// CDialogOtherOptions (dialog 136): whether users keep their own settings, whether item bodies
// are made well-formed before printing, and the log file.

#include "config/ConfigDialog.h"
#include "foundation/SettingsData.h"

class CDialogOtherOptions : public CConfigDialog {
 public:
  explicit CDialogOtherOptions(const OtherOptions& options);

  const OtherOptions& getOptions() const { return m_options; }

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  bool OnCommand(WORD id, WORD code) override;
  const char16_t* helpPage() const override { return NConfig::kHelpTemplateConfiguration; }

 private:
  OtherOptions m_options;
};
