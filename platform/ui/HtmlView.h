#pragma once
// The embedded HTML view of a dialog (the WebBrowser control's place): shows one document whose
// own script never runs and which loads nothing from outside its folder, reports when it is
// complete, zooms its text, hands its context menu and dialog keys to its owner and reads the
// HTML of what the user highlighted. Two faces: a WebKitGTK view for a screen, and a headless
// one over the off-screen document whose selection a test sets.
//
// A view belongs to the UI thread; its callbacks run there, from the loop (GTK face) or inside
// the call that causes them (headless face). Callbacks never outlive the view: destroying it
// drops whatever it still owed.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Export.h"
#include "platform/WinTypes.h"
#include "platform/html/HtmlDocument.h"

namespace platform::ui {

class QM_PLATFORM_API IHtmlView {
 public:
  // Screen coordinates of the pointer (or of the view's top-left corner for a keyboard request).
  using ContextMenuHandler = std::function<void(int screenX, int screenY)>;
  // Virtual-key code (VK_RETURN, VK_ESCAPE, VK_TAB, VK_F1); true when the owner took the key, so
  // the view does not act on it.
  using KeyHandler = std::function<bool(unsigned virtualKey)>;
  // ok false when the selection could not be read (reported); html empty when nothing is
  // highlighted.
  using SelectionHandler = std::function<void(bool ok, const std::string& utf8Html)>;

  virtual ~IHtmlView() = default;

  // Shows the document. Relative references resolve inside baseFolder; files outside it and
  // anything remote are refused. The document-complete handler runs once the document is shown.
  virtual void loadHtml(const std::string& utf8Html, const std::filesystem::path& baseFolder) = 0;
  virtual void setDocumentCompleteHandler(std::function<void()> handler) = 0;

  // Text size as a factor of the normal size (1.0); the layout of pictures stays.
  virtual void setZoom(double factor) = 0;
  virtual double zoom() const = 0;

  // Replaces the view's own context menu: the view shows none, the handler decides.
  virtual void setContextMenuHandler(ContextMenuHandler handler) = 0;
  virtual void setKeyHandler(KeyHandler handler) = 0;

  // The highlighted part of the document as HTML (the elements it spans, cut at its ends). The
  // handler runs later on the GTK face, before this returns on the headless one.
  virtual void selectionHtml(SelectionHandler handler) = 0;

  // The toolkit's widget (a GtkWidget* on the GTK face, owned by the view; the dialog places it in
  // its control's rectangle); null on the headless face.
  virtual void* nativeWidget() = 0;
};

// The headless face: the document is the off-screen document; nothing is drawn.
class QM_PLATFORM_API CHeadlessHtmlView final : public IHtmlView {
 public:
  CHeadlessHtmlView();
  ~CHeadlessHtmlView() override;

  void loadHtml(const std::string& utf8Html, const std::filesystem::path& baseFolder) override;
  void setDocumentCompleteHandler(std::function<void()> handler) override;
  void setZoom(double factor) override;
  double zoom() const override;
  void setContextMenuHandler(ContextMenuHandler handler) override;
  void setKeyHandler(KeyHandler handler) override;
  void selectionHtml(SelectionHandler handler) override;
  void* nativeWidget() override { return nullptr; }

  // What a test does in place of a user. selectText highlights from the start of the element
  // holding fromText to the end of the element holding toText (the innermost ones, toText
  // searched from fromText's element on); false, with nothing highlighted, when either is not
  // in the body. The selection reads as those elements and the ones between them.
  bool selectText(std::u16string_view fromText, std::u16string_view toText);
  void clearSelection();
  // A right click at a screen position; a key press: true when the owner took it.
  void rightClick(int screenX, int screenY);
  bool pressKey(unsigned virtualKey);

  const platform::html::CHtmlDocument& document() const;
  const std::filesystem::path& baseFolder() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

// The GTK face: a WebKitGTK view. Needs GTK initialised on this thread with a display; null
// (reported) otherwise.
QM_PLATFORM_API std::unique_ptr<IHtmlView> makeGtkHtmlView();
QM_PLATFORM_API std::unique_ptr<CHeadlessHtmlView> makeHeadlessHtmlView();

// The view of a WebBrowser control of a dialog ("Shell.Explorer.2" or its CLSID as the class), as
// the control's host would answer it; the window owns it. A CHeadlessHtmlView on the headless face;
// null when the window is no such control.
QM_PLATFORM_API IHtmlView* htmlViewOf(HWND control);

}  // namespace platform::ui
