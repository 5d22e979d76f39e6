#include "platform/ui/PreviewWindow.h"

#include <gtk/gtk.h>
#include <poppler.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <map>
#include <string>

#include "platform/loop/MessageLoop.h"
#include "platform/resources/Resources.h"
#include "platform/system/Diagnostics.h"
#include "platform/ui/detail/GtkModal.h"
#include "platform/ui/detail/GtkScreen.h"

namespace platform::ui {

namespace {

constexpr const char* kWhere = "PreviewWindow";
constexpr const char* kMakerSite = "https://www.corvessa.com/";

// The zoom list, top to bottom; the first eight are percentages.
constexpr std::array<int, 8> kZoomSteps{500, 200, 150, 100, 75, 50, 25, 10};
constexpr std::array<const char*, 3> kFitNames{"Page Width", "Whole Page", "Two Pages"};
constexpr std::array<const char*, 3> kFrameLayouts{"As laid out on screen", "Only the selected frame",
                                                   "All frames individually"};
constexpr int kDefaultZoom = 75;

constexpr double kPixelsPerPoint = 96.0 / 72.0;
constexpr int kGap = 16;  // around and between pages, in pixels

// A toolbar button and its three images: plain, under the mouse, disabled.
struct ToolButton {
  GtkWidget* button = nullptr;
  GtkWidget* image = nullptr;
  GdkPixbuf* plain = nullptr;
  GdkPixbuf* hilite = nullptr;
  GdkPixbuf* inactive = nullptr;
};

enum Tool { kPrint, kAttachments, kPageSetup, kFirst, kPrevious, kNext, kLast, kZoomOut, kZoomIn, kClose,
            kProduct, kToolCount };

}  // namespace

struct CPreviewWindow::Impl {
  PreviewOptions options;
  PreviewCallbacks callbacks;
  bool gtk = false;

  GtkWidget* window = nullptr;
  GtkWidget* scroller = nullptr;
  GtkWidget* area = nullptr;
  GtkWidget* pageEntry = nullptr;
  GtkWidget* pageCountLabel = nullptr;
  GtkWidget* zoomList = nullptr;
  GtkWidget* frameList = nullptr;
  std::array<ToolButton, kToolCount> tools{};
  std::map<std::string, GdkPixbuf*> images;

  PopplerDocument* document = nullptr;
  int page = 0;  // from 0
  PreviewFit fit = PreviewFit::kPercent;
  double percent = kDefaultZoom;
  bool open = false;
  bool updatingZoomList = false;
  platform::loop::CModalLoop loop;

  ~Impl() {
    if (window) gtk_widget_destroy(window);
    if (document) g_object_unref(document);
    for (auto& [name, pixbuf] : images) {
      if (pixbuf) g_object_unref(pixbuf);
    }
  }

  // ---- images ----

  GdkPixbuf* image(const char* name) {
    const auto found = images.find(name);
    if (found != images.end()) return found->second;
    GdkPixbuf* pixbuf = nullptr;
    const std::u16string wide(name, name + std::char_traits<char>::length(name));
    const auto bytes = platform::resources::findResource(options.resources, wide.c_str(), u"HTML");
    if (bytes.empty()) {
      platform::diag::error(kWhere, std::string("toolbar image ") + name + " is missing");
    } else {
      GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
      GError* error = nullptr;
      if (gdk_pixbuf_loader_write(loader, bytes.data(), bytes.size(), &error) &&
          gdk_pixbuf_loader_close(loader, &error)) {
        pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
        if (pixbuf) g_object_ref(pixbuf);
      } else {
        platform::diag::error(kWhere, std::string("toolbar image ") + name + " cannot be read: " +
                                          (error ? error->message : "unknown format"));
        gdk_pixbuf_loader_close(loader, nullptr);
      }
      if (error) g_error_free(error);
      g_object_unref(loader);
    }
    images.emplace(name, pixbuf);
    return pixbuf;
  }

  static void refreshImage(ToolButton& tool) {
    if (!tool.image) return;
    const GtkStateFlags flags = gtk_widget_get_state_flags(tool.button);
    GdkPixbuf* shown = tool.plain;
    if ((flags & GTK_STATE_FLAG_INSENSITIVE) && tool.inactive) {
      shown = tool.inactive;
    } else if ((flags & GTK_STATE_FLAG_PRELIGHT) && tool.hilite) {
      shown = tool.hilite;
    }
    if (gtk_image_get_pixbuf(GTK_IMAGE(tool.image)) != shown) gtk_image_set_from_pixbuf(GTK_IMAGE(tool.image), shown);
  }

  // ---- building the window ----

  GtkWidget* addTool(GtkWidget* bar, Tool which, const char* name, const char* label, const char* tooltip,
                     const char* plain, const char* hilite, const char* inactive, void (*onClick)(Impl&)) {
    ToolButton& tool = tools[which];
    tool.button = label ? gtk_button_new_with_mnemonic(label) : gtk_button_new();
    gtk_widget_set_name(tool.button, name);
    gtk_button_set_relief(GTK_BUTTON(tool.button), GTK_RELIEF_NONE);
    gtk_widget_set_focus_on_click(tool.button, FALSE);
    if (tooltip) gtk_widget_set_tooltip_text(tool.button, tooltip);
    if (plain) {
      tool.plain = image(plain);
      tool.hilite = hilite ? image(hilite) : nullptr;
      tool.inactive = inactive ? image(inactive) : nullptr;
      tool.image = gtk_image_new_from_pixbuf(tool.plain);
      gtk_button_set_image(GTK_BUTTON(tool.button), tool.image);
      gtk_button_set_always_show_image(GTK_BUTTON(tool.button), TRUE);
      g_signal_connect(tool.button, "state-flags-changed", G_CALLBACK(+[](GtkWidget*, GtkStateFlags, gpointer data) {
                         refreshImage(*static_cast<ToolButton*>(data));
                       }),
                       &tool);
    }
    g_object_set_data(G_OBJECT(tool.button), "qm-click", reinterpret_cast<gpointer>(onClick));
    g_signal_connect(tool.button, "clicked", G_CALLBACK(+[](GtkButton* button, gpointer data) {
                       auto click = reinterpret_cast<void (*)(Impl&)>(g_object_get_data(G_OBJECT(button), "qm-click"));
                       platform::diag::guarded("PreviewWindow toolbar", [&] { click(*static_cast<Impl*>(data)); });
                     }),
                     this);
    gtk_box_pack_start(GTK_BOX(bar), tool.button, FALSE, FALSE, 0);
    return tool.button;
  }

  void build() {
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), options.title.c_str());
    gtk_window_set_modal(GTK_WINDOW(window), TRUE);
    // The size it is made for, as far as the screen's work area holds it with the window's frame;
    // once shown, the frame is known and the window is fitted exactly.
    constexpr int kFrameAllowance = 40;
    const GdkRectangle work = detail::workAreaOf(nullptr);
    gtk_window_set_default_size(GTK_WINDOW(window), std::max(200, std::min(860, work.width - kFrameAllowance)),
                                std::max(200, std::min(920, work.height - kFrameAllowance)));
    gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
    detail::keepOnWorkArea(GTK_WINDOW(window));
    g_signal_connect(window, "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer data) -> gboolean {
                       platform::diag::guarded("PreviewWindow close", [&] { static_cast<Impl*>(data)->closeWindow(); });
                       return TRUE;  // the window stays until its owner goes
                     }),
                     this);
    auto onKey = +[](GtkWidget*, GdkEventKey* event, gpointer data) -> gboolean {
      return platform::diag::guarded("PreviewWindow key", FALSE, [&] { return static_cast<Impl*>(data)->key(event); });
    };
    g_signal_connect(window, "key-press-event", G_CALLBACK(onKey), this);

    GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_container_add(GTK_CONTAINER(window), column);
    GtkWidget* bar = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 2);
    gtk_container_set_border_width(GTK_CONTAINER(bar), 2);
    gtk_box_pack_start(GTK_BOX(column), bar, FALSE, FALSE, 0);

    addTool(bar, kPrint, "print", "_Print", "Print Document (Alt+P)", "QMARK.GIF", nullptr, nullptr,
            [](Impl& self) { self.print(); });
    addTool(bar, kAttachments, "attachments", nullptr, "Print File Attachments (Alt+A)", "ATTACHMENTS.GIF",
            "ATTACHMENTS_HILITE.GIF", "ATTACHMENTS_INACTIVE.GIF", [](Impl& self) { self.attachments(); });
    addTool(bar, kPageSetup, "pageSetup", "Page Set_up", "Page Setup (Alt+U)", "PRINTCTL.GIF", "PRINTCTL_HILITE.GIF",
            nullptr, [](Impl& self) { self.pageSetup(); });
    gtk_box_pack_start(GTK_BOX(bar), gtk_separator_new(GTK_ORIENTATION_VERTICAL), FALSE, FALSE, 4);
    addTool(bar, kFirst, "first", nullptr, "First Page (Alt+Home)", "BEGIN.GIF", "BEGIN_HILITE.GIF",
            "BEGIN_INACTIVE.GIF", [](Impl& self) { self.goTo(0); });
    addTool(bar, kPrevious, "previous", nullptr, "Previous Page (Alt+Left)", "PREV.GIF", "PREV_HILITE.GIF",
            "PREV_INACTIVE.GIF", [](Impl& self) { self.goTo(self.page - 1); });

    gtk_box_pack_start(GTK_BOX(bar), gtk_label_new("Page"), FALSE, FALSE, 2);
    pageEntry = gtk_entry_new();
    gtk_widget_set_name(pageEntry, "pageNumber");
    gtk_entry_set_width_chars(GTK_ENTRY(pageEntry), 4);
    gtk_entry_set_alignment(GTK_ENTRY(pageEntry), 1.0f);
    g_signal_connect(pageEntry, "activate", G_CALLBACK(+[](GtkEntry* entry, gpointer data) {
                       platform::diag::guarded("PreviewWindow page box", [&] {
                         auto& self = *static_cast<Impl*>(data);
                         const char* text = gtk_entry_get_text(entry);
                         char* end = nullptr;
                         const long wanted = std::strtol(text, &end, 10);
                         if (end != text) self.goTo(static_cast<int>(std::clamp(wanted, 1L, 1000000L)) - 1);
                         self.refresh();
                       });
                     }),
                     this);
    gtk_box_pack_start(GTK_BOX(bar), pageEntry, FALSE, FALSE, 2);
    gtk_box_pack_start(GTK_BOX(bar), gtk_label_new("of"), FALSE, FALSE, 2);
    pageCountLabel = gtk_label_new("0");
    gtk_widget_set_name(pageCountLabel, "pageCount");
    gtk_box_pack_start(GTK_BOX(bar), pageCountLabel, FALSE, FALSE, 2);

    addTool(bar, kNext, "next", nullptr, "Next Page (Alt+Right)", "NEXT.GIF", "NEXT_HILITE.GIF", "NEXT_INACTIVE.GIF",
            [](Impl& self) { self.goTo(self.page + 1); });
    addTool(bar, kLast, "last", nullptr, "Last Page (Alt+End)", "END.GIF", "END_HILITE.GIF", "END_INACTIVE.GIF",
            [](Impl& self) { self.goTo(self.pageCount() - 1); });
    gtk_box_pack_start(GTK_BOX(bar), gtk_separator_new(GTK_ORIENTATION_VERTICAL), FALSE, FALSE, 4);
    addTool(bar, kZoomOut, "zoomOut", nullptr, "Zoom Out (Alt+Minus)", "ZOOMOUT.GIF", "ZOOMOUT_HILITE.GIF",
            "ZOOM_INACTIVE.GIF", [](Impl& self) { self.zoomStep(-1); });
    addTool(bar, kZoomIn, "zoomIn", nullptr, "Zoom In (Alt+Plus)", "ZOOMIN.GIF", "ZOOMIN_HILITE.GIF",
            "ZOOM_INACTIVE.GIF", [](Impl& self) { self.zoomStep(+1); });

    zoomList = gtk_combo_box_text_new();
    gtk_widget_set_name(zoomList, "zoomList");
    for (const int step : kZoomSteps) {
      gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(zoomList), (std::to_string(step) + "%").c_str());
    }
    for (const char* name : kFitNames) gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(zoomList), name);
    g_signal_connect(zoomList, "changed", G_CALLBACK(+[](GtkComboBox* list, gpointer data) {
                       platform::diag::guarded("PreviewWindow zoom list", [&] {
                         static_cast<Impl*>(data)->zoomChosen(gtk_combo_box_get_active(list));
                       });
                     }),
                     this);
    gtk_box_pack_start(GTK_BOX(bar), zoomList, FALSE, FALSE, 2);

    frameList = gtk_combo_box_text_new();
    gtk_widget_set_name(frameList, "frameLayout");
    for (const char* name : kFrameLayouts) gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(frameList), name);
    gtk_combo_box_set_active(GTK_COMBO_BOX(frameList), 0);
    g_signal_connect(frameList, "changed", G_CALLBACK(+[](GtkComboBox* list, gpointer data) {
                       platform::diag::guarded("PreviewWindow frame layout", [&] {
                         auto& self = *static_cast<Impl*>(data);
                         if (self.callbacks.onFrameLayout) self.callbacks.onFrameLayout(gtk_combo_box_get_active(list));
                       });
                     }),
                     this);
    gtk_box_pack_start(GTK_BOX(bar), frameList, FALSE, FALSE, 2);
    gtk_widget_set_no_show_all(frameList, !options.frameset);

    addTool(bar, kClose, "close", "_Close", "Close Print Preview (Alt+C)", nullptr, nullptr, nullptr,
            [](Impl& self) { self.closeWindow(); });
    GtkWidget* product = addTool(bar, kProduct, "product", nullptr, kMakerSite, "QUILLMARK_SMALL.BMP", nullptr,
                                 nullptr, [](Impl& self) { self.openMakerSite(); });
    gtk_container_child_set(GTK_CONTAINER(bar), product, "pack-type", GTK_PACK_END, nullptr);

    scroller = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_box_pack_start(GTK_BOX(column), scroller, TRUE, TRUE, 0);
    area = gtk_drawing_area_new();
    gtk_widget_set_name(area, "pages");
    gtk_container_add(GTK_CONTAINER(scroller), area);
    g_signal_connect(area, "draw", G_CALLBACK(+[](GtkWidget* widget, cairo_t* cr, gpointer data) -> gboolean {
                       platform::diag::guarded("PreviewWindow draw",
                                               [&] { static_cast<Impl*>(data)->draw(widget, cr); });
                       return TRUE;
                     }),
                     this);
    g_signal_connect(scroller, "size-allocate", G_CALLBACK(+[](GtkWidget*, GdkRectangle*, gpointer data) {
                       auto& self = *static_cast<Impl*>(data);
                       if (self.fit != PreviewFit::kPercent) self.resizeArea();
                     }),
                     this);

    gtk_widget_show_all(column);
    refresh();
  }

  // ---- pages and zoom ----

  int pageCount() const { return document ? poppler_document_get_n_pages(document) : 0; }

  // The size of a page at 100 %, in pixels.
  std::pair<double, double> pageSize(int index) const {
    double width = 612, height = 792;
    if (document && index >= 0 && index < pageCount()) {
      PopplerPage* shown = poppler_document_get_page(document, index);
      poppler_page_get_size(shown, &width, &height);
      g_object_unref(shown);
    }
    return {width * kPixelsPerPoint, height * kPixelsPerPoint};
  }

  int pagesShown() const { return fit == PreviewFit::kTwoPages && page + 1 < pageCount() ? 2 : 1; }

  // The scale the pages are drawn at, 1 for 100 %.
  double scale() const {
    if (fit == PreviewFit::kPercent || !scroller) return percent / 100.0;
    const double viewWidth = std::max(1, gtk_widget_get_allocated_width(scroller) - 2 * kGap - 20);
    const double viewHeight = std::max(1, gtk_widget_get_allocated_height(scroller) - 2 * kGap);
    const auto [width, height] = pageSize(page);
    double fitted = viewWidth / width;
    if (fit == PreviewFit::kWholePage) fitted = std::min(fitted, viewHeight / height);
    if (fit == PreviewFit::kTwoPages) fitted = std::min((viewWidth - kGap) / (2 * width), viewHeight / height);
    return std::clamp(fitted, kZoomSteps.back() / 100.0, kZoomSteps.front() / 100.0);
  }

  void resizeArea() {
    if (!area) return;
    const double s = scale();
    int width = kGap, height = 0;
    for (int i = 0; i < pagesShown(); ++i) {
      const auto [w, h] = pageSize(page + i);
      width += static_cast<int>(std::ceil(w * s)) + kGap;
      height = std::max(height, static_cast<int>(std::ceil(h * s)));
    }
    int oldWidth = 0, oldHeight = 0;
    gtk_widget_get_size_request(area, &oldWidth, &oldHeight);
    // A fitted size is asked for from the view's own allocation; asking again only on a change ends the round.
    if (oldWidth != width || oldHeight != height + 2 * kGap) {
      gtk_widget_set_size_request(area, width, height + 2 * kGap);
    }
    gtk_widget_queue_draw(area);
  }

  void draw(GtkWidget* widget, cairo_t* cr) {
    cairo_set_source_rgb(cr, 0.5, 0.5, 0.5);
    cairo_paint(cr);
    if (!document || pageCount() == 0) return;
    const double s = scale();
    double contentWidth = kGap;
    for (int i = 0; i < pagesShown(); ++i) contentWidth += std::ceil(pageSize(page + i).first * s) + kGap;
    double x = std::max(0.0, (gtk_widget_get_allocated_width(widget) - contentWidth) / 2) + kGap;
    for (int i = 0; i < pagesShown(); ++i) {
      const auto [w, h] = pageSize(page + i);
      const double width = std::ceil(w * s), height = std::ceil(h * s);
      cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
      cairo_rectangle(cr, x + 4, kGap + 4, width, height);
      cairo_fill(cr);
      cairo_set_source_rgb(cr, 1, 1, 1);
      cairo_rectangle(cr, x, kGap, width, height);
      cairo_fill(cr);
      cairo_save(cr);
      cairo_translate(cr, x, kGap);
      cairo_scale(cr, s * kPixelsPerPoint, s * kPixelsPerPoint);
      PopplerPage* shown = poppler_document_get_page(document, page + i);
      poppler_page_render(shown, cr);
      g_object_unref(shown);
      cairo_restore(cr);
      x += width + kGap;
    }
  }

  int zoomPercent() const { return static_cast<int>(std::lround(scale() * 100)); }

  void goTo(int index) {
    page = std::clamp(index, 0, std::max(0, pageCount() - 1));
    refresh();
  }

  // One step along the zoom list's percentages from the size shown now.
  void zoomStep(int direction) {
    const int now = zoomPercent();
    int next = now;
    if (direction > 0) {
      for (auto step = kZoomSteps.rbegin(); step != kZoomSteps.rend(); ++step) {
        if (*step > now) { next = *step; break; }
      }
    } else {
      for (const int step : kZoomSteps) {
        if (step < now) { next = step; break; }
      }
    }
    fit = PreviewFit::kPercent;
    percent = next;
    refresh();
  }

  void zoomChosen(int index) {
    if (updatingZoomList || index < 0) return;
    if (index < static_cast<int>(kZoomSteps.size())) {
      fit = PreviewFit::kPercent;
      percent = kZoomSteps[index];
    } else {
      fit = static_cast<PreviewFit>(index - kZoomSteps.size() + 1);
    }
    refresh();
  }

  // Brings the toolbar and the pages in line with the page and zoom.
  void refresh() {
    if (!window) return;
    const int count = pageCount();
    gtk_entry_set_text(GTK_ENTRY(pageEntry), count ? std::to_string(page + 1).c_str() : "0");
    gtk_label_set_text(GTK_LABEL(pageCountLabel), std::to_string(count).c_str());
    gtk_widget_set_sensitive(tools[kFirst].button, page > 0);
    gtk_widget_set_sensitive(tools[kPrevious].button, page > 0);
    gtk_widget_set_sensitive(tools[kNext].button, page + 1 < count);
    gtk_widget_set_sensitive(tools[kLast].button, page + 1 < count);
    const int zoom = zoomPercent();
    gtk_widget_set_sensitive(tools[kZoomIn].button, zoom < kZoomSteps.front());
    gtk_widget_set_sensitive(tools[kZoomOut].button, zoom > kZoomSteps.back());
    gtk_widget_set_sensitive(tools[kAttachments].button, options.hasAttachments);
    for (auto& tool : tools) refreshImage(tool);

    int active = -1;
    if (fit == PreviewFit::kPercent) {
      const auto found = std::find(kZoomSteps.begin(), kZoomSteps.end(), static_cast<int>(percent));
      if (found != kZoomSteps.end()) active = static_cast<int>(found - kZoomSteps.begin());
    } else {
      active = static_cast<int>(kZoomSteps.size()) + static_cast<int>(fit) - 1;
    }
    updatingZoomList = true;
    gtk_combo_box_set_active(GTK_COMBO_BOX(zoomList), active);
    updatingZoomList = false;
    resizeArea();
  }

  // ---- actions ----

  void print() {
    if (callbacks.onPrint) callbacks.onPrint();
  }

  void attachments() {
    if (options.hasAttachments && callbacks.onAttachments) callbacks.onAttachments();
  }

  void pageSetup() {
    if (callbacks.onPageSetup) callbacks.onPageSetup();
  }

  void openMakerSite() {
    GError* error = nullptr;
    if (!gtk_show_uri_on_window(GTK_WINDOW(window), kMakerSite, GDK_CURRENT_TIME, &error)) {
      platform::diag::error(kWhere, std::string("cannot open the maker's site: ") + (error ? error->message : ""));
    }
    if (error) g_error_free(error);
  }

  void closeWindow() {
    if (!open) return;
    open = false;
    gtk_widget_hide(window);
    if (loop.running()) loop.end(0);
    if (callbacks.onClose) callbacks.onClose();
  }

  gboolean key(GdkEventKey* event) {
    const guint key = gdk_keyval_to_lower(event->keyval);
    if (key == GDK_KEY_Escape) {
      closeWindow();
      return TRUE;
    }
    if (!(event->state & GDK_MOD1_MASK)) return FALSE;
    switch (key) {
      case GDK_KEY_Left: case GDK_KEY_KP_Left: goTo(page - 1); return TRUE;
      case GDK_KEY_Right: case GDK_KEY_KP_Right: goTo(page + 1); return TRUE;
      case GDK_KEY_Home: case GDK_KEY_KP_Home: goTo(0); return TRUE;
      case GDK_KEY_End: case GDK_KEY_KP_End: goTo(pageCount() - 1); return TRUE;
      case GDK_KEY_plus: case GDK_KEY_equal: case GDK_KEY_KP_Add: zoomStep(+1); return TRUE;
      case GDK_KEY_minus: case GDK_KEY_KP_Subtract: zoomStep(-1); return TRUE;
      case GDK_KEY_p: print(); return TRUE;
      case GDK_KEY_a: attachments(); return TRUE;
      case GDK_KEY_u: pageSetup(); return TRUE;
      case GDK_KEY_c: closeWindow(); return TRUE;
      default: return FALSE;
    }
  }

  bool load(const std::string& path, bool keepPlace) {
    GError* error = nullptr;
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, &error);
    PopplerDocument* loaded = uri ? poppler_document_new_from_file(uri, nullptr, &error) : nullptr;
    g_free(uri);
    if (!loaded) {
      platform::diag::error(kWhere, "cannot show " + path + ": " + (error ? error->message : "not a PDF"));
      if (error) g_error_free(error);
      return false;
    }
    if (document) g_object_unref(document);
    document = loaded;
    goTo(keepPlace ? page : 0);
    return true;
  }
};

CPreviewWindow::CPreviewWindow(PreviewOptions options, PreviewCallbacks callbacks) : m_impl(std::make_unique<Impl>()) {
  m_impl->options = std::move(options);
  m_impl->callbacks = std::move(callbacks);
  m_impl->gtk = detail::ensureGtk();
  if (m_impl->gtk) m_impl->build();
}

CPreviewWindow::~CPreviewWindow() = default;

bool CPreviewWindow::available() { return detail::ensureGtk(false); }

bool CPreviewWindow::load(const std::string& pdfPath) {
  return diag::guarded("CPreviewWindow::load", false, [&] { return m_impl->load(pdfPath, false); });
}

bool CPreviewWindow::reload(const std::string& pdfPath) {
  return diag::guarded("CPreviewWindow::reload", false, [&] { return m_impl->load(pdfPath, true); });
}

void CPreviewWindow::show() {
  if (!m_impl->window || m_impl->open) return;
  m_impl->open = true;
  gtk_window_present(GTK_WINDOW(m_impl->window));
}

void CPreviewWindow::runModal() {
  diag::guarded("CPreviewWindow::runModal", [&] {
    if (!m_impl->window) return;
    show();
    if (m_impl->open) detail::runModal(GTK_WINDOW(m_impl->window), m_impl->loop);
  });
}

void CPreviewWindow::close() {
  diag::guarded("CPreviewWindow::close", [&] { m_impl->closeWindow(); });
}

bool CPreviewWindow::isOpen() const { return m_impl->open; }
int CPreviewWindow::pageCount() const { return m_impl->pageCount(); }
int CPreviewWindow::currentPage() const { return m_impl->pageCount() ? m_impl->page + 1 : 0; }
void CPreviewWindow::goToPage(int page) { m_impl->goTo(page - 1); }
int CPreviewWindow::zoomPercent() const { return m_impl->zoomPercent(); }
PreviewFit CPreviewWindow::fit() const { return m_impl->fit; }

void CPreviewWindow::setZoomPercent(int percent) {
  m_impl->fit = PreviewFit::kPercent;
  m_impl->percent = std::clamp(percent, kZoomSteps.back(), kZoomSteps.front());
  m_impl->refresh();
}

void CPreviewWindow::setFit(PreviewFit fit) {
  m_impl->fit = fit;
  m_impl->refresh();
}

void CPreviewWindow::setHasAttachments(bool hasAttachments) {
  m_impl->options.hasAttachments = hasAttachments;
  m_impl->refresh();
}

void* CPreviewWindow::nativeWindow() const { return m_impl->window; }

}  // namespace platform::ui
