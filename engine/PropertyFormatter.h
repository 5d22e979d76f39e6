#pragma once
// CPropertyFormatter: the base of the formatters that turn one field of the item being printed
// into HTML and write it into one template element, and the process-wide registry that maps a
// formatter kind to the formatter serving it.

#include <initializer_list>
#include <map>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "engine/ElementSettings.h"
#include "engine/FieldSource.h"
#include "foundation/QuilString.h"
#include "platform/WinTypes.h"
#include "platform/html/HtmlDocument.h"
#include "platform/mapi/MAPIDefs.h"

class CMessage;
class CPropertyFormatter;
using CPropertyFormatterPtr = boost::shared_ptr<CPropertyFormatter>;

class CPropertyFormatter {
 public:
  // key 0 makes an exemplar: it joins the exemplar list and does no formatting.
  explicit CPropertyFormatter(DWORD key);
  virtual ~CPropertyFormatter();
  CPropertyFormatter(const CPropertyFormatter&) = delete;
  CPropertyFormatter& operator=(const CPropertyFormatter&) = delete;

  // Writes the field the settings name into the element; true when a non-empty value was
  // written. Registered formatters hold no state and serve every element of every job.
  virtual bool format(CElementSettings& settings, CMessage& message, platform::html::CHtmlElement element) = 0;
  // Adds this class's working instances, one per key, to the registry.
  virtual void registerPrototypes() = 0;

  DWORD key() const { return m_key; }

  // The formatter registered under key, or null. The first call fills the registry.
  static CPropertyFormatterPtr find(DWORD key);
  // The template filler's lookup: by the kind, else by its low 16 bits (a MAPI property tag used
  // as a kind finds the formatter of its type); when both fail, a Warning with the element's
  // settings text, and null.
  static CPropertyFormatterPtr findForElement(DWORD kind, const quilstring& settingsText);

  // The common post-processing. value is the item's raw text on entry and HTML on return: a
  // POSSIBLE_VALUES entry matching the raw text exactly gives its (template) text, any other
  // value is escaped; then UPPER_CASE or LOWER_CASE, then the FORMAT_STRING.
  static void postProcess(const CElementSettings& settings, quilstring& value);
  // The same for a value whose HTML form the caller made (a plain text with its line breaks).
  static void postProcess(const CElementSettings& settings, quilstring& value, quilstring html);
  // Sets the element's innerHTML to the value (an empty value clears it). False, logged, when
  // the element is null or refuses the text.
  static bool apply(const quilstring& value, const CElementSettings& settings, platform::html::CHtmlElement element);

  // The exemplars, in construction order, and the registry (test access).
  static const std::vector<CPropertyFormatter*>& exemplars();
  static const std::map<DWORD, CPropertyFormatterPtr>& registry();

 protected:
  // Inserts under the formatter's key; a key already there keeps its first formatter.
  static void add(CPropertyFormatterPtr formatter);

  // The scalar read order: by DISPID when the settings name one (a DISPID of 0 reads nothing),
  // else by item property name; false when neither read a value.
  template <class T>
  static bool readItemValue(const CElementSettings& settings, IFieldSource& source,
                            bool (IFieldSource::*byId)(DISPID, T&), bool (IFieldSource::*byName)(const quilstring&, T&),
                            T& out) {
    if (!settings.dispid().empty()) {
      const DISPID id = dispidOf(settings);
      return id != 0 && (source.*byId)(id, out);
    }
    if (!settings.itemName().empty()) return (source.*byName)(settings.itemName(), out);
    return false;
  }
  static DISPID dispidOf(const CElementSettings& settings);

  // Post-processes the raw value (with its HTML form, when the formatter made one) and applies
  // it, even when empty; true when a non-empty value was written.
  static bool finish(const CElementSettings& settings, quilstring value, platform::html::CHtmlElement element);
  static bool finish(const CElementSettings& settings, quilstring value, quilstring html,
                     platform::html::CHtmlElement element);

  // The MAPI step: the property whose tag is the kind, when the kind has a non-zero high word and
  // the answer has one of the expected types (an error value never has); else null.
  static platform::mapi::MAPIBuffer<SPropValue> readMAPIValue(const CElementSettings& settings, IFieldSource& source,
                                                               std::initializer_list<ULONG> types);

 private:
  static std::vector<CPropertyFormatter*>& exemplarList();
  static std::map<DWORD, CPropertyFormatterPtr>& registryMap();
  static void addExemplar(CPropertyFormatter* exemplar);
  static void fillRegistry();

  DWORD m_key;
};
