#pragma once
// Office's ribbon host for the stand-in's windows: each connected add-in that answers
// IRibbonExtensibility is asked once per ribbon type for its customUI description, which is read
// with libxml2; its onLoad callback gets an IRibbonUI whose Invalidate makes the windows of that
// type ask the add-in's get... callbacks again. Callbacks are called by name through the add-in's
// IDispatch (GetIDsOfNames, then Invoke) with an IRibbonControl whose Context is the window.
// All on the thread of the windows.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/com/Dispatch.h"
#include "platform/office/RibbonUI.h"

namespace host {

// What a customUI description holds that the host draws or runs.
struct RibbonButtonUI {
  std::u16string id, tag, label, getLabel, imageMso, getImage, getVisible, onAction;
  bool visible = true;
};
struct RibbonGroupUI {
  std::u16string id, label, getLabel, getVisible;
  bool visible = true;
  std::vector<RibbonButtonUI> buttons;
};
struct RibbonTabUI {
  std::u16string id, label, getLabel, getVisible;
  bool visible = true;
  std::vector<RibbonGroupUI> groups;
};
struct CustomUI {
  std::u16string onLoad;
  std::map<std::u16string, std::u16string> commands;  // idMso -> onAction
  std::vector<RibbonTabUI> tabs;
};

// Reads a customUI description (Office's 2006/01 or 2009/07 namespace). False, with the reason in
// error, for text that is not well-formed XML or whose root is not customUI. Entities and DTDs are
// never loaded, nothing is fetched.
bool parseCustomUI(std::u16string_view xml, CustomUI& out, std::string& error);

// A window's ribbon as it is shown now: every state answered by the add-ins' callbacks.
struct ShownButton {
  std::size_t addIn = 0;
  std::u16string id, tag, label, imageMso, onAction;
};
struct ShownGroup {
  std::u16string label;
  std::vector<ShownButton> buttons;
};
struct ShownTab {
  std::u16string label;
  std::vector<ShownGroup> groups;
};

// The ribbon type of a window: "Microsoft.Outlook.Explorer", or an inspector's by its item.
std::u16string ribbonTypeOf(IDispatch* window, bool explorer);

class CRibbonHost {
 public:
  CRibbonHost() = default;
  CRibbonHost(const CRibbonHost&) = delete;
  CRibbonHost& operator=(const CRibbonHost&) = delete;
  ~CRibbonHost();

  // An add-in object connected by the host; one without IRibbonExtensibility has no ribbon.
  void addAddIn(IUnknown* addIn);
  // Lets the add-ins go (before they are disconnected); the IRibbonUI objects they kept stop
  // reaching the windows.
  void clear();
  // Runs with the ribbon type an add-in invalidated, inside the add-in's call.
  void setInvalidated(std::function<void(const std::u16string& type)> invalidated) { m_invalidated = std::move(invalidated); }

  // The add-ins' visible tabs for a window of that type, its ribbon loaded first when it is not.
  std::vector<ShownTab> show(const std::u16string& type, IDispatch* window);
  // A click on a shown button: its onAction. False (reported) when the call failed.
  bool click(const ShownButton& button, IDispatch* window);
  // One of Outlook's own commands (idMso): each add-in that took it over is asked with Cancelled
  // starting true; true when one left it true (Outlook's command does not run then).
  bool runCommand(const std::u16string& type, const std::u16string& idMso, IDispatch* window);

 private:
  struct Loaded {
    CustomUI ui;
    CComPtr<IRibbonUI> ribbonUI;
  };
  struct AddIn {
    CComPtr<IRibbonExtensibility> extensibility;
    CComPtr<IDispatch> callbacks;
    std::map<std::u16string, std::unique_ptr<Loaded>> ribbons;  // by type
  };
  Loaded* load(AddIn& addIn, const std::u16string& type);
  std::u16string text(AddIn& addIn, const std::u16string& callback, const std::u16string& fixed,
                      const std::u16string& id, const std::u16string& tag, IDispatch* window);
  bool visible(AddIn& addIn, const std::u16string& callback, bool fixed, const std::u16string& id,
               const std::u16string& tag, IDispatch* window);

  std::vector<AddIn> m_addIns;
  std::function<void(const std::u16string&)> m_invalidated;
};

}  // namespace host
