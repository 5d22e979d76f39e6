#include "host/Ribbon.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstring>

#include "platform/com/Bstr.h"
#include "platform/com/ComError.h"
#include "platform/com/DispatchDriver.h"
#include "platform/com/Variant.h"
#include "platform/office/Ribbon.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Text.h"

namespace host {

namespace {

constexpr std::size_t kLongestDescription = 1 << 20;  // characters
constexpr std::size_t kMostControls = 1000;

std::string narrow(std::u16string_view text) { return platform::system::utf16ToUtf8(text); }

std::u16string attribute(xmlNode* node, const char* name) {
  xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
  if (!value) return {};
  std::u16string text = platform::system::utf8ToUtf16(reinterpret_cast<const char*>(value));
  xmlFree(value);
  return text;
}

bool named(xmlNode* node, const char* name) {
  return node->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

// "false" and "0" hide; anything else (or nothing) shows.
bool shownBy(xmlNode* node) {
  const std::u16string value = attribute(node, "visible");
  return value != u"false" && value != u"0";
}

bool officeNamespace(xmlNode* node) {
  if (!node->ns || !node->ns->href) return false;
  const char* href = reinterpret_cast<const char*>(node->ns->href);
  return std::strcmp(href, "http://schemas.microsoft.com/office/2006/01/customui") == 0 ||
         std::strcmp(href, "http://schemas.microsoft.com/office/2009/07/customui") == 0;
}

HRESULT callByName(IDispatch* object, const std::u16string& name, std::span<const VARIANT> args, VARIANT* result) {
  if (!object) return E_POINTER;
  return CComDispatchDriver(object).InvokeArgs(name.c_str(), DISPATCH_METHOD, args, result);
}

VARIANT objectArgument(IDispatch* object) {
  VARIANT v;
  v.vt = VT_DISPATCH;
  v.pdispVal = object;  // borrowed for the call
  return v;
}

CComVariant property(IDispatch* object, const char16_t* name) {
  CComVariant value;
  if (object) CComDispatchDriver(object).GetPropertyByName(name, &value);
  return value;
}

}  // namespace

bool parseCustomUI(std::u16string_view xml, CustomUI& out, std::string& error) {
  if (xml.size() > kLongestDescription) {
    error = "the description is longer than " + std::to_string(kLongestDescription) + " characters";
    return false;
  }
  const std::string bytes = narrow(xml);
  xmlDoc* document = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), "customUI.xml", "UTF-8",
                                   XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (!document) {
    const xmlError* last = xmlGetLastError();
    error = std::string("the description is not well-formed XML") +
            (last && last->message ? std::string(": line ") + std::to_string(last->line) + ": " + last->message : "");
    while (!error.empty() && (error.back() == '\n' || error.back() == ' ')) error.pop_back();
    return false;
  }
  xmlNode* root = xmlDocGetRootElement(document);
  if (!root || !named(root, "customUI") || !officeNamespace(root)) {
    xmlFreeDoc(document);
    error = "the root element is not Office's customUI";
    return false;
  }
  CustomUI ui;
  ui.onLoad = attribute(root, "onLoad");
  std::size_t controls = 0;
  for (xmlNode* part = root->children; part; part = part->next) {
    if (named(part, "commands")) {
      for (xmlNode* command = part->children; command; command = command->next)
        if (named(command, "command") && ++controls <= kMostControls)
          ui.commands[attribute(command, "idMso")] = attribute(command, "onAction");
    } else if (named(part, "ribbon")) {
      for (xmlNode* tabs = part->children; tabs; tabs = tabs->next) {
        if (!named(tabs, "tabs")) continue;
        for (xmlNode* tab = tabs->children; tab; tab = tab->next) {
          if (!named(tab, "tab") || ++controls > kMostControls) continue;
          RibbonTabUI shownTab{attribute(tab, "id"), attribute(tab, "label"), attribute(tab, "getLabel"),
                               attribute(tab, "getVisible"), shownBy(tab), {}};
          for (xmlNode* group = tab->children; group; group = group->next) {
            if (!named(group, "group") || ++controls > kMostControls) continue;
            RibbonGroupUI shownGroup{attribute(group, "id"), attribute(group, "label"), attribute(group, "getLabel"),
                                     attribute(group, "getVisible"), shownBy(group), {}};
            for (xmlNode* button = group->children; button; button = button->next) {
              if (!named(button, "button") || ++controls > kMostControls) continue;
              shownGroup.buttons.push_back({attribute(button, "id"), attribute(button, "tag"), attribute(button, "label"),
                                            attribute(button, "getLabel"), attribute(button, "imageMso"),
                                            attribute(button, "getImage"), attribute(button, "getVisible"),
                                            attribute(button, "onAction"), shownBy(button)});
            }
            shownTab.groups.push_back(std::move(shownGroup));
          }
          ui.tabs.push_back(std::move(shownTab));
        }
      }
    }
  }
  xmlFreeDoc(document);
  out = std::move(ui);
  return true;
}

std::u16string ribbonTypeOf(IDispatch* window, bool explorer) {
  if (explorer) return u"Microsoft.Outlook.Explorer";
  const CComVariant item = property(window, u"CurrentItem");
  IDispatch* object = item.vt == VT_DISPATCH ? item.pdispVal : nullptr;
  const CComVariant classValue = property(object, u"MessageClass");
  std::u16string messageClass = classValue.vt == VT_BSTR && classValue.bstrVal ? classValue.bstrVal : u"";
  for (char16_t& c : messageClass)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  const auto is = [&](std::u16string_view prefix) {
    return messageClass == prefix || messageClass.rfind(std::u16string(prefix) + u".", 0) == 0;
  };
  if (is(u"IPM.APPOINTMENT")) return u"Microsoft.Outlook.Appointment";
  if (is(u"IPM.SCHEDULE.MEETING.REQUEST")) return u"Microsoft.Outlook.MeetingRequest.Read";
  if (is(u"IPM.SCHEDULE.MEETING")) return u"Microsoft.Outlook.Response.Read";
  if (is(u"IPM.CONTACT")) return u"Microsoft.Outlook.Contact";
  if (is(u"IPM.DISTLIST")) return u"Microsoft.Outlook.DistributionList";
  if (is(u"IPM.TASK")) return u"Microsoft.Outlook.Task";
  if (is(u"IPM.POST")) return u"Microsoft.Outlook.Post.Read";
  const CComVariant sent = property(object, u"Sent");
  const bool wasSent = sent.vt == VT_BOOL ? sent.boolVal != VARIANT_FALSE : true;
  return wasSent ? u"Microsoft.Outlook.Mail.Read" : u"Microsoft.Outlook.Mail.Compose";
}

CRibbonHost::~CRibbonHost() { clear(); }

void CRibbonHost::addAddIn(IUnknown* addIn) {
  if (!addIn) return;
  AddIn entry;
  if (FAILED(addIn->QueryInterface(IID_IRibbonExtensibility, reinterpret_cast<void**>(&entry.extensibility.p))) ||
      !entry.extensibility)
    return;
  addIn->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&entry.callbacks.p));
  m_addIns.push_back(std::move(entry));
}

void CRibbonHost::clear() {
  std::vector<AddIn> addIns = std::move(m_addIns);
  m_addIns.clear();
  for (AddIn& addIn : addIns)
    for (auto& [type, loaded] : addIn.ribbons)
      if (loaded->ribbonUI) platform::office::detachRibbonUI(loaded->ribbonUI);
}

CRibbonHost::Loaded* CRibbonHost::load(AddIn& addIn, const std::u16string& type) {
  if (const auto found = addIn.ribbons.find(type); found != addIn.ribbons.end()) return found->second.get();
  // Recorded first: a description that fails is not asked for again, as in Office.
  Loaded& loaded = *(addIn.ribbons[type] = std::make_unique<Loaded>());
  BSTR xml = nullptr;
  const CComBSTR ribbonId(type.c_str());
  const HRESULT hr = addIn.extensibility->GetCustomUI(ribbonId, &xml);
  const std::u16string description = xml ? std::u16string(xml, SysStringLen(xml)) : std::u16string();
  SysFreeString(xml);
  if (FAILED(hr)) {
    platform::diag::error("Ribbon", "GetCustomUI(" + narrow(type) + ") failed: " + narrow(_com_error(hr).ErrorMessage()));
    return &loaded;
  }
  if (description.empty()) return &loaded;  // no ribbon for that type
  std::string why;
  if (!parseCustomUI(description, loaded.ui, why)) {
    platform::diag::error("Ribbon", "the add-in's ribbon for " + narrow(type) + " is not shown: " + why);
    return &loaded;
  }
  loaded.ribbonUI = platform::office::makeRibbonUI(
      [this, type] {
        if (m_invalidated) m_invalidated(type);
      },
      [this, type](const std::u16string&) {
        if (m_invalidated) m_invalidated(type);
      });
  if (!loaded.ui.onLoad.empty()) {
    const VARIANT argument = objectArgument(loaded.ribbonUI);
    CComVariant ignored;
    if (const HRESULT called = callByName(addIn.callbacks, loaded.ui.onLoad, {&argument, 1}, &ignored); FAILED(called))
      platform::diag::error("Ribbon", "the add-in's " + narrow(loaded.ui.onLoad) + " failed: " +
                                          narrow(_com_error(called).ErrorMessage()));
  }
  return &loaded;
}

std::u16string CRibbonHost::text(AddIn& addIn, const std::u16string& callback, const std::u16string& fixed,
                                 const std::u16string& id, const std::u16string& tag, IDispatch* window) {
  if (callback.empty()) return fixed;
  const CComPtr<IRibbonControl> control = platform::office::makeRibbonControl(id, tag, window);
  const VARIANT argument = objectArgument(control);
  CComVariant result;
  if (FAILED(callByName(addIn.callbacks, callback, {&argument, 1}, &result)) || FAILED(result.ChangeType(VT_BSTR)) ||
      !result.bstrVal) {
    platform::diag::error("Ribbon", "the add-in's " + narrow(callback) + " gave no text");
    return fixed;
  }
  return result.bstrVal;
}

bool CRibbonHost::visible(AddIn& addIn, const std::u16string& callback, bool fixed, const std::u16string& id,
                          const std::u16string& tag, IDispatch* window) {
  if (callback.empty()) return fixed;
  const CComPtr<IRibbonControl> control = platform::office::makeRibbonControl(id, tag, window);
  const VARIANT argument = objectArgument(control);
  CComVariant result;
  if (FAILED(callByName(addIn.callbacks, callback, {&argument, 1}, &result)) || FAILED(result.ChangeType(VT_BOOL))) {
    platform::diag::error("Ribbon", "the add-in's " + narrow(callback) + " gave no answer");
    return fixed;
  }
  return result.boolVal != VARIANT_FALSE;
}

std::vector<ShownTab> CRibbonHost::show(const std::u16string& type, IDispatch* window) {
  std::vector<ShownTab> shown;
  for (std::size_t index = 0; index < m_addIns.size(); ++index) {
    AddIn& addIn = m_addIns[index];
    const Loaded* loaded = load(addIn, type);
    // A callback may have run the loop and let the add-ins go.
    if (index >= m_addIns.size() || &m_addIns[index] != &addIn) break;
    const CustomUI ui = loaded->ui;
    for (const RibbonTabUI& tab : ui.tabs) {
      if (!visible(addIn, tab.getVisible, tab.visible, tab.id, {}, window)) continue;
      ShownTab shownTab{text(addIn, tab.getLabel, tab.label, tab.id, {}, window), {}};
      for (const RibbonGroupUI& group : tab.groups) {
        if (!visible(addIn, group.getVisible, group.visible, group.id, {}, window)) continue;
        ShownGroup shownGroup{text(addIn, group.getLabel, group.label, group.id, {}, window), {}};
        for (const RibbonButtonUI& button : group.buttons) {
          if (!visible(addIn, button.getVisible, button.visible, button.id, button.tag, window)) continue;
          shownGroup.buttons.push_back({index, button.id, button.tag,
                                        text(addIn, button.getLabel, button.label, button.id, button.tag, window),
                                        text(addIn, button.getImage, button.imageMso, button.id, button.tag, window),
                                        button.onAction});
        }
        shownTab.groups.push_back(std::move(shownGroup));
      }
      shown.push_back(std::move(shownTab));
    }
  }
  return shown;
}

bool CRibbonHost::click(const ShownButton& button, IDispatch* window) {
  if (button.addIn >= m_addIns.size() || button.onAction.empty()) return false;
  const CComPtr<IDispatch> callbacks = m_addIns[button.addIn].callbacks;
  const CComPtr<IRibbonControl> control = platform::office::makeRibbonControl(button.id, button.tag, window);
  const VARIANT argument = objectArgument(control);
  CComVariant ignored;
  const HRESULT hr = callByName(callbacks, button.onAction, {&argument, 1}, &ignored);
  if (FAILED(hr)) {
    platform::diag::error("Ribbon", "the add-in's " + narrow(button.onAction) + " failed: " +
                                        narrow(_com_error(hr).ErrorMessage()));
    return false;
  }
  return true;
}

bool CRibbonHost::runCommand(const std::u16string& type, const std::u16string& idMso, IDispatch* window) {
  for (std::size_t index = 0; index < m_addIns.size(); ++index) {
    AddIn& addIn = m_addIns[index];
    const Loaded* loaded = load(addIn, type);
    const auto found = loaded->ui.commands.find(idMso);
    if (found == loaded->ui.commands.end() || found->second.empty()) continue;
    const std::u16string onAction = found->second;
    const CComPtr<IDispatch> callbacks = addIn.callbacks;
    const CComPtr<IRibbonControl> control = platform::office::makeRibbonControl(idMso, {}, window);
    CComVariant cancelled(true);
    VARIANT arguments[2] = {objectArgument(control), {}};
    arguments[1].vt = VT_BYREF | VT_VARIANT;
    arguments[1].pvarVal = &cancelled;
    CComVariant ignored;
    const HRESULT hr = callByName(callbacks, onAction, arguments, &ignored);
    if (FAILED(hr)) {
      platform::diag::error("Ribbon", "the add-in's " + narrow(onAction) + " failed: " + narrow(_com_error(hr).ErrorMessage()));
      continue;
    }
    if (cancelled.vt == VT_BOOL && cancelled.boolVal != VARIANT_FALSE) return true;
  }
  return false;
}

}  // namespace host
