#pragma once
// CDialogPrintOptions (dialog 134): what a template or action prints, everything, a page range
// or a conversation thread with some earlier responses. CDialogPageSetup (dialog 122): the
// orientation and margins kept for one template file, which the print template reads; the only
// configuration dialog that writes the registry itself, on OK.

#include "config/ConfigDialog.h"
#include "foundation/SettingsData.h"

class CDialogPrintOptions : public CConfigDialog {
 public:
  explicit CDialogPrintOptions(const PrintOptions& options);

  const PrintOptions& getOptions() const { return m_options; }

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  bool OnCommand(WORD id, WORD code) override;

 private:
  void updateEnabling();

  PrintOptions m_options;
};

class CDialogPageSetup : public CConfigDialog {
 public:
  explicit CDialogPageSetup(const quilstring& templatePath);

  // Whether a path names a template file whose page settings can be kept (it has a file name).
  static bool hasTemplateName(const quilstring& templatePath);
  // HKCU "...\Template Settings\<name>": the key of a template's page settings.
  static quilstring settingsKeyPath(const quilstring& templateName);

  static constexpr DWORD kDefaultMargin = 60;

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  bool OnCommand(WORD id, WORD code) override;

 private:
  void resetDefaults();
  void readStoredSettings();
  bool writeSettings(DWORD top, DWORD left, DWORD right, DWORD bottom);

  quilstring m_templatePath;
  quilstring m_templateName;
  bool m_inches = false;
};
