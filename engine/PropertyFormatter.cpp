#include "engine/PropertyFormatter.h"

#include <algorithm>
#include <exception>
#include <mutex>

#include "engine/FieldText.h"
#include "engine/formatters/AttachmentFormatter.h"
#include "engine/formatters/BodyFormatter.h"
#include "engine/formatters/BooleanFormatter.h"
#include "engine/formatters/CurrencyFormatter.h"
#include "engine/formatters/FloatFormatter.h"
#include "engine/formatters/ImageFormatter.h"
#include "engine/formatters/IntegerFormatter.h"
#include "engine/formatters/RecipientFormatter.h"
#include "engine/formatters/StringFormatter.h"
#include "engine/formatters/SystemTimeFormatter.h"
#include "engine/formatters/UserPropertyFormatter.h"
#include "foundation/Log.h"
#include "foundation/Utils.h"

namespace {

// One exemplar of each class. They are made here, in one translation unit, so that their order
// is fixed and the linker keeps every formatter of the static library.
CAttachmentPropertyFormatter g_attachmentExemplar;
CBodyPropertyFormatter g_bodyExemplar;
CBooleanPropertyFormatter g_booleanExemplar;
CCurrencyPropertyFormatter g_currencyExemplar;
CImagePropertyFormatter g_imageExemplar;
CIntegerPropertyFormatter g_integerExemplar;
CRecipientPropertyFormatter g_recipientExemplar;
CStringPropertyFormatter g_stringExemplar;
CSysTimePropertyFormatter g_sysTimeExemplar;
CUserPropertyFormatter g_userExemplar;
CFloatPropertyFormatter g_floatExemplar;

}  // namespace

CPropertyFormatter::CPropertyFormatter(DWORD key) : m_key(key) {
  if (key == 0) addExemplar(this);
}

namespace {

// The exemplars' list outlives every exemplar, whatever the order of static destruction, and
// goes with the last of them (so a module unloaded leaves nothing of it behind).
std::vector<CPropertyFormatter*>*& exemplarListPointer() {
  static std::vector<CPropertyFormatter*>* list = nullptr;
  return list;
}

}  // namespace

CPropertyFormatter::~CPropertyFormatter() {
  if (m_key != 0) return;
  std::vector<CPropertyFormatter*>*& list = exemplarListPointer();
  if (!list) return;
  list->erase(std::remove(list->begin(), list->end(), this), list->end());
  if (list->empty()) {
    delete list;
    list = nullptr;
  }
}

std::vector<CPropertyFormatter*>& CPropertyFormatter::exemplarList() {
  std::vector<CPropertyFormatter*>*& list = exemplarListPointer();
  if (!list) list = new std::vector<CPropertyFormatter*>;
  return *list;
}

std::map<DWORD, CPropertyFormatterPtr>& CPropertyFormatter::registryMap() {
  static std::map<DWORD, CPropertyFormatterPtr> map;
  return map;
}

const std::vector<CPropertyFormatter*>& CPropertyFormatter::exemplars() { return exemplarList(); }

const std::map<DWORD, CPropertyFormatterPtr>& CPropertyFormatter::registry() {
  fillRegistry();
  return registryMap();
}

void CPropertyFormatter::addExemplar(CPropertyFormatter* exemplar) { exemplarList().push_back(exemplar); }

void CPropertyFormatter::add(CPropertyFormatterPtr formatter) {
  if (!formatter) return;
  registryMap().emplace(formatter->key(), std::move(formatter));
}

void CPropertyFormatter::fillRegistry() {
  static std::once_flag filled;
  std::call_once(filled, [] {
    for (CPropertyFormatter* exemplar : exemplarList()) exemplar->registerPrototypes();
  });
}

CPropertyFormatterPtr CPropertyFormatter::find(DWORD key) {
  fillRegistry();
  const auto& map = registryMap();
  const auto it = map.find(key);
  return it == map.end() ? CPropertyFormatterPtr() : it->second;
}

CPropertyFormatterPtr CPropertyFormatter::findForElement(DWORD kind, const quilstring& settingsText) {
  if (auto formatter = find(kind)) return formatter;
  if (auto formatter = find(kind & 0xFFFFu)) return formatter;
  LOG_WARNING(u"Could not find property processor for \"%s\"", settingsText.c_str());
  return {};
}

void CPropertyFormatter::postProcess(const CElementSettings& settings, quilstring& value) {
  quilstring html = NFieldText::escapeHTML(value);
  postProcess(settings, value, std::move(html));
}

void CPropertyFormatter::postProcess(const CElementSettings& settings, quilstring& value, quilstring html) {
  // The translation matches the item's own text; its displayed text is template HTML.
  const auto& possible = settings.possibleValues();
  if (!value.empty() && !possible.empty()) {
    const auto it = possible.find(value);
    if (it != possible.end()) html = it->second;
  }
  value = std::move(html);

  const bool upper = (settings.flags() & CElementSettings::kUpperCase) != 0;
  const bool lower = (settings.flags() & CElementSettings::kLowerCase) != 0;
  if (!upper && !lower && (value.empty() || settings.formatString().empty())) return;
  if (upper) {
    NUtils::toUpper(value);
  } else if (lower) {
    NUtils::toLower(value);
  }
  if (!value.empty() && !settings.formatString().empty()) {
    value = NFieldText::applyFormatString(settings.formatString(), value);
  }
}

bool CPropertyFormatter::apply(const quilstring& value, const CElementSettings&, platform::html::CHtmlElement element) {
  LOG_DEBUG(u"Applying formatted property as innerHTML");
  try {
    const HRESULT hr = element ? element.setInnerHTML(value) : E_POINTER;
    if (FAILED(hr)) {
      // Neither the document nor a missing element gives a description of its own.
      LOG_ERROR(u"Couldn't apply as inner%s: %s", u"HTML", u"???");
      return false;
    }
    return true;
  } catch (const std::exception& e) {
    LOG_ERROR(u"Couldn't apply as inner%s: %S", u"HTML", e.what());
    return false;
  } catch (...) {
    LOG_ERROR(u"Couldn't apply as inner%s", u"HTML");
    return false;
  }
}

bool CPropertyFormatter::finish(const CElementSettings& settings, quilstring value,
                                platform::html::CHtmlElement element) {
  postProcess(settings, value);
  const bool applied = apply(value, settings, std::move(element));
  return applied && !value.empty();
}

bool CPropertyFormatter::finish(const CElementSettings& settings, quilstring value, quilstring html,
                                platform::html::CHtmlElement element) {
  postProcess(settings, value, std::move(html));
  const bool applied = apply(value, settings, std::move(element));
  return applied && !value.empty();
}

DISPID CPropertyFormatter::dispidOf(const CElementSettings& settings) {
  return static_cast<DISPID>(NUtils::hexToLong(settings.dispid()));
}

platform::mapi::MAPIBuffer<SPropValue> CPropertyFormatter::readMAPIValue(const CElementSettings& settings,
                                                                         IFieldSource& source,
                                                                         std::initializer_list<ULONG> types) {
  const ULONG tag = settings.kind();
  if ((tag >> 16) == 0) return {};
  LPSPropValue raw = nullptr;
  if (!source.getMAPIProperty(tag, &raw)) {
    MAPIFreeBuffer(raw);
    return {};
  }
  platform::mapi::MAPIBuffer<SPropValue> value(raw);
  if (!value || std::find(types.begin(), types.end(), PROP_TYPE(value->ulPropTag)) == types.end()) return {};
  return value;
}
