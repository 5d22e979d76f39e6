// The GTK face: real widgets placed where the model puts its windows. Widgets mirror the model;
// what the user does with them goes back through the same model operations as headless input.
#include <gtk/gtk.h>

#include <algorithm>
#include <map>
#include <memory>

#include "platform/loop/MessageLoop.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Text.h"
#include "platform/ui/Ui.h"
#include "platform/ui/detail/GtkScreen.h"
#include "platform/ui/detail/PathCompletion.h"
#include "platform/ui/detail/Window.h"

namespace platform::ui::detail {
namespace {

constexpr int kMaxColumns = 16;
constexpr int kCheckColumn = 0;
constexpr int kPixbufColumn = 1;
constexpr int kFirstText = 2;

struct Peer {
  GtkWidget* widget = nullptr;     // what sits in the parent's container (or the GtkWindow)
  GtkWidget* container = nullptr;  // where children go (a GtkFixed)
  GtkWidget* inner = nullptr;      // the tree view of a list, the two arrows' box ...
  GtkWidget* upper = nullptr;
  GtkWidget* lower = nullptr;
  GtkListStore* store = nullptr;
  bool syncing = false;
  bool held = false;  // a reference of the peer's own on widget
  // A radio button's hidden partner: GTK never clears the only radio of a group, so each radio
  // button is grouped with one that is active whenever the model's button is not checked.
  GtkWidget* companion = nullptr;
  GtkWidget* menuBar = nullptr;  // a top-level window's, above its container
  // Where the window system last put a top-level window; the model's own moves go elsewhere.
  POINT seen{-32768, -32768};
};

std::string utf8(const std::u16string& text) { return system::utf16ToUtf8(text); }

// SHAutoComplete's drop-down: the entries of the typed folder, offered again as the text changes.
void completePaths(GtkEntry* entry) {
  GtkListStore* offered = gtk_list_store_new(1, G_TYPE_STRING);
  GtkEntryCompletion* completion = gtk_entry_completion_new();
  gtk_entry_completion_set_model(completion, GTK_TREE_MODEL(offered));
  gtk_entry_completion_set_text_column(completion, 0);
  gtk_entry_completion_set_inline_completion(completion, TRUE);
  gtk_entry_set_completion(entry, completion);
  g_object_unref(completion);
  // The store lives as long as the completion that holds it.
  g_object_unref(offered);
  g_signal_connect(entry, "changed", G_CALLBACK(+[](GtkEditable* editable, gpointer store) {
    gtk_list_store_clear(GTK_LIST_STORE(store));
    const std::u16string typed = system::utf8ToUtf16(gtk_entry_get_text(GTK_ENTRY(editable)));
    for (const std::u16string& path : detail::fileSystemCompletions(typed))
      gtk_list_store_insert_with_values(GTK_LIST_STORE(store), nullptr, -1, 0, utf8(path).c_str(), -1);
  }), offered);
}

// "&Add" as GTK's "_Add"; "&&" stays one ampersand; an underscore shows as itself.
std::string mnemonic(const std::u16string& text) {
  std::string out;
  const std::string in = utf8(text);
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] == '&') {
      if (i + 1 < in.size() && in[i + 1] == '&') {
        out += '&';
        ++i;
      } else {
        out += '_';
      }
    } else if (in[i] == '_') {
      out += "__";
    } else {
      out += in[i];
    }
  }
  return out;
}

std::string plain(const std::u16string& text) {
  std::string out;
  for (char c : mnemonic(text)) {
    if (c != '_') out += c;
  }
  return out;
}

// A static text: a wrapping label that asks for no more width than its control has. A plain
// GtkLabel asks for its whole text on one line, which widens the window around it.
struct QmStaticText {
  GtkLabel parent;
};
struct QmStaticTextClass {
  GtkLabelClass parentClass;
};
G_DEFINE_TYPE(QmStaticText, qm_static_text, GTK_TYPE_LABEL)

void qmStaticTextPreferredWidth(GtkWidget* widget, int* minimum, int* natural) {
  GTK_WIDGET_CLASS(qm_static_text_parent_class)->get_preferred_width(widget, minimum, natural);
  int request = -1;
  gtk_widget_get_size_request(widget, &request, nullptr);
  if (request > 0) *natural = std::max(*minimum, std::min(*natural, request));
}

void qm_static_text_class_init(QmStaticTextClass* type) {
  GTK_WIDGET_CLASS(type)->get_preferred_width = qmStaticTextPreferredWidth;
}

void qm_static_text_init(QmStaticText*) {}

// A window's client area: it asks for the size the model gives it, never for its children's
// extents, as Windows clips children to their parent rather than growing the parent around them.
// A top-level window's says its size as natural (and minimum, when the window keeps its size).
struct QmClientArea {
  GtkFixed parent;
};
struct QmClientAreaClass {
  GtkFixedClass parentClass;
};
G_DEFINE_TYPE(QmClientArea, qm_client_area, GTK_TYPE_FIXED)

void qmClientAreaSize(GtkWidget* widget, const char* key, int* minimum, int* natural) {
  *natural = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(widget), key));
  *minimum = g_object_get_data(G_OBJECT(widget), "qm-fixed-size") ? *natural : 0;
}

void qm_client_area_class_init(QmClientAreaClass* type) {
  GTK_WIDGET_CLASS(type)->get_preferred_width = [](GtkWidget* widget, int* minimum, int* natural) {
    qmClientAreaSize(widget, "qm-width", minimum, natural);
  };
  GTK_WIDGET_CLASS(type)->get_preferred_height = [](GtkWidget* widget, int* minimum, int* natural) {
    qmClientAreaSize(widget, "qm-height", minimum, natural);
  };
}

void qm_client_area_init(QmClientArea*) {}

GtkWidget* clientAreaNew() { return GTK_WIDGET(g_object_new(qm_client_area_get_type(), nullptr)); }

Peer* peerOf(const Window& w) { return static_cast<Peer*>(w.peer); }

// A top-level window of no size (the printer's browser host) is kept out of sight, as Windows
// shows nothing of it: it is never mapped.
bool sizeless(const Window& w) { return !w.isChild() && (w.rect.right <= w.rect.left || w.rect.bottom <= w.rect.top); }

// The window a person sees in place of a sizeless one while it is active: the GTK window of the
// process that has the focus and is not one of the model's (the preview, the print dialog).
GtkWindow* standIn() {
  GList* windows = gtk_window_list_toplevels();
  GtkWindow* found = nullptr;
  for (GList* at = windows; at; at = at->next) {
    GtkWindow* window = GTK_WINDOW(at->data);
    if (!gtk_widget_get_mapped(GTK_WIDGET(window)) || g_object_get_data(G_OBJECT(window), "qm-hwnd") ||
        gtk_window_get_window_type(window) != GTK_WINDOW_TOPLEVEL || GTK_IS_DIALOG(window))
      continue;
    if (!found || gtk_window_is_active(window)) found = window;
  }
  g_list_free(windows);
  return found;
}

// Where a window's dialogs sit: on the window itself when it is on the screen, else on the window
// that stands in for it.
GtkWindow* ownerWindow(HWND owner) {
  const Window* w = find(owner);
  GtkWidget* own = w && w->peer ? peerOf(*w)->widget : nullptr;
  if (own && GTK_IS_WINDOW(own) && (gtk_widget_get_mapped(own) || !sizeless(*w))) return GTK_WINDOW(own);
  // A window manager keeps a dialog over a parent that never shows nowhere: none then.
  return standIn();
}

HWND handleOf(GtkWidget* widget) {
  for (GtkWidget* at = widget; at; at = gtk_widget_get_parent(at)) {
    if (void* handle = g_object_get_data(G_OBJECT(at), "qm-hwnd")) return static_cast<HWND>(handle);
  }
  return nullptr;
}

GdkPixbuf* pixbufOf(const std::string& icoBytes, int size) {
  if (icoBytes.empty()) return nullptr;
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  GdkPixbuf* result = nullptr;
  if (gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(icoBytes.data()), icoBytes.size(), nullptr) &&
      gdk_pixbuf_loader_close(loader, nullptr)) {
    if (GdkPixbuf* loaded = gdk_pixbuf_loader_get_pixbuf(loader)) {
      result = size > 0 ? gdk_pixbuf_scale_simple(loaded, size, size, GDK_INTERP_BILINEAR) : GDK_PIXBUF(g_object_ref(loaded));
    }
  } else {
    gdk_pixbuf_loader_close(loader, nullptr);
  }
  g_object_unref(loader);
  return result;
}

UINT virtualKeyOf(guint keyval) {
  if (keyval >= GDK_KEY_a && keyval <= GDK_KEY_z) return static_cast<UINT>('A' + (keyval - GDK_KEY_a));
  if (keyval >= GDK_KEY_A && keyval <= GDK_KEY_Z) return static_cast<UINT>('A' + (keyval - GDK_KEY_A));
  if (keyval >= GDK_KEY_0 && keyval <= GDK_KEY_9) return static_cast<UINT>('0' + (keyval - GDK_KEY_0));
  if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F12) return VK_F1 + (keyval - GDK_KEY_F1);
  switch (keyval) {
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter: return VK_RETURN;
    case GDK_KEY_Escape: return VK_ESCAPE;
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab: return VK_TAB;
    case GDK_KEY_Delete:
    case GDK_KEY_KP_Delete: return VK_DELETE;
    case GDK_KEY_Up: return VK_UP;
    case GDK_KEY_Down: return VK_DOWN;
    case GDK_KEY_Left: return VK_LEFT;
    case GDK_KEY_Right: return VK_RIGHT;
    case GDK_KEY_Home: return VK_HOME;
    case GDK_KEY_End: return VK_END;
    case GDK_KEY_space: return VK_SPACE;
    case GDK_KEY_BackSpace: return VK_BACK;
    case GDK_KEY_Menu: return VK_APPS;
    default: return 0;
  }
}

BYTE modifiersOf(guint state) {
  BYTE held = 0;
  if (state & GDK_SHIFT_MASK) held |= FSHIFT;
  if (state & GDK_CONTROL_MASK) held |= FCONTROL;
  if (state & GDK_MOD1_MASK) held |= FALT;
  return held;
}

struct Sync {
  Peer& peer;
  bool was;
  explicit Sync(Peer& p) : peer(p), was(p.syncing) { peer.syncing = true; }
  ~Sync() { peer.syncing = was; }
};

bool syncing(HWND handle) {
  const Window* w = find(handle);
  return !w || !w->peer || peerOf(*w)->syncing;
}

// Signal handlers: user input into the model.
gboolean onTopKey(GtkWidget* window, GdkEventKey* event, gpointer) {
  GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window));
  HWND target = focus ? handleOf(focus) : nullptr;
  if (!target) target = handleOf(window);
  const UINT key = virtualKeyOf(event->keyval);
  if (!key || !target) return FALSE;
  return diag::guarded("GTK key", FALSE, [&] { return translateKey(target, key, modifiersOf(event->state)) ? TRUE : FALSE; });
}

gboolean onDelete(GtkWidget* window, GdkEvent*, gpointer) {
  diag::guarded("GTK close", [&] { userClose(handleOf(window)); });
  return TRUE;  // the model decides whether the window goes
}

gboolean onConfigure(GtkWidget* window, GdkEventConfigure* event, gpointer) {
  if (Window* w = find(handleOf(window)); w && w->peer) {
    // The size is the client area's, which the container's allocation tells.
    const LONG width = w->rect.right - w->rect.left;
    const LONG height = w->rect.bottom - w->rect.top;
    w->rect = RECT{event->x, event->y, event->x + width, event->y + height};
    peerOf(*w)->seen = POINT{event->x, event->y};
  }
  return FALSE;
}

// The client area got another size (the user, or the window manager fitting it to the screen):
// the model follows and the window hears WM_SIZE, from the loop rather than inside GTK's layout.
gboolean onClientResized(gpointer data) {
  const HWND handle = static_cast<HWND>(data);
  diag::guarded("GTK resize", [&] {
    Window* w = find(handle);
    if (!w || !w->peer || !peerOf(*w)->container) return;
    GtkAllocation a{};
    gtk_widget_get_allocation(peerOf(*w)->container, &a);
    if (a.width <= 1 || a.height <= 1) return;
    if (a.width == w->rect.right - w->rect.left && a.height == w->rect.bottom - w->rect.top) return;
    w->rect.right = w->rect.left + a.width;
    w->rect.bottom = w->rect.top + a.height;
    SendMessageW(handle, WM_SIZE, 0, MAKELPARAM(static_cast<WORD>(a.width), static_cast<WORD>(a.height)));
  });
  return G_SOURCE_REMOVE;
}

void onClientAllocate(GtkWidget* container, GdkRectangle* allocation, gpointer) {
  const HWND handle = handleOf(container);
  const Window* w = find(handle);
  if (!w || !gtk_widget_get_mapped(container)) return;
  if (allocation->width == w->rect.right - w->rect.left && allocation->height == w->rect.bottom - w->rect.top) return;
  g_idle_add(onClientResized, handle);
}

gboolean onFocusIn(GtkWidget* widget, GdkEvent*, gpointer) {
  const HWND handle = handleOf(widget);
  if (!syncing(handle) && GetFocus() != handle) {
    Window* w = find(handle);
    Sync sync(*peerOf(*w));
    diag::guarded("GTK focus", [&] { SetFocus(handle); });
  }
  return FALSE;
}

void onClicked(GtkWidget* widget, gpointer) {
  const HWND handle = handleOf(widget);
  if (syncing(handle)) return;
  diag::guarded("GTK click", [&] {
    userClick(handle);
    changed(handle, Change::kState);  // a button that does not check itself shows the model's state again
  });
}

void onEntryChanged(GtkEditable* entry, gpointer) {
  const HWND handle = handleOf(GTK_WIDGET(entry));
  if (syncing(handle)) return;
  diag::guarded("GTK edit", [&] { userSetText(handle, system::utf8ToUtf16(gtk_entry_get_text(GTK_ENTRY(entry)))); });
}

void onTextBufferChanged(GtkTextBuffer* buffer, gpointer view) {
  const HWND handle = handleOf(GTK_WIDGET(view));
  if (syncing(handle)) return;
  GtkTextIter start, end;
  gtk_text_buffer_get_bounds(buffer, &start, &end);
  gchar* text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
  const std::u16string wide = system::utf8ToUtf16(text ? text : "");
  g_free(text);
  diag::guarded("GTK edit", [&] { userSetText(handle, wide); });
}

// A menu bar's item picked: WM_COMMAND to its window, from the loop as Windows queues it.
void onMenuBarItem(GtkWidget* entry, gpointer window) {
  const auto id = static_cast<WORD>(GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(entry), "qm-id")));
  PostMessageW(static_cast<HWND>(window), WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

void onComboChanged(GtkComboBox* combo, gpointer) {
  const HWND handle = handleOf(GTK_WIDGET(combo));
  if (syncing(handle)) return;
  diag::guarded("GTK combo", [&] { userSelectCombo(handle, gtk_combo_box_get_active(combo)); });
}

void onUpDown(GtkWidget* button, gpointer upper) {
  const HWND handle = handleOf(button);
  if (syncing(handle)) return;
  diag::guarded("GTK up-down", [&] { userUpDown(handle, upper != nullptr); });
}

int rowAt(GtkTreeView* tree, double x, double y) {
  GtkTreePath* path = nullptr;
  if (!gtk_tree_view_get_path_at_pos(tree, static_cast<int>(x), static_cast<int>(y), &path, nullptr, nullptr, nullptr)) return -1;
  const int row = gtk_tree_path_get_indices(path)[0];
  gtk_tree_path_free(path);
  return row;
}

gboolean onListButton(GtkWidget* tree, GdkEventButton* event, gpointer) {
  const HWND handle = handleOf(tree);
  Window* w = find(handle);
  if (!w) return FALSE;
  int row = -1;
  // The point in the list's client area (the tree's bin window starts below the header).
  int wx = static_cast<int>(event->x);
  int wy = static_cast<int>(event->y);
  if (GTK_IS_ICON_VIEW(tree)) {
    if (GtkTreePath* path = gtk_icon_view_get_path_at_pos(GTK_ICON_VIEW(tree), wx, wy)) {
      row = gtk_tree_path_get_indices(path)[0];
      gtk_tree_path_free(path);
    }
  } else {
    row = rowAt(GTK_TREE_VIEW(tree), event->x, event->y);
    gtk_tree_view_convert_bin_window_to_widget_coords(GTK_TREE_VIEW(tree), static_cast<int>(event->x), static_cast<int>(event->y), &wx, &wy);
  }
  const POINT at{wx, wy};
  return diag::guarded("GTK list", TRUE, [&] {
    if (event->button == 1 && event->type == GDK_BUTTON_PRESS) {
      gtk_widget_grab_focus(tree);
      const bool onCheck = row >= 0 && (w->lvExStyle & LVS_EX_CHECKBOXES) && w->kind == Kind::kListView && wx < 18;
      if (w->kind == Kind::kListBox) {
        if (row >= 0) userSelectListBox(handle, row, false);
      } else if (onCheck) {
        userToggleListCheck(handle, row);
      } else {
        userClickListRow(handle, row, false, at);
      }
    } else if (event->button == 1 && event->type == GDK_2BUTTON_PRESS) {
      if (w->kind == Kind::kListBox) {
        if (row >= 0) userSelectListBox(handle, row, true);
      } else {
        userClickListRow(handle, row, true, at);
      }
    } else if (event->button == 3 && event->type == GDK_BUTTON_RELEASE) {
      userContextMenu(handle, POINT{static_cast<LONG>(event->x_root), static_cast<LONG>(event->y_root)});
    }
    return TRUE;
  });
}

gboolean onListKey(GtkWidget* tree, GdkEventKey* event, gpointer) {
  const UINT key = virtualKeyOf(event->keyval);
  if (!key || key == VK_TAB || key == VK_RETURN || key == VK_ESCAPE) return FALSE;
  const HWND handle = handleOf(tree);
  diag::guarded("GTK list key", [&] {
    dispatch(handle, WM_KEYDOWN, key, 0);
    if (find(handle)) dispatch(handle, WM_KEYUP, key, 0);
  });
  return TRUE;
}

gboolean onRightRelease(GtkWidget* widget, GdkEventButton* event, gpointer) {
  if (event->button != 3) return FALSE;
  const HWND handle = handleOf(widget);
  diag::guarded("GTK context menu", [&] {
    userContextMenu(handle, POINT{static_cast<LONG>(event->x_root), static_cast<LONG>(event->y_root)});
  });
  return TRUE;
}

void installStyle() {
  // Compact widgets, so controls fit the rectangles the dialog units give them.
  static const char* const kCss =
      ".qm-window, .qm-window * { font-family: Sans; font-size: 8pt; }"
      ".qm-window button { padding: 0px 4px; min-height: 0px; min-width: 0px; }"
      ".qm-window entry { padding: 0px 3px; min-height: 0px; }"
      ".qm-window combobox button { padding: 0px 2px; }"
      ".qm-window checkbutton, .qm-window radiobutton { padding: 0px; min-height: 0px; }"
      ".qm-window check, .qm-window radio { min-width: 12px; min-height: 12px; margin: 0px 4px 0px 0px; }"
      ".qm-window treeview { padding: 0px; }"
      ".qm-window treeview header button { padding: 0px 4px; }"
      ".qm-window frame > border { border-color: #b0b0b0; }"
      ".qm-updown button { padding: 0px; min-width: 0px; min-height: 0px; }";
  GtkCssProvider* provider = gtk_css_provider_new();
  gtk_css_provider_load_from_data(provider, kCss, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(provider),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(provider);
}

// A menu item; the text after a tab (a shortcut's name, "Ctrl+P") shows at its right edge.
GtkWidget* menuEntry(const std::u16string& text) {
  const std::size_t tab = text.find(u'\t');
  if (tab == std::u16string::npos) return gtk_menu_item_new_with_mnemonic(mnemonic(text).c_str());
  GtkWidget* entry = gtk_menu_item_new();
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 24);
  GtkWidget* label = gtk_label_new_with_mnemonic(mnemonic(text.substr(0, tab)).c_str());
  gtk_label_set_mnemonic_widget(GTK_LABEL(label), entry);
  GtkWidget* shortcut = gtk_label_new(utf8(text.substr(tab + 1)).c_str());
  gtk_style_context_add_class(gtk_widget_get_style_context(shortcut), "dim-label");
  gtk_box_pack_start(GTK_BOX(box), label, FALSE, FALSE, 0);
  gtk_box_pack_end(GTK_BOX(box), shortcut, FALSE, FALSE, 0);
  gtk_container_add(GTK_CONTAINER(entry), box);
  return entry;
}

class GtkFace : public IFace {
 public:
  // Windows closed after this (a module's statics at exit) go through the headless face.
  ~GtkFace() override { faceDestroyed(this); }

  GtkFace() {
    installStyle();
    // GDK flushes its output only when it reads events; while a frame holds them back, what a
    // nested loop's windows drew stayed in the buffer and the screen showed them black.
    platform::loop::setBeforeWait([] {
      if (GdkDisplay* display = gdk_display_get_default()) gdk_display_flush(display);
    });
  }

  Face kind() const override { return Face::kGtk; }

  void created(Window& w) override {
    if (w.messageOnly) return;
    auto* peer = new Peer();
    w.peer = peer;
    const HWND handle = w.handle;
    if (!w.isChild()) {
      peer->widget = gtk_window_new(GTK_WINDOW_TOPLEVEL);
      // A box holds the menu bar, when the window gets one, above the client area.
      GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
      gtk_container_add(GTK_CONTAINER(peer->widget), box);
      gtk_widget_show(box);
      peer->container = clientAreaNew();
      if (!(w.style & WS_THICKFRAME)) g_object_set_data(G_OBJECT(peer->container), "qm-fixed-size", GINT_TO_POINTER(1));
      g_signal_connect(peer->container, "size-allocate", G_CALLBACK(onClientAllocate), nullptr);
      gtk_box_pack_end(GTK_BOX(box), peer->container, TRUE, TRUE, 0);
      gtk_widget_show(peer->container);
      gtk_style_context_add_class(gtk_widget_get_style_context(peer->widget), "qm-window");
      gtk_window_set_resizable(GTK_WINDOW(peer->widget), (w.style & WS_THICKFRAME) != 0);
      if (GtkWindow* owner = w.owner ? ownerWindow(w.owner) : nullptr) gtk_window_set_transient_for(GTK_WINDOW(peer->widget), owner);
      g_object_set_data(G_OBJECT(peer->widget), "qm-hwnd", handle);
      g_signal_connect(peer->widget, "key-press-event", G_CALLBACK(onTopKey), nullptr);
      g_signal_connect(peer->widget, "delete-event", G_CALLBACK(onDelete), nullptr);
      g_signal_connect(peer->widget, "configure-event", G_CALLBACK(onConfigure), nullptr);
      g_object_ref_sink(peer->widget);
      applyText(w);
      applyGeometry(w);
      return;
    }
    const Window* parent = find(w.parent);
    GtkWidget* into = parent && parent->peer ? peerOf(*parent)->container : nullptr;
    if (!into) {
      delete peer;
      w.peer = nullptr;
      return;
    }
    makeWidget(w, *peer);
    g_object_set_data(G_OBJECT(peer->widget), "qm-hwnd", handle);
    if (peer->inner) g_object_set_data(G_OBJECT(peer->inner), "qm-hwnd", handle);
    g_signal_connect(peer->inner ? peer->inner : peer->widget, "focus-in-event", G_CALLBACK(onFocusIn), nullptr);
    gtk_fixed_put(GTK_FIXED(into), peer->widget, w.rect.left, w.rect.top);
    applyAll(w);
  }

  void destroyed(Window& w) override {
    Peer* peer = peerOf(w);
    if (!peer) return;
    w.peer = nullptr;
    if (peer->store) g_object_unref(peer->store);
    if (peer->companion) {
      gtk_widget_destroy(peer->companion);
      g_object_unref(peer->companion);
    }
    if (!w.isChild()) {
      gtk_widget_destroy(peer->widget);
      g_object_unref(peer->widget);
    } else if (peer->held) {
      gtk_widget_destroy(peer->widget);
      g_object_unref(peer->widget);
    } else if (GTK_IS_WIDGET(peer->widget)) {
      gtk_widget_destroy(peer->widget);
    }
    delete peer;
  }

  void changed(Window& w, Change what, int row) override {
    Peer* peer = peerOf(w);
    if (!peer) return;
    Sync sync(*peer);
    switch (what) {
      case Change::kText: applyText(w); break;
      case Change::kEnabled: gtk_widget_set_sensitive(peer->widget, !(w.style & WS_DISABLED)); break;
      case Change::kVisible:
        if (!w.isChild()) {
          if ((w.style & WS_VISIBLE) && !sizeless(w)) {
            keepOnWorkArea(GTK_WINDOW(peer->widget));
            // GTK's own modality too: a GTK modal window shown below (the preview) would
            // otherwise take this dialog's keys and clicks.
            if (w.dialog && w.dialog->modal) gtk_window_set_modal(GTK_WINDOW(peer->widget), TRUE);
            gtk_widget_show(peer->widget);
            gtk_window_present(GTK_WINDOW(peer->widget));
          } else {
            gtk_widget_hide(peer->widget);
          }
        } else {
          gtk_widget_set_visible(peer->widget, (w.style & WS_VISIBLE) != 0);
        }
        break;
      case Change::kGeometry:
        applyGeometry(w);
        if (!w.isChild() && sizeless(w) && gtk_widget_get_visible(peer->widget)) gtk_widget_hide(peer->widget);
        break;
      case Change::kFocus:
        gtk_widget_grab_focus(peer->inner ? peer->inner : peer->widget);
        break;
      case Change::kItems:
        if (row < 0 || !applyRow(w, what, row)) applyItems(w);
        break;
      case Change::kRowInserted:
      case Change::kRowDeleted:
        if (!applyRow(w, what, row)) applyItems(w);
        break;
      case Change::kColumns: applyItems(w); break;
      case Change::kState:
      case Change::kStyle: applyState(w, row); break;
      case Change::kMenu: applyMenu(w); break;
    }
  }

  RECT frame(const Window&) override { return RECT{}; }

  bool screenRect(const Window& w, RECT& rect) override {
    const Peer* peer = peerOf(w);
    if (peer && sizeless(w) && (w.style & WS_VISIBLE)) {
      // Its dialogs centre on what stands in for it on the screen.
      GtkWindow* shown = standIn();
      if (!shown) return false;
      int x = 0, y = 0;
      gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(shown)), &x, &y);
      rect = RECT{x, y, x + gtk_widget_get_allocated_width(GTK_WIDGET(shown)), y + gtk_widget_get_allocated_height(GTK_WIDGET(shown))};
      return true;
    }
    if (!peer || !gtk_widget_get_realized(peer->widget) || !gtk_widget_get_mapped(peer->widget)) return false;
    GtkWidget* top = gtk_widget_get_toplevel(peer->widget);
    int ox = 0;
    int oy = 0;
    gdk_window_get_origin(gtk_widget_get_window(top), &ox, &oy);
    int x = 0;
    int y = 0;
    if (top != peer->widget) gtk_widget_translate_coordinates(peer->widget, top, 0, 0, &x, &y);
    GtkAllocation a{};
    gtk_widget_get_allocation(peer->widget, &a);
    rect = RECT{ox + x, oy + y, ox + x + a.width, oy + y + a.height};
    return true;
  }

  bool rowRect(const Window& w, int row, RECT& rect) override {
    const Peer* peer = peerOf(w);
    if (peer && peer->inner && GTK_IS_ICON_VIEW(peer->inner) && gtk_widget_get_realized(peer->inner)) {
      GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
      GdkRectangle cell{};
      const bool found = gtk_icon_view_get_cell_rect(GTK_ICON_VIEW(peer->inner), path, nullptr, &cell);
      gtk_tree_path_free(path);
      int dx = 0;
      int dy = 0;
      gtk_widget_translate_coordinates(peer->inner, peer->widget, cell.x, cell.y, &dx, &dy);
      rect = RECT{dx, dy, dx + cell.width, dy + cell.height};
      return found && cell.height > 0;
    }
    if (!peer || !peer->inner || !GTK_IS_TREE_VIEW(peer->inner) || !gtk_widget_get_realized(peer->inner)) return false;
    GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
    GdkRectangle area{};
    gtk_tree_view_get_background_area(GTK_TREE_VIEW(peer->inner), path, nullptr, &area);
    gtk_tree_path_free(path);
    int x = 0;
    int y = 0;
    gtk_tree_view_convert_bin_window_to_widget_coords(GTK_TREE_VIEW(peer->inner), area.x, area.y, &x, &y);
    int dx = 0;
    int dy = 0;
    gtk_widget_translate_coordinates(peer->inner, peer->widget, x, y, &dx, &dy);
    // Without a column the area has no width: the row spans the list.
    GtkAllocation list{};
    gtk_widget_get_allocation(peer->widget, &list);
    rect = RECT{dx, dy, dx + (area.width > 0 ? area.width : list.width), dy + area.height};
    return area.height > 0;
  }

  RECT workArea() override {
    const GdkRectangle area = workAreaOf(nullptr);
    return RECT{area.x, area.y, area.x + area.width, area.y + area.height};
  }

  SIZE screenSize() override {
    GdkRectangle geometry{0, 0, 1024, 768};
    if (GdkMonitor* monitor = gdk_display_get_primary_monitor(gdk_display_get_default())) {
      gdk_monitor_get_geometry(monitor, &geometry);
    } else if (GdkMonitor* first = gdk_display_get_monitor(gdk_display_get_default(), 0)) {
      gdk_monitor_get_geometry(first, &geometry);
    }
    return SIZE{geometry.width, geometry.height};
  }

  void baseUnits(const std::u16string&, int points, int& x, int& y) override {
    // Windows' rule on the font the widgets really use: the average of the 52 letters, and the
    // line height.
    GtkWidget* probe = gtk_label_new("");
    PangoContext* context = gtk_widget_create_pango_context(probe);
    PangoFontDescription* font = pango_font_description_from_string("Sans");
    pango_font_description_set_size(font, points * PANGO_SCALE);
    PangoLayout* layout = pango_layout_new(context);
    pango_layout_set_font_description(layout, font);
    pango_layout_set_text(layout, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", -1);
    int width = 0;
    int height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    x = std::max(1, (width / 26 + 1) / 2);
    y = std::max(1, height);
    g_object_unref(layout);
    pango_font_description_free(font);
    g_object_unref(context);
    g_object_ref_sink(probe);
    g_object_unref(probe);
  }

  UINT trackPopup(HMENU handle, HWND owner, POINT at) override {
    UINT picked = 0;
    bool done = false;
    GtkWidget* popup = buildMenu(handle, picked);
    g_signal_connect(popup, "deactivate", G_CALLBACK(+[](GtkWidget*, gpointer flag) { *static_cast<bool*>(flag) = true; }), &done);
    const Window* w = find(owner);
    GtkWidget* anchor = w && w->peer ? peerOf(*w)->widget : nullptr;
    if (!anchor || !gtk_widget_get_realized(anchor)) {
      gtk_widget_destroy(popup);
      diag::error("TrackPopupMenu", "the owner window is not on the screen");
      return 0;
    }
    GdkWindow* window = gtk_widget_get_window(gtk_widget_get_toplevel(anchor));
    int ox = 0;
    int oy = 0;
    gdk_window_get_origin(window, &ox, &oy);
    const GdkRectangle rect{at.x - ox, at.y - oy, 1, 1};
    gtk_widget_show_all(popup);
    gtk_menu_popup_at_rect(GTK_MENU(popup), window, &rect, GDK_GRAVITY_NORTH_WEST, GDK_GRAVITY_NORTH_WEST, nullptr);
    runModal([&] { return done; });
    gtk_widget_destroy(popup);
    return picked;
  }

  // The loop runs GLib's default context: GTK's events come in the nested level too.
  void runModal(const std::function<bool()>& done) override { platform::loop::runUntil(done); }

  void* widget(const Window& w) override { return w.peer ? peerOf(w)->widget : nullptr; }

  bool savePicture(const Window& w, const std::string& path) override {
    const Peer* peer = peerOf(w);
    if (!peer || !gtk_widget_get_mapped(peer->widget)) {
      diag::error("saveWindowPicture", "the window is not on the screen");
      return false;
    }
    // Read back from the screen: gtk_widget_draw leaves out what lives in windows of its own (a
    // list's column titles, the HTML view's page).
    GtkAllocation a{};
    gtk_widget_get_allocation(peer->widget, &a);
    const bool top = GTK_IS_WINDOW(peer->widget);
    GdkWindow* window = gtk_widget_get_window(peer->widget);
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(window, top ? 0 : a.x, top ? 0 : a.y, std::max(a.width, 1), std::max(a.height, 1));
    if (!shot) {
      diag::error("saveWindowPicture", "the window could not be read from the screen");
      return false;
    }
    GError* error = nullptr;
    const bool saved = gdk_pixbuf_save(shot, path.c_str(), "png", &error, nullptr);
    g_object_unref(shot);
    if (!saved) {
      diag::error("saveWindowPicture", std::string(error ? error->message : "cannot write") + ": " + path);
      if (error) g_error_free(error);
    }
    return saved;
  }

  void applyMenu(Window& w) {
    Peer& peer = *peerOf(w);
    if (w.isChild()) return;
    if (peer.menuBar) {
      gtk_widget_destroy(peer.menuBar);
      peer.menuBar = nullptr;
    }
    const Menu* m = menu(w.menu);
    if (!m) return;
    peer.menuBar = gtk_menu_bar_new();
    for (const MenuItem& item : m->items) {
      if (item.flags & MF_SEPARATOR) continue;
      GtkWidget* entry = gtk_menu_item_new_with_mnemonic(mnemonic(item.text).c_str());
      if (item.flags & (MF_GRAYED | MF_DISABLED)) gtk_widget_set_sensitive(entry, FALSE);
      if (item.popup) {
        gtk_menu_item_set_submenu(GTK_MENU_ITEM(entry), buildBarMenu(item.popup, w.handle));
      } else {
        g_object_set_data(G_OBJECT(entry), "qm-id", GUINT_TO_POINTER(item.id));
        g_signal_connect(entry, "activate", G_CALLBACK(onMenuBarItem), w.handle);
      }
      gtk_menu_shell_append(GTK_MENU_SHELL(peer.menuBar), entry);
    }
    GtkWidget* box = gtk_bin_get_child(GTK_BIN(peer.widget));
    gtk_box_pack_start(GTK_BOX(box), peer.menuBar, FALSE, FALSE, 0);
    gtk_widget_show_all(peer.menuBar);
  }

  GtkWidget* buildBarMenu(HMENU handle, HWND window) {
    GtkWidget* shell = gtk_menu_new();
    const Menu* m = menu(handle);
    if (!m) return shell;
    for (const MenuItem& item : m->items) {
      GtkWidget* entry = (item.flags & MF_SEPARATOR) ? gtk_separator_menu_item_new() : menuEntry(item.text);
      if (item.flags & (MF_GRAYED | MF_DISABLED)) gtk_widget_set_sensitive(entry, FALSE);
      if (item.popup) {
        gtk_menu_item_set_submenu(GTK_MENU_ITEM(entry), buildBarMenu(item.popup, window));
      } else if (!(item.flags & MF_SEPARATOR)) {
        g_object_set_data(G_OBJECT(entry), "qm-id", GUINT_TO_POINTER(item.id));
        g_signal_connect(entry, "activate", G_CALLBACK(onMenuBarItem), window);
      }
      gtk_menu_shell_append(GTK_MENU_SHELL(shell), entry);
    }
    return shell;
  }

  GtkWidget* buildMenu(HMENU handle, UINT& picked) {
    GtkWidget* shell = gtk_menu_new();
    const Menu* m = menu(handle);
    if (!m) return shell;
    for (const MenuItem& item : m->items) {
      GtkWidget* entry = nullptr;
      if (item.flags & MF_SEPARATOR) {
        entry = gtk_separator_menu_item_new();
      } else if (item.flags & MF_CHECKED) {
        entry = gtk_check_menu_item_new_with_mnemonic(mnemonic(item.text).c_str());
        gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(entry), TRUE);
      } else {
        entry = menuEntry(item.text);
      }
      if (item.flags & (MF_GRAYED | MF_DISABLED)) gtk_widget_set_sensitive(entry, FALSE);
      if (item.popup) {
        gtk_menu_item_set_submenu(GTK_MENU_ITEM(entry), buildMenu(item.popup, picked));
      } else if (!(item.flags & MF_SEPARATOR)) {
        g_object_set_data(G_OBJECT(entry), "qm-id", GUINT_TO_POINTER(item.id));
        g_signal_connect(entry, "activate", G_CALLBACK(+[](GtkWidget* e, gpointer out) {
                           *static_cast<UINT*>(out) = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(e), "qm-id"));
                         }),
                         &picked);
      }
      gtk_menu_shell_append(GTK_MENU_SHELL(shell), entry);
    }
    return shell;
  }

  void makeWidget(Window& w, Peer& peer) {
    switch (w.kind) {
      case Kind::kButton: {
        const DWORD type = w.buttonType();
        if (type == BS_GROUPBOX) {
          peer.widget = gtk_frame_new(plain(w.text).c_str());
        } else if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE) {
          peer.widget = gtk_check_button_new_with_mnemonic(mnemonic(w.text).c_str());
        } else if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) {
          peer.companion = gtk_radio_button_new(nullptr);
          g_object_ref_sink(peer.companion);
          peer.widget = gtk_radio_button_new_with_mnemonic_from_widget(GTK_RADIO_BUTTON(peer.companion), mnemonic(w.text).c_str());
        } else {
          peer.widget = gtk_button_new_with_mnemonic(mnemonic(w.text).c_str());
          if (w.style & BS_FLAT) gtk_button_set_relief(GTK_BUTTON(peer.widget), GTK_RELIEF_NONE);
        }
        // A push-like check box or radio button shows as a button that stays down while checked.
        if ((w.style & BS_PUSHLIKE) && GTK_IS_TOGGLE_BUTTON(peer.widget)) gtk_toggle_button_set_mode(GTK_TOGGLE_BUTTON(peer.widget), FALSE);
        if (type != BS_GROUPBOX) g_signal_connect(peer.widget, "clicked", G_CALLBACK(onClicked), nullptr);
        break;
      }
      case Kind::kEdit:
        if (w.style & ES_MULTILINE) {
          peer.widget = gtk_scrolled_window_new(nullptr, nullptr);
          gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(peer.widget), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
          gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(peer.widget), GTK_SHADOW_IN);
          peer.inner = gtk_text_view_new();
          gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(peer.inner), GTK_WRAP_WORD_CHAR);
          gtk_text_view_set_left_margin(GTK_TEXT_VIEW(peer.inner), 4);
          gtk_text_view_set_right_margin(GTK_TEXT_VIEW(peer.inner), 4);
          gtk_container_add(GTK_CONTAINER(peer.widget), peer.inner);
          gtk_widget_show(peer.inner);
          g_signal_connect(gtk_text_view_get_buffer(GTK_TEXT_VIEW(peer.inner)), "changed", G_CALLBACK(onTextBufferChanged),
                           peer.inner);
          break;
        }
        peer.widget = gtk_entry_new();
        gtk_entry_set_width_chars(GTK_ENTRY(peer.widget), 1);
        if (w.style & ES_PASSWORD) gtk_entry_set_visibility(GTK_ENTRY(peer.widget), FALSE);
        g_signal_connect(peer.widget, "changed", G_CALLBACK(onEntryChanged), nullptr);
        break;
      case Kind::kStatic:
        if ((w.style & SS_TYPEMASK) == SS_ICON) {
          peer.widget = gtk_image_new();
        } else if ((w.style & SS_TYPEMASK) == SS_ETCHEDHORZ || (w.style & SS_TYPEMASK) == SS_ETCHEDVERT) {
          peer.widget = gtk_separator_new((w.style & SS_TYPEMASK) == SS_ETCHEDVERT ? GTK_ORIENTATION_VERTICAL : GTK_ORIENTATION_HORIZONTAL);
        } else {
          peer.widget = GTK_WIDGET(g_object_new(qm_static_text_get_type(), "label", plain(w.text).c_str(), nullptr));
          gtk_label_set_line_wrap(GTK_LABEL(peer.widget), TRUE);
          gtk_label_set_xalign(GTK_LABEL(peer.widget), (w.style & SS_TYPEMASK) == SS_CENTER ? 0.5f : ((w.style & SS_TYPEMASK) == SS_RIGHT ? 1.0f : 0.0f));
          gtk_label_set_yalign(GTK_LABEL(peer.widget), 0.0f);
        }
        break;
      case Kind::kComboBox:
        peer.widget = (w.style & 0x3) == CBS_DROPDOWNLIST ? gtk_combo_box_text_new() : gtk_combo_box_text_new_with_entry();
        g_signal_connect(peer.widget, "changed", G_CALLBACK(onComboChanged), nullptr);
        break;
      case Kind::kListBox:
      case Kind::kListView: {
        peer.widget = gtk_scrolled_window_new(nullptr, nullptr);
        gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(peer.widget), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
        gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(peer.widget), GTK_SHADOW_IN);
        GType types[kFirstText + kMaxColumns];
        types[kCheckColumn] = G_TYPE_BOOLEAN;
        types[kPixbufColumn] = GDK_TYPE_PIXBUF;
        for (int i = 0; i < kMaxColumns; ++i) types[kFirstText + i] = G_TYPE_STRING;
        peer.store = gtk_list_store_newv(kFirstText + kMaxColumns, types);
        if (w.kind == Kind::kListView && (w.style & LVS_TYPEMASK) == LVS_ICON) {
          // Large icons in rows, each with its label beneath.
          peer.inner = gtk_icon_view_new_with_model(GTK_TREE_MODEL(peer.store));
          gtk_icon_view_set_pixbuf_column(GTK_ICON_VIEW(peer.inner), kPixbufColumn);
          gtk_icon_view_set_text_column(GTK_ICON_VIEW(peer.inner), kFirstText);
          gtk_icon_view_set_item_orientation(GTK_ICON_VIEW(peer.inner), GTK_ORIENTATION_VERTICAL);
          gtk_icon_view_set_item_width(GTK_ICON_VIEW(peer.inner), 64);
          gtk_icon_view_set_margin(GTK_ICON_VIEW(peer.inner), 2);
          gtk_icon_view_set_item_padding(GTK_ICON_VIEW(peer.inner), 2);
          gtk_icon_view_set_selection_mode(GTK_ICON_VIEW(peer.inner), GTK_SELECTION_MULTIPLE);
        } else {
          peer.inner = gtk_tree_view_new_with_model(GTK_TREE_MODEL(peer.store));
        }
        gtk_container_add(GTK_CONTAINER(peer.widget), peer.inner);
        gtk_widget_show(peer.inner);
        gtk_widget_add_events(peer.inner, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK);
        g_signal_connect(peer.inner, "button-press-event", G_CALLBACK(onListButton), nullptr);
        g_signal_connect(peer.inner, "button-release-event", G_CALLBACK(onListButton), nullptr);
        g_signal_connect(peer.inner, "key-press-event", G_CALLBACK(onListKey), nullptr);
        break;
      }
      case Kind::kUpDown: {
        const bool horizontal = (w.style & UDS_HORZ) != 0;
        peer.widget = gtk_box_new(horizontal ? GTK_ORIENTATION_HORIZONTAL : GTK_ORIENTATION_VERTICAL, 0);
        gtk_box_set_homogeneous(GTK_BOX(peer.widget), TRUE);
        gtk_style_context_add_class(gtk_widget_get_style_context(peer.widget), "qm-updown");
        peer.upper = gtk_button_new_from_icon_name(horizontal ? "pan-end-symbolic" : "pan-up-symbolic", GTK_ICON_SIZE_MENU);
        peer.lower = gtk_button_new_from_icon_name(horizontal ? "pan-start-symbolic" : "pan-down-symbolic", GTK_ICON_SIZE_MENU);
        gtk_box_pack_start(GTK_BOX(peer.widget), peer.upper, TRUE, TRUE, 0);
        gtk_box_pack_start(GTK_BOX(peer.widget), peer.lower, TRUE, TRUE, 0);
        gtk_widget_show(peer.upper);
        gtk_widget_show(peer.lower);
        g_signal_connect(peer.upper, "clicked", G_CALLBACK(onUpDown), GINT_TO_POINTER(1));
        g_signal_connect(peer.lower, "clicked", G_CALLBACK(onUpDown), nullptr);
        break;
      }
      case Kind::kCustom: {
        const ControlFactory* factory = factoryOf(w.className);
        void* made = factory && factory->createWidget ? factory->createWidget(w.handle, Face::kGtk) : nullptr;
        peer.widget = made && GTK_IS_WIDGET(made) ? GTK_WIDGET(made) : gtk_drawing_area_new();
        // The supplier may let its widget go before the window does: the peer keeps its own hold.
        g_object_ref_sink(peer.widget);
        peer.held = true;
        break;
      }
      default:
        peer.widget = clientAreaNew();
        peer.container = peer.widget;
        gtk_widget_add_events(peer.widget, GDK_BUTTON_RELEASE_MASK);
        g_signal_connect(peer.widget, "button-release-event", G_CALLBACK(onRightRelease), nullptr);
        break;
    }
  }

  void applyAll(Window& w) {
    Peer& peer = *peerOf(w);
    Sync sync(peer);
    applyGeometry(w);
    // The text a window was created with (an edit's shows only through this).
    applyText(w);
    gtk_widget_set_sensitive(peer.widget, !(w.style & WS_DISABLED));
    applyItems(w);
    applyState(w, -1);
    gtk_widget_set_visible(peer.widget, (w.style & WS_VISIBLE) != 0);
  }

  void applyText(Window& w) {
    Peer& peer = *peerOf(w);
    if (!w.isChild()) {
      gtk_window_set_title(GTK_WINDOW(peer.widget), utf8(w.text).c_str());
      return;
    }
    switch (w.kind) {
      case Kind::kButton:
        if (GTK_IS_FRAME(peer.widget)) {
          gtk_frame_set_label(GTK_FRAME(peer.widget), plain(w.text).c_str());
        } else {
          gtk_button_set_label(GTK_BUTTON(peer.widget), mnemonic(w.text).c_str());
        }
        break;
      case Kind::kEdit:
        if (peer.inner && GTK_IS_TEXT_VIEW(peer.inner)) {
          GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(peer.inner));
          GtkTextIter start, end;
          gtk_text_buffer_get_bounds(buffer, &start, &end);
          gchar* shown = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
          // Windows' line ends as GTK's.
          std::string text = utf8(w.text);
          std::erase(text, '\r');
          if (text != (shown ? shown : "")) gtk_text_buffer_set_text(buffer, text.c_str(), -1);
          g_free(shown);
        } else if (utf8(w.text) != gtk_entry_get_text(GTK_ENTRY(peer.widget))) {
          gtk_entry_set_text(GTK_ENTRY(peer.widget), utf8(w.text).c_str());
        }
        break;
      case Kind::kStatic:
        if (GTK_IS_LABEL(peer.widget)) gtk_label_set_text(GTK_LABEL(peer.widget), plain(w.text).c_str());
        break;
      case Kind::kComboBox:
        if (GtkWidget* entry = gtk_bin_get_child(GTK_BIN(peer.widget)); entry && GTK_IS_ENTRY(entry)) {
          gtk_entry_set_text(GTK_ENTRY(entry), utf8(w.text).c_str());
        }
        break;
      default: break;
    }
  }

  void applyGeometry(Window& w) {
    Peer& peer = *peerOf(w);
    const int width = std::max<int>(1, w.rect.right - w.rect.left);
    const int height = std::max<int>(1, w.rect.bottom - w.rect.top);
    if (!w.isChild()) {
      g_object_set_data(G_OBJECT(peer.container), "qm-width", GINT_TO_POINTER(width));
      g_object_set_data(G_OBJECT(peer.container), "qm-height", GINT_TO_POINTER(height));
      gtk_widget_queue_resize(peer.container);
      // The window's size is its client area's and the menu bar's.
      int menu = 0;
      if (peer.menuBar && gtk_widget_get_visible(peer.menuBar)) gtk_widget_get_preferred_height(peer.menuBar, nullptr, &menu);
      gtk_window_resize(GTK_WINDOW(peer.widget), width, height + menu);
      // Where the window system has it already is no move (its frame would go by its own size).
      if (w.rect.left != peer.seen.x || w.rect.top != peer.seen.y) gtk_window_move(GTK_WINDOW(peer.widget), w.rect.left, w.rect.top);
      keepOnWorkArea(GTK_WINDOW(peer.widget));
      return;
    }
    gtk_widget_set_size_request(peer.widget, width, height);
    if (GtkWidget* parent = gtk_widget_get_parent(peer.widget); parent && GTK_IS_FIXED(parent)) {
      gtk_fixed_move(GTK_FIXED(parent), peer.widget, w.rect.left, w.rect.top);
    }
  }

  void applyItems(Window& w) {
    Peer& peer = *peerOf(w);
    if (w.kind == Kind::kComboBox) {
      gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(peer.widget));
      for (const auto& row : w.strings) gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(peer.widget), utf8(row).c_str());
      gtk_combo_box_set_active(GTK_COMBO_BOX(peer.widget), w.curSel);
      return;
    }
    if (!peer.store) return;
    GtkTreeView* tree = GTK_IS_TREE_VIEW(peer.inner) ? GTK_TREE_VIEW(peer.inner) : nullptr;
    // Columns: rebuilt from the model each time (lists are short); an icon view has none.
    while (GtkTreeViewColumn* column = tree ? gtk_tree_view_get_column(tree, 0) : nullptr) gtk_tree_view_remove_column(tree, column);
    const bool report = w.kind == Kind::kListView && (w.style & LVS_TYPEMASK) == LVS_REPORT;
    if (tree) gtk_tree_view_set_headers_visible(tree, report && !(w.style & LVS_NOCOLUMNHEADER));
    const std::size_t columns =
        !tree ? 0 : w.kind == Kind::kListBox ? 1 : std::max<std::size_t>(1, std::min<std::size_t>(report ? w.columns.size() : 1, kMaxColumns));
    for (std::size_t c = 0; c < columns; ++c) {
      GtkTreeViewColumn* column = gtk_tree_view_column_new();
      if (report && c < w.columns.size()) {
        gtk_tree_view_column_set_title(column, utf8(w.columns[c].text).c_str());
        gtk_tree_view_column_set_sizing(column, GTK_TREE_VIEW_COLUMN_FIXED);
        gtk_tree_view_column_set_fixed_width(column, std::max(w.columns[c].width, 1));
        // As a header's dividers on Windows: a column too narrow for its texts can be widened.
        gtk_tree_view_column_set_resizable(column, TRUE);
      }
      if (c == 0 && w.kind == Kind::kListView) {
        if (w.lvExStyle & LVS_EX_CHECKBOXES) {
          GtkCellRenderer* toggle = gtk_cell_renderer_toggle_new();
          gtk_tree_view_column_pack_start(column, toggle, FALSE);
          gtk_tree_view_column_add_attribute(column, toggle, "active", kCheckColumn);
        }
        if (w.imageLists[LVSIL_SMALL] || w.imageLists[LVSIL_NORMAL]) {
          GtkCellRenderer* image = gtk_cell_renderer_pixbuf_new();
          gtk_tree_view_column_pack_start(column, image, FALSE);
          gtk_tree_view_column_add_attribute(column, image, "pixbuf", kPixbufColumn);
        }
      }
      GtkCellRenderer* text = gtk_cell_renderer_text_new();
      g_object_set(text, "ypad", 0, nullptr);
      gtk_tree_view_column_pack_start(column, text, TRUE);
      gtk_tree_view_column_add_attribute(column, text, "text", kFirstText + static_cast<int>(c));
      gtk_tree_view_append_column(tree, column);
    }
    gtk_list_store_clear(peer.store);
    const int count = static_cast<int>(w.kind == Kind::kListBox ? w.strings.size() : w.items.size());
    for (int row = 0; row < count; ++row) {
      GtkTreeIter it;
      gtk_list_store_append(peer.store, &it);
      setRow(w, it, row);
    }
    applyState(w, -1);
  }

  // One row of a list box or list view, from the model into the store.
  void setRow(Window& w, GtkTreeIter& it, int row) {
    Peer& peer = *peerOf(w);
    if (w.kind == Kind::kListBox) {
      gtk_list_store_set(peer.store, &it, kFirstText, utf8(w.strings[static_cast<std::size_t>(row)]).c_str(), -1);
      return;
    }
    const ListViewItem& item = w.items[static_cast<std::size_t>(row)];
    gtk_list_store_set(peer.store, &it, kCheckColumn, ((item.state & LVIS_STATEIMAGEMASK) >> 12) == 2, -1);
    for (std::size_t c = 0; c < kMaxColumns; ++c) {
      const std::string text = c < item.texts.size() ? utf8(item.texts[c]) : std::string();
      gtk_list_store_set(peer.store, &it, kFirstText + static_cast<int>(c), c < item.texts.size() ? text.c_str() : nullptr, -1);
    }
    const ImageList* images = imageList(w.imageLists[(w.style & LVS_TYPEMASK) == LVS_ICON ? LVSIL_NORMAL : LVSIL_SMALL]);
    GdkPixbuf* pixbuf = nullptr;
    if (images && item.image >= 0 && item.image < static_cast<int>(images->icons.size()))
      pixbuf = pixbufOf(images->icons[static_cast<std::size_t>(item.image)], images->cx);
    gtk_list_store_set(peer.store, &it, kPixbufColumn, pixbuf, -1);
    if (pixbuf) g_object_unref(pixbuf);
  }

  // A row that came, went or changed, without rebuilding the others (a list fills row by row).
  // False when the store is not one row off the model, so the caller rebuilds it whole.
  bool applyRow(Window& w, Change what, int row) {
    Peer& peer = *peerOf(w);
    if (!peer.store || (w.kind != Kind::kListBox && w.kind != Kind::kListView)) return false;
    const int count = static_cast<int>(w.kind == Kind::kListBox ? w.strings.size() : w.items.size());
    const int shown = gtk_tree_model_iter_n_children(GTK_TREE_MODEL(peer.store), nullptr);
    GtkTreeIter it;
    switch (what) {
      case Change::kRowInserted:
        if (shown != count - 1 || row < 0 || row >= count) return false;
        gtk_list_store_insert(peer.store, &it, row);
        setRow(w, it, row);
        applyState(w, row);
        return true;
      case Change::kRowDeleted:
        if (shown != count + 1 || row < 0 || row > count) return false;
        if (!gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(peer.store), &it, nullptr, row)) return false;
        gtk_list_store_remove(peer.store, &it);
        return true;
      default:
        if (shown != count || row < 0 || row >= count) return false;
        if (!gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(peer.store), &it, nullptr, row)) return false;
        setRow(w, it, row);
        return true;
    }
  }

  void applyState(Window& w, int row) {
    Peer& peer = *peerOf(w);
    switch (w.kind) {
      case Kind::kButton:
        if (peer.companion && w.check != BST_CHECKED) {
          gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(peer.companion), TRUE);
        } else if (GTK_IS_TOGGLE_BUTTON(peer.widget)) {
          gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(peer.widget), w.check == BST_CHECKED);
          gtk_toggle_button_set_inconsistent(GTK_TOGGLE_BUTTON(peer.widget), w.check == BST_INDETERMINATE);
        }
        break;
      case Kind::kEdit:
        if (peer.inner && GTK_IS_TEXT_VIEW(peer.inner)) {
          gtk_text_view_set_editable(GTK_TEXT_VIEW(peer.inner), !(w.style & ES_READONLY));
          gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(peer.inner), !(w.style & ES_READONLY));
          break;
        }
        gtk_editable_set_editable(GTK_EDITABLE(peer.widget), !(w.style & ES_READONLY));
        gtk_entry_set_max_length(GTK_ENTRY(peer.widget), std::min(w.textLimit, 65535));
        if (w.autoComplete && !gtk_entry_get_completion(GTK_ENTRY(peer.widget))) completePaths(GTK_ENTRY(peer.widget));
        break;
      case Kind::kStatic:
        if (GTK_IS_IMAGE(peer.widget)) {
          GdkPixbuf* pixbuf = pixbufOf(iconBytes(w.icon), 0);
          gtk_image_set_from_pixbuf(GTK_IMAGE(peer.widget), pixbuf);
          if (pixbuf) g_object_unref(pixbuf);
        }
        break;
      case Kind::kComboBox: gtk_combo_box_set_active(GTK_COMBO_BOX(peer.widget), w.curSel); break;
      case Kind::kListBox:
      case Kind::kListView: {
        GtkIconView* icons = GTK_IS_ICON_VIEW(peer.inner) ? GTK_ICON_VIEW(peer.inner) : nullptr;
        GtkTreeSelection* selection = icons ? nullptr : gtk_tree_view_get_selection(GTK_TREE_VIEW(peer.inner));
        if (selection) gtk_tree_selection_set_mode(selection, GTK_SELECTION_MULTIPLE);
        const int count = static_cast<int>(w.kind == Kind::kListBox ? w.strings.size() : w.items.size());
        for (int i = (row >= 0 ? row : 0); i < (row >= 0 ? std::min(row + 1, count) : count); ++i) {
          GtkTreePath* path = gtk_tree_path_new_from_indices(i, -1);
          const bool selected = w.kind == Kind::kListBox ? w.curSel == i : (w.items[static_cast<std::size_t>(i)].state & LVIS_SELECTED) != 0;
          if (icons) {
            if (selected) {
              gtk_icon_view_select_path(icons, path);
            } else {
              gtk_icon_view_unselect_path(icons, path);
            }
          } else if (selected) {
            gtk_tree_selection_select_path(selection, path);
          } else {
            gtk_tree_selection_unselect_path(selection, path);
          }
          if (w.kind == Kind::kListView) {
            GtkTreeIter it;
            if (gtk_tree_model_get_iter(GTK_TREE_MODEL(peer.store), &it, path)) {
              gtk_list_store_set(peer.store, &it, kCheckColumn,
                                 ((w.items[static_cast<std::size_t>(i)].state & LVIS_STATEIMAGEMASK) >> 12) == 2, -1);
            }
          }
          gtk_tree_path_free(path);
        }
        break;
      }
      default: break;
    }
  }
};

// Message boxes and pickers as GTK dialogs, run in the loop's nested level.
class GtkUi : public IUserInterface {
 public:
  int messageBox(HWND owner, const std::u16string& text, const std::u16string& caption, UINT type) override {
    GtkMessageType kind = GTK_MESSAGE_OTHER;
    const char* icon = nullptr;
    switch (type & MB_ICONMASK) {
      case MB_ICONERROR: kind = GTK_MESSAGE_ERROR, icon = "dialog-error"; break;
      case MB_ICONQUESTION: kind = GTK_MESSAGE_QUESTION, icon = "dialog-question"; break;
      case MB_ICONWARNING: kind = GTK_MESSAGE_WARNING, icon = "dialog-warning"; break;
      case MB_ICONINFORMATION: kind = GTK_MESSAGE_INFO, icon = "dialog-information"; break;
      default: break;
    }
    GtkWidget* box = gtk_message_dialog_new(parentOf(owner), GTK_DIALOG_MODAL, kind, GTK_BUTTONS_NONE, "%s", utf8(text).c_str());
    gtk_window_set_title(GTK_WINDOW(box), utf8(caption).c_str());
    // The icon the box asks for beside its text: GTK 3 leaves it out of message dialogs.
    GtkWidget* area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(box));
    if (GtkWidget* row = gtk_widget_get_parent(area); icon && row && GTK_IS_BOX(row)) {
      GtkWidget* image = gtk_image_new_from_icon_name(icon, GTK_ICON_SIZE_DIALOG);
      gtk_widget_set_name(image, "qm-box-icon");
      gtk_widget_set_valign(image, GTK_ALIGN_START);
      gtk_box_pack_start(GTK_BOX(row), image, FALSE, FALSE, 0);
      gtk_box_reorder_child(GTK_BOX(row), image, 0);
      gtk_widget_show(image);
    }
    for (int button : buttonsOf(type)) gtk_dialog_add_button(GTK_DIALOG(box), utf8(labelOf(button)).c_str(), button);
    // Buttons at their natural size at the right, not stretched across the box.
    const std::vector<int> answers = buttonsOf(type);
    if (GtkWidget* first = answers.empty() ? nullptr : gtk_dialog_get_widget_for_response(GTK_DIALOG(box), answers.front());
        first && GTK_IS_BUTTON_BOX(gtk_widget_get_parent(first))) {
      GtkWidget* buttons = gtk_widget_get_parent(first);
      gtk_button_box_set_layout(GTK_BUTTON_BOX(buttons), GTK_BUTTONBOX_END);
      gtk_box_set_spacing(GTK_BOX(buttons), 6);
      g_object_set(buttons, "margin", 8, nullptr);
      gtk_style_context_remove_class(gtk_widget_get_style_context(box), "message-dialog");
    }
    gtk_dialog_set_default_response(GTK_DIALOG(box), defaultAnswerOf(type));
    const int response = run(box);
    return response > 0 ? response : escapeAnswerOf(type);
  }

  std::optional<std::u16string> openFile(const OpenFileRequest& request) override { return pick(request, false); }
  std::optional<std::u16string> saveFile(const OpenFileRequest& request) override { return pick(request, true); }

  int choose(const ChoiceRequest& request) override {
    GtkWidget* dialog = gtk_dialog_new_with_buttons(utf8(request.title).c_str(), parentOf(request.owner), GTK_DIALOG_MODAL, "OK",
                                                    GTK_RESPONSE_OK, "Cancel", GTK_RESPONSE_CANCEL, nullptr);
    GtkWidget* area = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
    if (!request.prompt.empty()) gtk_container_add(GTK_CONTAINER(area), gtk_label_new(utf8(request.prompt).c_str()));
    GtkWidget* options = gtk_combo_box_text_new();
    for (const auto& option : request.options) gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(options), utf8(option).c_str());
    gtk_combo_box_set_active(GTK_COMBO_BOX(options), request.defaultIndex);
    gtk_container_add(GTK_CONTAINER(area), options);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    gtk_widget_show_all(area);
    int chosen = -1;
    const int response = run(dialog, [&] { chosen = gtk_combo_box_get_active(GTK_COMBO_BOX(options)); });
    return response == GTK_RESPONSE_OK ? chosen : -1;
  }

 private:
  static GtkWindow* parentOf(HWND owner) { return ownerWindow(owner ? GetAncestor(owner, GA_ROOT) : GetActiveWindow()); }

  // Shows the dialog and waits in a nested loop for its answer; `before` reads the dialog's
  // state before it goes.
  static int run(GtkWidget* dialog, const std::function<void()>& before = {}) {
    int response = GTK_RESPONSE_NONE;
    bool answered = false;
    struct Answer {
      int* response;
      bool* answered;
    } answer{&response, &answered};
    g_signal_connect(dialog, "response", G_CALLBACK(+[](GtkDialog*, int id, gpointer data) {
                       auto* a = static_cast<Answer*>(data);
                       *a->response = id;
                       *a->answered = true;
                     }),
                     &answer);
    gtk_widget_show(dialog);
    gtk_window_present(GTK_WINDOW(dialog));
    face().runModal([&] { return answered; });
    if (before) before();
    gtk_widget_destroy(dialog);
    return response;
  }

  std::optional<std::u16string> pick(const OpenFileRequest& request, bool save) {
    GtkWidget* dialog = gtk_file_chooser_dialog_new(utf8(request.title.empty() ? (save ? u"Save As" : u"Open") : request.title).c_str(),
                                                    parentOf(request.owner), save ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN,
                                                    "_Cancel", GTK_RESPONSE_CANCEL, save ? "_Save" : "_Open", GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    for (std::size_t i = 0; i < request.filters.size(); ++i) {
      GtkFileFilter* filter = gtk_file_filter_new();
      gtk_file_filter_set_name(filter, utf8(request.filters[i].description).c_str());
      std::string patterns = utf8(request.filters[i].patterns);
      std::size_t start = 0;
      while (start <= patterns.size()) {
        const std::size_t end = std::min(patterns.find(';', start), patterns.size());
        if (end > start) gtk_file_filter_add_pattern(filter, patterns.substr(start, end - start).c_str());
        start = end + 1;
      }
      gtk_file_chooser_add_filter(chooser, filter);
      if (i + 1 == request.filterIndex) gtk_file_chooser_set_filter(chooser, filter);
    }
    if (!request.initialDir.empty()) gtk_file_chooser_set_current_folder(chooser, utf8(request.initialDir).c_str());
    if (!request.fileName.empty()) {
      if (save) {
        gtk_file_chooser_set_current_name(chooser, utf8(request.fileName).c_str());
      } else {
        gtk_file_chooser_set_filename(chooser, utf8(request.fileName).c_str());
      }
    }
    if (save && (request.flags & OFN_OVERWRITEPROMPT)) gtk_file_chooser_set_do_overwrite_confirmation(chooser, TRUE);
    std::optional<std::u16string> chosen;
    const int response = run(dialog, [&] {
      if (gchar* name = gtk_file_chooser_get_filename(chooser)) {
        std::string path = name;
        g_free(name);
        const std::size_t slash = path.rfind('/');
        if (!request.defaultExtension.empty() && path.find('.', slash == std::string::npos ? 0 : slash) == std::string::npos) {
          path += "." + utf8(request.defaultExtension);
        }
        chosen = system::utf8ToUtf16(path);
      }
    });
    return response == GTK_RESPONSE_ACCEPT ? chosen : std::nullopt;
  }
};

}  // namespace

IFace* makeGtkFace() {
  if (!gtk_init_check(nullptr, nullptr)) {
    diag::warning("platform::ui", "GTK cannot open the display; the desktop is headless");
    return nullptr;
  }
  static GtkFace face;
  return &face;
}

IUserInterface* gtkUserInterface() {
  if (face().kind() != Face::kGtk) return nullptr;
  static GtkUi ui;
  return &ui;
}

}  // namespace platform::ui::detail
