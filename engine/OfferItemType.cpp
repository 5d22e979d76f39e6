#include "engine/OfferItemType.h"

#include <boost/make_shared.hpp>

#include "foundation/AddinGlobals.h"
#include "foundation/Log.h"
#include "foundation/Settings.h"
#include "platform/ui/Ui.h"
#include "resources/resource.h"

bool COfferItemType::offer(const quilstring& messageClass) {
  if (!m_templateList) {
    LOG_DEBUG(u"No template list dialog: support for %s is not offered", messageClass.c_str());
    return false;
  }
  const HINSTANCE module = NGlobals::moduleInstance();
  quilstring caption;
  caption.LoadString(module, IDS_LONG_PRODUCT_NAME);

  CSettings& settings = CSettings::instance();
  SettingsData copy = settings.getSettingsData();
  UINT errorId = 0;
  bool retry = false;
  if (messageClass.empty() || copy.messageClasses.count(messageClass)) {
    errorId = IDS_UNKNOWN_ERROR;
  } else {
    quilstring question;
    question.FormatResource(module, IDS_OFFER_ITEM_TYPE_SUPPORT, messageClass.c_str());
    if (MessageBoxW(GetActiveWindow(), question.c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION) != IDYES)
      return false;
    auto classSettings = boost::make_shared<MessageClassSettings>();
    if (m_templateList->DoModal(GetActiveWindow(), messageClass, classSettings) != IDOK) return false;
    // The dialog may have been open for a while: what is saved is what the registry holds now,
    // other processes' changes included, plus the new class.
    settings.reread();
    bool saved = false;
    if (!settings.getReadFailure().empty()) {
      LOG_ERROR(u"Support for %s not saved: the settings cannot be read (%s)", messageClass.c_str(),
                settings.getReadFailure().c_str());
    } else {
      copy = settings.getSettingsData();
      copy.messageClasses[messageClass] = classSettings;
      saved = settings.save(copy);
    }
    // The store re-read the registry: only a class that came back as written was saved (a class
    // key that could not be written as one key leaves the save looking whole).
    const auto& stored = settings.getSettingsData().messageClasses;
    const auto back = stored.find(messageClass);
    const bool readBack = back != stored.end();
    if (saved && readBack) {
      LOG_INFO(u"Support for %s added", messageClass.c_str());
      retry = true;
    } else {
      if (saved) LOG_ERROR(u"Support for %s was not stored as written", messageClass.c_str());
      errorId = IDS_SAVE_SETTINGS_FAILED;
    }
  }
  if (errorId) {
    quilstring text;
    text.LoadString(module, errorId);
    MessageBoxW(GetActiveWindow(), text.c_str(), caption.c_str(), MB_ICONERROR);
  }
  return retry;
}
