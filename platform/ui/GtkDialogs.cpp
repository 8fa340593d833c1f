#include "platform/files/Files.h"
#include "platform/ui/GtkNative.h"

namespace platform::ui::gtk {

GdkMonitor* primaryMonitor() {
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* m = gdk_display_get_primary_monitor(display);
  if (!m && gdk_display_get_n_monitors(display) > 0) m = gdk_display_get_monitor(display, 0);
  return m;
}

void messageBox(GtkWindow* parent, const std::string& text, const std::string& caption, MessageIcon icon) {
  GtkWidget* d = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL,
                                        icon == MessageIcon::Error ? GTK_MESSAGE_ERROR : GTK_MESSAGE_OTHER,
                                        GTK_BUTTONS_OK, "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(d), caption.c_str());
  gtk_dialog_run(GTK_DIALOG(d));
  gtk_widget_destroy(d);
}

std::optional<std::string> browseForFolder(GtkWindow* parent, const std::string& title,
                                           const std::string& initial) {
  GtkWidget* d =
      gtk_file_chooser_dialog_new(title.c_str(), parent, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "Отмена",
                                  GTK_RESPONSE_CANCEL, "OK", GTK_RESPONSE_ACCEPT, nullptr);
  gtk_file_chooser_set_local_only(GTK_FILE_CHOOSER(d), TRUE);
  // A folder not made yet opens the chooser at its nearest existing ancestor.
  const std::string start = nearestFolder(initial);
  if (!start.empty()) gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(d), start.c_str());
  std::optional<std::string> result;
  if (gtk_dialog_run(GTK_DIALOG(d)) == GTK_RESPONSE_ACCEPT) {
    if (gchar* f = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(d))) {
      if (*f) result = std::string(f);
      g_free(f);
    }
  }
  gtk_widget_destroy(d);
  return result;
}

}  // namespace platform::ui::gtk
