#include "platform/ui/PrintDialog.h"

#include <gtk/gtk.h>
#include <gtk/gtkunixprint.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "platform/loop/MessageLoop.h"
#include "platform/system/Diagnostics.h"
#include "platform/ui/detail/GtkModal.h"

namespace platform::ui {

namespace {

// The range text as typed: GTK's own reading turns "3-2" into page 3 and text it cannot read
// into page 1, so the entry of its page range is read instead. Found by its name in the dialog's own
// template; without it the ranges GTK read are written back as text.
GtkWidget* findNamed(GtkWidget* widget, const char* name) {
  if (GTK_IS_BUILDABLE(widget)) {
    const char* own = gtk_buildable_get_name(GTK_BUILDABLE(widget));
    if (own && std::strcmp(own, name) == 0) return widget;
  }
  if (!GTK_IS_CONTAINER(widget)) return nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  GtkWidget* found = nullptr;
  for (GList* child = children; child && !found; child = child->next) {
    found = findNamed(GTK_WIDGET(child->data), name);
  }
  g_list_free(children);
  return found;
}

std::string rangesAsText(GtkPrintSettings* settings) {
  gint count = 0;
  GtkPageRange* ranges = gtk_print_settings_get_page_ranges(settings, &count);
  std::string text;
  for (gint i = 0; i < count; ++i) {
    if (!text.empty()) text += ",";
    text += std::to_string(ranges[i].start + 1);
    if (ranges[i].end != ranges[i].start) text += "-" + std::to_string(ranges[i].end + 1);
  }
  g_free(ranges);
  return text;
}

// GTK's own paper of that size, so the dialog names it; else a paper of its own.
GtkPaperSize* paperOf(double width, double height) {
  for (const char* name : {GTK_PAPER_NAME_LETTER, GTK_PAPER_NAME_A4, GTK_PAPER_NAME_LEGAL, GTK_PAPER_NAME_A5}) {
    GtkPaperSize* paper = gtk_paper_size_new(name);
    if (std::abs(gtk_paper_size_get_width(paper, GTK_UNIT_INCH) - width) < 0.02 &&
        std::abs(gtk_paper_size_get_height(paper, GTK_UNIT_INCH) - height) < 0.02)
      return paper;
    gtk_paper_size_free(paper);
  }
  return gtk_paper_size_new_custom("quillmark", "Custom", width, height, GTK_UNIT_INCH);
}

void offerRange(GtkPrintSettings* settings, const PrintRequest& request) {
  if (request.rangeFrom < 1 || request.rangeTo < 1) return;
  GtkPageRange range{std::min(request.rangeFrom, request.rangeTo) - 1, std::max(request.rangeFrom, request.rangeTo) - 1};
  gtk_print_settings_set_print_pages(settings, GTK_PRINT_PAGES_RANGES);
  gtk_print_settings_set_page_ranges(settings, &range, 1);
}

void readAnswer(GtkPrintUnixDialog* dialog, PrintAnswer& answer) {
  GtkPrintSettings* settings = gtk_print_unix_dialog_get_settings(dialog);
  GtkPrinter* printer = gtk_print_unix_dialog_get_selected_printer(dialog);
  answer.cancelled = false;
  answer.printer = printer ? gtk_printer_get_name(printer) : "";
  answer.copies = std::max(1, gtk_print_settings_get_n_copies(settings));
  answer.collate = gtk_print_settings_get_collate(settings);
  switch (gtk_print_settings_get_duplex(settings)) {
    case GTK_PRINT_DUPLEX_HORIZONTAL: answer.duplex = Duplex::kLongEdge; break;
    case GTK_PRINT_DUPLEX_VERTICAL: answer.duplex = Duplex::kShortEdge; break;
    default: answer.duplex = Duplex::kNone; break;
  }
  const char* uri = gtk_print_settings_get(settings, GTK_PRINT_SETTINGS_OUTPUT_URI);
  if (printer && gtk_printer_is_virtual(printer) && uri) {
    gchar* path = g_filename_from_uri(uri, nullptr, nullptr);
    if (path) answer.printToFile = path;
    g_free(path);
  }
  switch (gtk_print_settings_get_print_pages(settings)) {
    case GTK_PRINT_PAGES_RANGES: {
      GtkWidget* entry = findNamed(GTK_WIDGET(dialog), "page_range_entry");
      answer.rangeText = entry && GTK_IS_ENTRY(entry) ? gtk_entry_get_text(GTK_ENTRY(entry)) : rangesAsText(settings);
      answer.range = readPageRange(answer.rangeText);
      // "Pages" chosen with nothing typed prints everything, as an empty range text does.
      break;
    }
    case GTK_PRINT_PAGES_CURRENT: {
      const int current = std::max(1, gtk_print_unix_dialog_get_current_page(dialog) + 1);
      answer.rangeText = std::to_string(current);
      answer.range = {RangeStatus::kRange, current, current};
      break;
    }
    default: break;
  }
  g_object_unref(settings);
}

}  // namespace

PrintAnswer showPrintDialog(const PrintRequest& request) {
  return diag::guarded("showPrintDialog", PrintAnswer{}, [&] {
    PrintAnswer answer;
    if (!detail::ensureGtk()) return answer;
    GtkWidget* widget = gtk_print_unix_dialog_new(request.title.c_str(), nullptr);
    auto* dialog = GTK_PRINT_UNIX_DIALOG(widget);
    // Modal, so that a window that holds the input (a preview running its own loop) hands it on.
    gtk_window_set_modal(GTK_WINDOW(widget), TRUE);
    // The job is a finished PDF: the file printer offers PDF only, and copies and collation are
    // passed on to the printer.
    gtk_print_unix_dialog_set_manual_capabilities(
        dialog, static_cast<GtkPrintCapabilities>(GTK_PRINT_CAPABILITY_GENERATE_PDF | GTK_PRINT_CAPABILITY_COPIES |
                                                  GTK_PRINT_CAPABILITY_COLLATE));
    gtk_print_unix_dialog_set_embed_page_setup(dialog, FALSE);
    if (request.currentPage > 0) gtk_print_unix_dialog_set_current_page(dialog, request.currentPage - 1);
    GtkPrintSettings* settings = gtk_print_settings_new();
    if (!request.printer.empty()) gtk_print_settings_set_printer(settings, request.printer.c_str());
    if (!request.outputPath.empty()) {
      gchar* uri = g_filename_to_uri(request.outputPath.c_str(), nullptr, nullptr);
      if (uri) gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_URI, uri);
      gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_FILE_FORMAT, "pdf");
      g_free(uri);
    }
    offerRange(settings, request);
    if (request.paperWidth > 0 && request.paperHeight > 0) {
      GtkPaperSize* paper = paperOf(request.paperWidth, request.paperHeight);
      const GtkPageOrientation orientation =
          request.landscape ? GTK_PAGE_ORIENTATION_LANDSCAPE : GTK_PAGE_ORIENTATION_PORTRAIT;
      GtkPageSetup* setup = gtk_page_setup_new();
      gtk_page_setup_set_paper_size(setup, paper);
      gtk_page_setup_set_orientation(setup, orientation);
      gtk_print_unix_dialog_set_page_setup(dialog, setup);
      gtk_print_settings_set_paper_size(settings, paper);
      gtk_print_settings_set_orientation(settings, orientation);
      g_object_unref(setup);
      gtk_paper_size_free(paper);
    }
    gtk_print_unix_dialog_set_settings(dialog, settings);
    g_object_unref(settings);
    // GTK has no range with From above To: it is offered as the text it is, and refused when taken.
    if (request.rangeFrom > request.rangeTo && request.rangeTo > 0)
      if (GtkWidget* entry = findNamed(widget, "page_range_entry"); entry && GTK_IS_ENTRY(entry))
        gtk_entry_set_text(GTK_ENTRY(entry),
                           (std::to_string(request.rangeFrom) + "-" + std::to_string(request.rangeTo)).c_str());

    // Escape and the close button answer through "response"; the dialog stays until destroyed here.
    g_signal_connect(widget, "delete-event", G_CALLBACK(gtk_widget_hide_on_delete), nullptr);
    platform::loop::CModalLoop loop;
    g_signal_connect(widget, "response", G_CALLBACK(+[](GtkDialog*, gint response, gpointer data) {
                       static_cast<platform::loop::CModalLoop*>(data)->end(response);
                     }),
                     &loop);
    const int response = detail::runModal(GTK_WINDOW(widget), loop);
    if (response == GTK_RESPONSE_OK) readAnswer(dialog, answer);
    gtk_widget_destroy(widget);
    return answer;
  });
}

}  // namespace platform::ui
