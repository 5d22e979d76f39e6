#pragma once
// The print preview: a window that shows the pages of a job's PDF with the preview toolbar
// (print, attachments, page setup, page moves, zoom, frameset layout, close) and its keys.

#include <functional>
#include <memory>
#include <string>

#include "platform/Export.h"
#include "platform/WinTypes.h"

namespace platform::ui {

// What the toolbar asks of its caller. Each runs on the UI thread from inside the window's modal
// loop and may open windows of its own; an exception it throws is reported, never passed on.
struct PreviewCallbacks {
  std::function<void()> onPrint;
  std::function<void()> onAttachments;
  // The caller shows its page setup and, when the pages change, lays them out and calls reload().
  std::function<void()> onPageSetup;
  // The window is closing (Close, Escape, the window's own close button or close()); comes once.
  std::function<void()> onClose;
  // A choice in the frameset layout list: 0 as laid out on screen, 1 only the selected frame,
  // 2 all frames individually.
  std::function<void(int layout)> onFrameLayout;
};

struct PreviewOptions {
  HINSTANCE resources = nullptr;  // the module whose "HTML" resources hold the toolbar images
  std::string title = "Print Preview";
  bool hasAttachments = false;    // enables the attachments button
  bool frameset = false;          // shows the frameset layout list
};

// How the zoom list sizes the pages: a percentage, or fitted to the view.
enum class PreviewFit { kPercent, kPageWidth, kWholePage, kTwoPages };

// One preview window. Made and used on the UI thread; needs a display (see available()).
class QM_PLATFORM_API CPreviewWindow {
 public:
  CPreviewWindow(PreviewOptions options, PreviewCallbacks callbacks);
  ~CPreviewWindow();
  CPreviewWindow(const CPreviewWindow&) = delete;
  CPreviewWindow& operator=(const CPreviewWindow&) = delete;

  // Whether GTK can open windows here (a display is there). The other calls do nothing without.
  static bool available();

  // Loads the pages of a PDF; false (reported, the pages shown before stay) when it cannot be
  // read. reload() keeps the zoom and the page, moved back to the last page when there are fewer.
  bool load(const std::string& pdfPath);
  bool reload(const std::string& pdfPath);

  // Shows the window without waiting.
  void show();
  // Shows the window and runs a nested loop until it closes.
  void runModal();
  // Closes the window (onClose comes) and ends runModal().
  void close();
  bool isOpen() const;

  int pageCount() const;
  int currentPage() const;  // from 1; 0 without pages
  void goToPage(int page);  // clamped to the pages there are
  // The percentage the pages are drawn at (fitted modes answer the size they give).
  int zoomPercent() const;
  PreviewFit fit() const;
  void setZoomPercent(int percent);
  void setFit(PreviewFit fit);
  void setHasAttachments(bool hasAttachments);

  // The GtkWindow, for tests that find its widgets by name and drive it with real input.
  void* nativeWindow() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace platform::ui
