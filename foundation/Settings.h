#pragma once
// CSettings: the process's one configuration store. Built on first use; reads the registry with
// the per-machine and per-user precedence, owns the SettingsData block, switches the log on,
// and holds what hangs on the configuration: the extracted support files, the thread-trimming
// rules, the Outlook application, the form manager and the ribbon to refresh after a save.
// Everything runs on the UI thread; the store has no lock.

#include <functional>
#include <vector>

#include "foundation/QuilString.h"
#include "foundation/SettingsData.h"
#include "platform/com/ComPtr.h"
#include "platform/registry/RegKey.h"

struct IDispatch;
struct IRibbonUI;
struct IMAPIFormMgr;

class CSettings {
 public:
  // The one store, built on the first call.
  static CSettings& instance();
  // Destroys the store (deleting its support files) so the next instance() builds a fresh one.
  static void resetForTesting();

  ~CSettings();
  CSettings(const CSettings&) = delete;
  CSettings& operator=(const CSettings&) = delete;

  // Reads everything again into the current block (the block is not cleared first).
  void read();
  // Clears the block and reads it again: what the registry holds now, whatever this process
  // read earlier.
  void reread();
  // Why the last read could not read a hive it needed (a malformed, unreadable or refused hive
  // file), empty when it could. The block then holds defaults the user did not choose.
  const quilstring& getReadFailure() const { return m_readFailure; }
  // Writes a new configuration and reads it back. True only when every write succeeded.
  bool save(const SettingsData& data);

  SettingsData& getSettingsData() { return m_data; }
  AutoprintSettings& getAutoprintSettings() { return m_data.autoprint; }
  const quilstring& getLogPath() const { return m_data.otherOptions.logPath; }
  const quilstring& getLogThreshold() const { return m_logThreshold; }
  bool getAllowUsersToModify() const { return m_data.otherOptions.allowUsersToModifySettings; }
  bool getTidyHTML() const { return m_data.otherOptions.tidyHTML; }
  bool getUseOutlookButtons() const { return m_data.buttons.useOutlookButtons; }
  bool getDisplayPreviewButton() const { return m_data.buttons.displayPreviewButton; }
  bool getDisplayAttachmentsButton() const { return m_data.buttons.displayAttachmentsButton; }
  bool getDisplaySelectionButton() const { return m_data.buttons.displaySelectionButton; }
  bool getCreateToolbar() const { return m_data.buttons.createToolbar; }
  bool getButtonsInMenu() const { return m_data.buttons.buttonsInMenu; }
  bool getAttachmentsSelectionView() const { return m_data.buttons.attachmentsSelectionView; }
  void setAttachmentsSelectionView(bool value) { m_data.buttons.attachmentsSelectionView = value; }
  LCID getDefaultLocale() const { return kDefaultLocale; }
  DWORD getWBHostLoadTimeout() const { return m_loadTimeout; }
  bool isMachineKeyWritable() const { return m_machineKeyWritable; }
  bool canModifySettings() const { return getAllowUsersToModify() || isMachineKeyWritable(); }
  const quilstring& getPrintTemplatePath() const { return m_printTemplatePath; }
  const quilstring& getDefaultTemplatePath() const { return m_defaultTemplatePath; }
  const std::vector<quilstring>& getExtractedFiles() const { return m_extractedFiles; }
  const quilstring& getThreadPrefixChars() const { return m_threadPrefixChars; }
  const std::vector<quilstring>& getThreadTextMatches() const { return m_threadTextMatches; }

  quilstring getMRUBrowseFolder() const;
  bool setMRUBrowseFolder(const quilstring& folder);
  // "InstallDir" of the maker's machine key followed by the templates folder; empty when absent.
  quilstring getTemplateFolder() const;

  // The running Outlook, set by the add-in connection.
  CComPtr<IDispatch>& outlookApplication() { return m_application; }
  // The ribbons to refresh after a save: Office loads one per ribbon type (explorer, each kind of
  // inspector) and hands each to the ribbon's load callback. The same ribbon is kept once.
  void addRibbonUI(IRibbonUI* ribbon);
  const std::vector<CComPtr<IRibbonUI>>& ribbonUIs() const { return m_ribbonUIs; }
  // Lets every ribbon go (the add-in's disconnection).
  void releaseRibbonUIs();
  // The MAPI form manager, opened on first request; null when MAPI cannot give one.
  IMAPIFormMgr* getFormMgr();
  void clearFormMgr();

  // Support files (the print template, the default item template and their images).
  // Empties the system's temporary folder of what ended processes left; folders of live
  // processes stay.
  void clearTempFolder();
  void extractResources();
  // Extracts the support files again when they have gone (checked before each print job).
  void ensureSupportFiles();

  // Readers and writers of one record on an open key.
  static void readPrintOptions(CRegKey& key, PrintOptions& options);
  static bool readTemplateDetail(CRegKey& key, TemplateDetail& detail);
  static void readActionDetail(CRegKey& key, ActionDetail& detail);
  static void readCustomButton(CRegKey& key, CustomButton& button);
  static bool writePrintOptions(CRegKey& key, const PrintOptions& options);
  static bool writeTemplateDetail(CRegKey& key, const TemplateDetail& detail);
  static bool writeActionDetail(CRegKey& key, const ActionDetail& detail);

  // Tree readers and writers on the root key (Templates, Autoprint or Custom Buttons) of a hive.
  bool readMessageClasses(CRegKey& root);
  bool readAutoprint(CRegKey& root);
  bool readCustomButtons(CRegKey& root);
  bool writeMessageClasses(CRegKey& root, const std::map<quilstring, MessageClassSettingsPtr>& classes);
  bool writeAutoprint(CRegKey& root, const AutoprintSettings& autoprint);
  bool writeCustomButtons(CRegKey& root, const std::vector<CustomButton>& buttons);

  // Precedence helpers: the user key first when users may modify settings, then the machine key.
  static bool readDword(bool allowUsers, CRegKey& machine, CRegKey& user, const char16_t* name, DWORD& value);
  static bool readString(bool allowUsers, CRegKey& machine, CRegKey& user, const char16_t* name, quilstring& value);
  static void logRegistryError(LONG code, const char16_t* format);

  static constexpr LCID kDefaultLocale = 1033;
  static constexpr DWORD kDefaultLoadTimeout = 20000;

 private:
  CSettings();
  void readRecords(bool allowUsers, CRegKey& machine, CRegKey& user);
  void readMessageClassKey(CRegKey& classKey, MessageClassSettings& settings);
  void clearBlock();
  void noteReadFailure(HKEY hive, LONG code);

  SettingsData m_data;
  quilstring m_logThreshold;
  quilstring m_readFailure;
  DWORD m_loadTimeout = kDefaultLoadTimeout;
  bool m_machineKeyWritable = false;
  quilstring m_printTemplatePath;
  quilstring m_defaultTemplatePath;
  std::vector<quilstring> m_extractedFiles;
  quilstring m_threadPrefixChars;
  std::vector<quilstring> m_threadTextMatches;
  CComPtr<IDispatch> m_application;
  std::vector<CComPtr<IRibbonUI>> m_ribbonUIs;
  CComPtr<IMAPIFormMgr> m_formMgr;
};

// The product key under HKLM and HKCU.
inline constexpr const char16_t* kProductKey = u"SOFTWARE\\Corvessa\\QuillMark For Outlook";
// The maker's machine key holding "InstallDir".
inline constexpr const char16_t* kMakerKey = u"SOFTWARE\\Corvessa";

namespace NUtils {

// Opens the sub-key named by the stored thread locale (decimal), else the default locale 1033.
LONG openLocaleKey(CRegKey& parent, REGSAM access, CRegKey& localeKey);

// The process's temporary folder, ending with a separator; made once per process and removed with
// everything in it when the process ends. It is a folder of the process's own inside the system's
// folder (the user's temporary path plus the maker's folder), held locked for the process's life
// so that no other process removes it. When the system's folder is not the user's own (a link,
// another owner, open to others) a private folder of the user's temporary path stands in; never
// the temporary path itself. Empty only when no folder could be made at all (logged).
const quilstring& getTempPath();
// Whether getTempPath lies inside the system's own folder (false for the private stand-in).
bool isOwnTempFolder();
// Removes the process's folder; the next getTempPath makes a new one.
void resetTempPathForTesting();

// Writes one resource of the module into the temporary folder and appends its path to paths.
// Answers the path, or empty when the file could not be written whole.
quilstring saveResourceToFile(const quilstring& name, const quilstring& typeName, std::vector<quilstring>& paths);

// Writes bytes to a new file (replacing one that is there, never through a symbolic link).
// A file that could not be written whole is deleted and false answered.
bool writeWholeFile(const std::string& path, const unsigned char* data, std::size_t size);
// Test seam: called before each write of writeWholeFile with the bytes still to write; answers
// how many bytes the write may take (fewer simulates a full disk, 0 a failed write).
void setWriteLimitForTesting(std::function<std::size_t(std::size_t)> limit);

}  // namespace NUtils
