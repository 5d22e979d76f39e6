#include "platform/ui/PageSetupForm.h"

#include <gtk/gtk.h>

#include <cmath>

#include "platform/loop/MessageLoop.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Text.h"
#include "platform/ui/detail/GtkModal.h"

namespace platform::ui {

namespace {

// The least room a page keeps for its content, in hundredths of an inch.
constexpr long kMinContent = 50;

struct Form {
  GtkWidget* dialog = nullptr;
  GtkWidget* top = nullptr;
  GtkWidget* bottom = nullptr;
  GtkWidget* left = nullptr;
  GtkWidget* right = nullptr;
  GtkWidget* landscape = nullptr;
  GtkWidget* header = nullptr;
  GtkWidget* footer = nullptr;
  GtkWidget* hint = nullptr;
  PaperSize paper;
  platform::loop::CModalLoop loop;
};

long hundredths(GtkWidget* spin) { return std::lround(gtk_spin_button_get_value(GTK_SPIN_BUTTON(spin)) * 100); }

GtkWidget* marginBox(const char* name, long value) {
  GtkWidget* spin = gtk_spin_button_new_with_range(0, 20, 0.05);
  gtk_widget_set_name(spin, name);
  gtk_spin_button_set_digits(GTK_SPIN_BUTTON(spin), 2);
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(spin), static_cast<double>(value) / 100);
  gtk_entry_set_activates_default(GTK_ENTRY(spin), TRUE);
  return spin;
}

GtkWidget* textBox(const char* name, const std::u16string& value) {
  GtkWidget* entry = gtk_entry_new();
  gtk_widget_set_name(entry, name);
  gtk_entry_set_width_chars(GTK_ENTRY(entry), 40);
  gtk_entry_set_text(GTK_ENTRY(entry), platform::system::utf16ToUtf8(value).c_str());
  gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
  return entry;
}

GtkWidget* group(const char* title, GtkWidget* content) {
  GtkWidget* frame = gtk_frame_new(title);
  gtk_container_set_border_width(GTK_CONTAINER(content), 6);
  gtk_container_add(GTK_CONTAINER(frame), content);
  return frame;
}

GtkWidget* label(const char* mnemonic, GtkWidget* target) {
  GtkWidget* text = gtk_label_new_with_mnemonic(mnemonic);
  gtk_label_set_mnemonic_widget(GTK_LABEL(text), target);
  gtk_label_set_xalign(GTK_LABEL(text), 0);
  return text;
}

// Offers OK only while the margins leave the content some room.
void check(Form& form) {
  const bool across = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(form.landscape));
  const long width = across ? form.paper.height : form.paper.width;
  const long height = across ? form.paper.width : form.paper.height;
  const bool fits = width - hundredths(form.left) - hundredths(form.right) >= kMinContent &&
                    height - hundredths(form.top) - hundredths(form.bottom) >= kMinContent;
  gtk_dialog_set_response_sensitive(GTK_DIALOG(form.dialog), GTK_RESPONSE_OK, fits);
  gtk_widget_set_visible(form.hint, !fits);
}

void build(Form& form, const PageSetupValues& values) {
  form.dialog = gtk_dialog_new_with_buttons("Page Setup", nullptr, GTK_DIALOG_MODAL, "_OK", GTK_RESPONSE_OK,
                                            "_Cancel", GTK_RESPONSE_CANCEL, nullptr);
  gtk_dialog_set_default_response(GTK_DIALOG(form.dialog), GTK_RESPONSE_OK);
  // Escape and the close button answer through "response"; the form stays until its owner destroys it.
  g_signal_connect(form.dialog, "delete-event", G_CALLBACK(gtk_widget_hide_on_delete), nullptr);
  gtk_window_set_resizable(GTK_WINDOW(form.dialog), FALSE);
  GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(form.dialog));
  gtk_container_set_border_width(GTK_CONTAINER(content), 8);
  gtk_box_set_spacing(GTK_BOX(content), 8);

  GtkWidget* texts = gtk_grid_new();
  gtk_grid_set_row_spacing(GTK_GRID(texts), 4);
  gtk_grid_set_column_spacing(GTK_GRID(texts), 8);
  form.header = textBox("header", values.header);
  form.footer = textBox("footer", values.footer);
  gtk_grid_attach(GTK_GRID(texts), label("_Header:", form.header), 0, 0, 1, 1);
  gtk_grid_attach(GTK_GRID(texts), form.header, 1, 0, 1, 1);
  gtk_grid_attach(GTK_GRID(texts), label("_Footer:", form.footer), 0, 1, 1, 1);
  gtk_grid_attach(GTK_GRID(texts), form.footer, 1, 1, 1, 1);
  gtk_box_pack_start(GTK_BOX(content), group("Headers and Footers", texts), FALSE, FALSE, 0);

  GtkWidget* lower = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
  GtkWidget* turns = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
  GtkWidget* portrait = gtk_radio_button_new_with_mnemonic(nullptr, "P_ortrait");
  gtk_widget_set_name(portrait, "portrait");
  form.landscape = gtk_radio_button_new_with_mnemonic_from_widget(GTK_RADIO_BUTTON(portrait), "L_andscape");
  gtk_widget_set_name(form.landscape, "landscape");
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(values.landscape ? form.landscape : portrait), TRUE);
  gtk_box_pack_start(GTK_BOX(turns), portrait, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(turns), form.landscape, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(lower), group("Orientation", turns), FALSE, FALSE, 0);

  GtkWidget* margins = gtk_grid_new();
  gtk_grid_set_row_spacing(GTK_GRID(margins), 4);
  gtk_grid_set_column_spacing(GTK_GRID(margins), 8);
  form.left = marginBox("marginLeft", values.marginLeft);
  form.right = marginBox("marginRight", values.marginRight);
  form.top = marginBox("marginTop", values.marginTop);
  form.bottom = marginBox("marginBottom", values.marginBottom);
  gtk_grid_attach(GTK_GRID(margins), label("_Left:", form.left), 0, 0, 1, 1);
  gtk_grid_attach(GTK_GRID(margins), form.left, 1, 0, 1, 1);
  gtk_grid_attach(GTK_GRID(margins), label("_Right:", form.right), 2, 0, 1, 1);
  gtk_grid_attach(GTK_GRID(margins), form.right, 3, 0, 1, 1);
  gtk_grid_attach(GTK_GRID(margins), label("_Top:", form.top), 0, 1, 1, 1);
  gtk_grid_attach(GTK_GRID(margins), form.top, 1, 1, 1, 1);
  gtk_grid_attach(GTK_GRID(margins), label("_Bottom:", form.bottom), 2, 1, 1, 1);
  gtk_grid_attach(GTK_GRID(margins), form.bottom, 3, 1, 1, 1);
  gtk_box_pack_start(GTK_BOX(lower), group("Margins (inches)", margins), TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(content), lower, FALSE, FALSE, 0);

  form.hint = gtk_label_new("The margins leave no room on the page.");
  gtk_box_pack_start(GTK_BOX(content), form.hint, FALSE, FALSE, 0);
  gtk_widget_show_all(content);

  auto changed = +[](GtkWidget*, gpointer data) {
    platform::diag::guarded("PageSetupForm", [&] { check(*static_cast<Form*>(data)); });
  };
  for (GtkWidget* spin : {form.left, form.right, form.top, form.bottom}) {
    g_signal_connect(spin, "value-changed", G_CALLBACK(changed), &form);
  }
  g_signal_connect(form.landscape, "toggled", G_CALLBACK(changed), &form);
  g_signal_connect(form.dialog, "response", G_CALLBACK(+[](GtkDialog*, gint response, gpointer data) {
                     platform::diag::guarded("PageSetupForm", [&] {
                       auto& form = *static_cast<Form*>(data);
                       if (response == GTK_RESPONSE_OK) {
                         // Text typed but not yet taken by a margin box counts, and is checked too.
                         for (GtkWidget* spin : {form.left, form.right, form.top, form.bottom}) {
                           gtk_spin_button_update(GTK_SPIN_BUTTON(spin));
                         }
                         check(form);
                         if (gtk_widget_get_visible(form.hint)) return;
                       }
                       form.loop.end(response);
                     });
                   }),
                   &form);
  check(form);
}

}  // namespace

bool showPageSetupForm(PageSetupValues& values, PaperSize paper) {
  return diag::guarded("showPageSetupForm", false, [&] {
    if (!detail::ensureGtk()) return false;
    Form form;
    form.paper = paper;
    build(form, values);
    const int response = detail::runModal(GTK_WINDOW(form.dialog), form.loop);
    const bool accepted = response == GTK_RESPONSE_OK;
    if (accepted) {
      values.marginTop = hundredths(form.top);
      values.marginBottom = hundredths(form.bottom);
      values.marginLeft = hundredths(form.left);
      values.marginRight = hundredths(form.right);
      values.landscape = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(form.landscape));
      values.header = platform::system::utf8ToUtf16(gtk_entry_get_text(GTK_ENTRY(form.header)));
      values.footer = platform::system::utf8ToUtf16(gtk_entry_get_text(GTK_ENTRY(form.footer)));
    }
    gtk_widget_destroy(form.dialog);
    return accepted;
  });
}

}  // namespace platform::ui
