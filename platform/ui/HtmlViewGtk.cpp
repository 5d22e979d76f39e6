// The HTML view on a screen: a WebKitGTK view that shows mail inert.
//
// The page's own script is off (javascript markup), while the view's own calls still read the
// selection. The document is served under a scheme of our own, so every reference it makes
// resolves to that scheme and the handler below answers only files inside the document's folder;
// a policy sent with the document refuses every other source (remote pictures, style sheets,
// frames, fonts), and navigations away from the document are ignored.

#include "platform/ui/HtmlView.h"

#include <gio/gio.h>
#include <gtk/gtk.h>
#include <libsoup/soup.h>
#include <webkit2/webkit2.h>

#include <fstream>
#include <iterator>
#include <string_view>

#include "platform/browser/RequestRules.h"
#include "platform/system/Diagnostics.h"

namespace platform::ui {

namespace {

constexpr char kScheme[] = "qm-view";
constexpr std::string_view kDocumentUri = "qm-view://document/";
constexpr char kViewKey[] = "quillmark-html-view";
constexpr char kPolicy[] =
    "default-src 'none'; img-src qm-view: data:; style-src qm-view: 'unsafe-inline'; "
    "font-src qm-view: data:; media-src qm-view:; base-uri 'none'; form-action 'none'";
constexpr std::uintmax_t kMaxFileSize = 64u * 1024u * 1024u;

// Windows' virtual-key codes of the keys a dialog takes from its controls.
constexpr unsigned kVkTab = 0x09, kVkReturn = 0x0D, kVkEscape = 0x1B, kVkF1 = 0x70;

// The selection as HTML: the highlighted ranges' contents cloned and serialised, each inside
// the formatting elements it starts and ends in (a part of a bold word stays bold), as MSHTML's
// htmlText gives it.
constexpr char kSelectionScript[] =
    "(function(){var s=window.getSelection();if(!s||!s.rangeCount)return '';"
    "var keep=/^(A|ABBR|B|BIG|CITE|CODE|DEL|DFN|EM|FONT|H[1-6]|I|INS|KBD|MARK|PRE|Q|S|SAMP|SMALL|SPAN|STRIKE|"
    "STRONG|SUB|SUP|TT|U|VAR)$/;"
    "var d=document.createElement('div');"
    "for(var i=0;i<s.rangeCount;++i){var r=s.getRangeAt(i),f=r.cloneContents();"
    "for(var n=r.commonAncestorContainer;n&&n!==document.body&&n!==document.documentElement;n=n.parentNode)"
    "if(n.nodeType===1&&keep.test(n.nodeName)){var c=n.cloneNode(false);c.appendChild(f);f=c;}"
    "d.appendChild(f);}"
    "return d.innerHTML;})()";

void finishRefused(WebKitURISchemeRequest* request, const char* why) {
  GError* error = g_error_new_literal(G_IO_ERROR, G_IO_ERROR_PERMISSION_DENIED, why);
  webkit_uri_scheme_request_finish_error(request, error);
  g_error_free(error);
}

// Answers bytes with the policy attached; takes the bytes.
void finishWith(WebKitURISchemeRequest* request, GBytes* bytes, const char* contentType) {
  const gsize size = g_bytes_get_size(bytes);
  GInputStream* stream = g_memory_input_stream_new_from_bytes(bytes);
  g_bytes_unref(bytes);
  WebKitURISchemeResponse* response = webkit_uri_scheme_response_new(stream, static_cast<gint64>(size));
  g_object_unref(stream);
  webkit_uri_scheme_response_set_content_type(response, contentType);
  SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
  soup_message_headers_append(headers, "Content-Security-Policy", kPolicy);
  soup_message_headers_append(headers, "X-Content-Type-Options", "nosniff");
  webkit_uri_scheme_response_set_http_headers(response, headers);
  webkit_uri_scheme_request_finish_with_response(request, response);
  g_object_unref(response);
}

void serveRequest(WebKitURISchemeRequest* request, gpointer);

// Link hints open connections (or look names up) before any policy is asked: preconnect is not
// a fetch, so the document's policy does not stop it.
void disableLinkHints(WebKitSettings* settings) {
  static constexpr std::string_view kHints[] = {"LinkPreconnect", "LinkPreconnectEarlyHints", "LinkDNSPrefetch",
                                                "LinkPrefetch", "LinkPreload"};
  WebKitFeatureList* features = webkit_settings_get_all_features();
  for (gsize i = 0; i < webkit_feature_list_get_length(features); ++i) {
    WebKitFeature* feature = webkit_feature_list_get(features, i);
    for (std::string_view hint : kHints)
      if (hint == webkit_feature_get_identifier(feature)) webkit_settings_set_feature_enabled(settings, feature, FALSE);
  }
  webkit_feature_list_unref(features);
}

// One web context for every view: its web process and the scheme stay for the process's life.
WebKitWebContext* sharedContext() {
  static WebKitWebContext* context = [] {
    WebKitWebContext* c = webkit_web_context_new_ephemeral();
    webkit_web_context_set_cache_model(c, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    webkit_web_context_register_uri_scheme(c, kScheme, serveRequest, nullptr, nullptr);
    return c;
  }();
  return context;
}

}  // namespace

class CGtkHtmlView final : public IHtmlView {
 public:
  CGtkHtmlView();
  ~CGtkHtmlView() override;

  void loadHtml(const std::string& utf8Html, const std::filesystem::path& baseFolder) override;
  void setDocumentCompleteHandler(std::function<void()> handler) override { m_onComplete = std::move(handler); }
  void setZoom(double factor) override { webkit_web_view_set_zoom_level(m_view, factor); }
  double zoom() const override { return webkit_web_view_get_zoom_level(m_view); }
  void setContextMenuHandler(ContextMenuHandler handler) override { m_onContextMenu = std::move(handler); }
  void setKeyHandler(KeyHandler handler) override { m_onKey = std::move(handler); }
  void selectionHtml(SelectionHandler handler) override;
  void* nativeWidget() override { return m_view; }

  // The document or a file of its folder, for the scheme handler.
  void serve(WebKitURISchemeRequest* request);

 private:
  static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type, gpointer self);
  static void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self);
  static gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error, gpointer self);
  static gboolean onContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent* event, WebKitHitTestResult*, gpointer self);
  static gboolean onKeyPress(GtkWidget*, GdkEventKey* event, gpointer self);
  static void onWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer);
  static void onSelectionRead(GObject* source, GAsyncResult* result, gpointer data);

  WebKitWebView* m_view = nullptr;
  GCancellable* m_cancellable = nullptr;
  std::string m_html;
  std::filesystem::path m_folder;
  std::function<void()> m_onComplete;
  ContextMenuHandler m_onContextMenu;
  KeyHandler m_onKey;
};

namespace {

void serveRequest(WebKitURISchemeRequest* request, gpointer) {
  platform::diag::guarded("HtmlView scheme request", [&] {
    WebKitWebView* webView = webkit_uri_scheme_request_get_web_view(request);
    auto* view = webView ? static_cast<CGtkHtmlView*>(g_object_get_data(G_OBJECT(webView), kViewKey)) : nullptr;
    if (!view) return finishRefused(request, "the view is gone");
    view->serve(request);
  });
}

}  // namespace

CGtkHtmlView::CGtkHtmlView() {
  WebKitSettings* settings = webkit_settings_new();
  webkit_settings_set_enable_javascript_markup(settings, FALSE);
  webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
  webkit_settings_set_allow_file_access_from_file_urls(settings, FALSE);
  webkit_settings_set_allow_universal_access_from_file_urls(settings, FALSE);
  webkit_settings_set_enable_page_cache(settings, FALSE);
  webkit_settings_set_enable_html5_local_storage(settings, FALSE);
  webkit_settings_set_enable_webgl(settings, FALSE);
  webkit_settings_set_enable_webaudio(settings, FALSE);
  webkit_settings_set_enable_developer_extras(settings, FALSE);
  webkit_settings_set_zoom_text_only(settings, TRUE);  // as a text-size command does
  webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  disableLinkHints(settings);

  m_view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", sharedContext(), "settings", settings, nullptr));
  g_object_unref(settings);
  g_object_ref_sink(m_view);  // the dialog's container holds it too; the view is ours until we go
  m_cancellable = g_cancellable_new();
  g_object_set_data(G_OBJECT(m_view), kViewKey, this);

  g_signal_connect(m_view, "decide-policy", G_CALLBACK(onDecidePolicy), this);
  g_signal_connect(m_view, "load-changed", G_CALLBACK(onLoadChanged), this);
  g_signal_connect(m_view, "load-failed", G_CALLBACK(onLoadFailed), this);
  g_signal_connect(m_view, "context-menu", G_CALLBACK(onContextMenu), this);
  g_signal_connect(m_view, "key-press-event", G_CALLBACK(onKeyPress), this);
  g_signal_connect(m_view, "web-process-terminated", G_CALLBACK(onWebProcessTerminated), this);
}

CGtkHtmlView::~CGtkHtmlView() {
  g_cancellable_cancel(m_cancellable);
  g_object_unref(m_cancellable);
  g_signal_handlers_disconnect_by_data(m_view, this);
  g_object_set_data(G_OBJECT(m_view), kViewKey, nullptr);
  gtk_widget_destroy(GTK_WIDGET(m_view));
  g_object_unref(m_view);
}

void CGtkHtmlView::loadHtml(const std::string& utf8Html, const std::filesystem::path& baseFolder) {
  // A byte-order mark makes the page UTF-8 whatever its own meta says; the doctype stays first.
  m_html = "\xEF\xBB\xBF" + utf8Html;
  std::error_code ec;
  m_folder = baseFolder.empty() ? baseFolder : std::filesystem::absolute(baseFolder, ec);
  webkit_web_view_load_uri(m_view, std::string(kDocumentUri).c_str());
}

void CGtkHtmlView::serve(WebKitURISchemeRequest* request) {
  const std::string_view uri = webkit_uri_scheme_request_get_uri(request);
  if (!uri.starts_with(kDocumentUri)) return finishRefused(request, "outside the document");
  const char* rawPath = webkit_uri_scheme_request_get_path(request);
  if (!rawPath || std::string_view(rawPath) == "/") {
    return finishWith(request, g_bytes_new(m_html.data(), m_html.size()), "text/html");
  }
  gchar* decoded = g_uri_unescape_string(rawPath, nullptr);  // null when it decodes to a NUL
  if (!decoded) return finishRefused(request, "a bad path");
  const std::filesystem::path file = m_folder / std::filesystem::path(decoded).relative_path();
  g_free(decoded);
  std::error_code ec;
  if (m_folder.empty() || !platform::browser::detail::isInsideFolder(file, m_folder) ||
      !std::filesystem::is_regular_file(file, ec) || std::filesystem::file_size(file, ec) > kMaxFileSize || ec) {
    return finishRefused(request, "not a file of the document's folder");
  }
  std::ifstream in(file, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in && !in.eof()) return finishRefused(request, "the file could not be read");
  gboolean uncertain = FALSE;
  gchar* type = g_content_type_guess(file.filename().c_str(), reinterpret_cast<const guchar*>(bytes.data()),
                                     bytes.size(), &uncertain);
  gchar* mime = g_content_type_get_mime_type(type);
  finishWith(request, g_bytes_new(bytes.data(), bytes.size()), mime ? mime : "application/octet-stream");
  g_free(mime);
  g_free(type);
}

gboolean CGtkHtmlView::onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type, gpointer) {
  if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return FALSE;
  // The document itself (and its own anchors) is the only place the view goes.
  bool allowed = false;
  if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const std::string_view uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    allowed = uri.starts_with(kDocumentUri) &&
              (uri.size() == kDocumentUri.size() || uri[kDocumentUri.size()] == '#');
  }
  if (allowed) {
    webkit_policy_decision_use(decision);
  } else {
    webkit_policy_decision_ignore(decision);
  }
  return TRUE;
}

void CGtkHtmlView::onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
  if (event != WEBKIT_LOAD_FINISHED) return;
  platform::diag::guarded("HtmlView document complete", [&] {
    auto* view = static_cast<CGtkHtmlView*>(self);
    if (view->m_onComplete) view->m_onComplete();
  });
}

gboolean CGtkHtmlView::onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error, gpointer) {
  // A load replaced by the next one is no failure.
  if (!g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED))
    platform::diag::error("HtmlView", std::string("the document did not load (") + (uri ? uri : "") + "): " + error->message);
  return FALSE;
}

gboolean CGtkHtmlView::onContextMenu(WebKitWebView* webView, WebKitContextMenu*, GdkEvent* event, WebKitHitTestResult*, gpointer self) {
  platform::diag::guarded("HtmlView context menu", [&] {
    auto* view = static_cast<CGtkHtmlView*>(self);
    if (!view->m_onContextMenu) return;
    gdouble x = 0, y = 0;
    if (!event || !gdk_event_get_root_coords(event, &x, &y)) {
      // From the keyboard: the view's top-left corner.
      gint ox = 0, oy = 0;
      if (GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(webView))) gdk_window_get_origin(window, &ox, &oy);
      x = ox, y = oy;
    }
    view->m_onContextMenu(static_cast<int>(x), static_cast<int>(y));
  });
  return TRUE;  // the view's own menu never shows
}

gboolean CGtkHtmlView::onKeyPress(GtkWidget*, GdkEventKey* event, gpointer self) {
  auto* view = static_cast<CGtkHtmlView*>(self);
  if (!view->m_onKey) return FALSE;
  unsigned vk = 0;
  switch (event->keyval) {
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter: vk = kVkReturn; break;
    case GDK_KEY_Escape: vk = kVkEscape; break;
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab: vk = kVkTab; break;
    case GDK_KEY_F1: vk = kVkF1; break;
    default: return FALSE;
  }
  return platform::diag::guarded("HtmlView key", false, [&] { return view->m_onKey(vk); }) ? TRUE : FALSE;
}

void CGtkHtmlView::onWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason, gpointer) {
  platform::diag::error("HtmlView", reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT
                                        ? "the web process went over its memory limit"
                                        : "the web process ended");
}

void CGtkHtmlView::selectionHtml(SelectionHandler handler) {
  if (!handler) return;
  auto* pending = new SelectionHandler(std::move(handler));
  webkit_web_view_evaluate_javascript(m_view, kSelectionScript, -1, nullptr, nullptr, m_cancellable,
                                      onSelectionRead, pending);
}

void CGtkHtmlView::onSelectionRead(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<SelectionHandler> handler(static_cast<SelectionHandler*>(data));
  GError* error = nullptr;
  JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
  if (!value) {
    // Cancelled means the view went: its owner no longer waits.
    const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
    if (!cancelled) platform::diag::error("HtmlView selection", error ? error->message : "no answer");
    if (error) g_error_free(error);
    if (!cancelled) platform::diag::guarded("HtmlView selection", [&] { (*handler)(false, std::string()); });
    return;
  }
  std::string html;
  if (jsc_value_is_string(value)) {
    gchar* text = jsc_value_to_string(value);
    html = text ? text : "";
    g_free(text);
  }
  g_object_unref(value);
  platform::diag::guarded("HtmlView selection", [&] { (*handler)(true, html); });
}

}  // namespace platform::ui

// The module's one entry point (libquillmark_htmlview.so, loaded by makeGtkHtmlView): the view,
// or null (reported).
extern "C" __attribute__((visibility("default"))) platform::ui::IHtmlView* qmMakeGtkHtmlView() {
  using platform::ui::IHtmlView;
  return platform::diag::guarded("makeGtkHtmlView", static_cast<IHtmlView*>(nullptr), []() -> IHtmlView* {
    if (!gdk_display_get_default()) {
      platform::diag::error("makeGtkHtmlView", "GTK has no display on this thread");
      return nullptr;
    }
    return new platform::ui::CGtkHtmlView();
  });
}
