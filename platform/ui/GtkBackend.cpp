#include <gtk/gtk.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/ui/Backend.h"
#include "platform/ui/GtkNative.h"
#include "platform/ui/MessageLoop.h"

namespace platform::ui {
namespace {

using detail::WindowObject;
using gtk::native;
using gtk::Native;

const char* const controlCss =
    ".vornask-control { min-height: 0; min-width: 0; margin: 0; }"
    "button.vornask-control { padding: 0 6px; }"
    "checkbutton.vornask-control { padding: 0; }"
    "entry.vornask-control { padding: 0 4px; }"
    "progressbar.vornask-control trough { min-width: 0; }"
    "progressbar.vornask-control trough, progressbar.vornask-control progress { min-height: 20px; }";

// The windows' class (X11 WM_CLASS) and Wayland app id, whatever the executable is called: the
// desktop entries name it in StartupWMClass, so a dock groups the windows under the game's icon.
const char* const windowClass = "Vornask";

// The X server time a startup id ends with ("…_TIME1234"), or GDK_CURRENT_TIME.
guint32 timeOfStartup(const std::string& id) {
  const std::size_t at = id.rfind("_TIME");
  if (at == std::string::npos) return GDK_CURRENT_TIME;
  char* end = nullptr;
  const unsigned long time = std::strtoul(id.c_str() + at + 5, &end, 10);
  return end && *end == '\0' && end != id.c_str() + at + 5 ? static_cast<guint32>(time) : GDK_CURRENT_TIME;
}

gboolean onTimeout(gpointer) {
  return G_SOURCE_REMOVE;
}

class GtkBackend : public detail::Backend {
 public:
  GtkBackend() {
    css_ = gtk_css_provider_new();
    gtk_css_provider_load_from_data(css_, controlCss, -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css_),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  }
  BackendKind kind() const override { return BackendKind::Gtk; }

  void wait(std::optional<detail::Clock::time_point> deadline) override {
    GSource* timeout = nullptr;
    if (deadline) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - detail::Clock::now()).count();
      if (left <= 0) return;
      timeout = g_timeout_source_new(static_cast<guint>(left));
      g_source_set_callback(timeout, onTimeout, nullptr, nullptr);
      g_source_attach(timeout, nullptr);
    }
    g_main_context_iteration(nullptr, TRUE);
    if (timeout) {
      g_source_destroy(timeout);
      g_source_unref(timeout);
    }
  }
  void wake() override { g_main_context_wakeup(nullptr); }
  void pump() override {
    for (int i = 0; i < 200 && g_main_context_pending(nullptr); ++i) g_main_context_iteration(nullptr, FALSE);
  }

  void created(WindowObject& w) override {
    auto* n = new Native;
    w.native = n;
    if (w.topLevel) {
      n->widget = gtk_window_new(GTK_WINDOW_TOPLEVEL);
      n->fixed = gtk::newLooseFixed();
      gtk_container_add(GTK_CONTAINER(n->widget), n->fixed);
      gtk_widget_set_app_paintable(n->fixed, TRUE);
      gtk_widget_show(n->fixed);
      gtk_window_set_title(GTK_WINDOW(n->widget), w.text.c_str());
      const bool sizable = (w.style & style::ThickFrame) != 0;
      gtk_window_set_resizable(GTK_WINDOW(n->widget), sizable);
      if (!sizable) gtk_window_set_type_hint(GTK_WINDOW(n->widget), GDK_WINDOW_TYPE_HINT_DIALOG);
      gtk::connectTopLevel(w);
      geometryChanged(w);
      return;
    }
    switch (w.cls) {
      case ControlClass::Static:
        n->widget = gtk_label_new(w.text.c_str());
        gtk_label_set_xalign(GTK_LABEL(n->widget), (w.style & style::StaticCenter) ? 0.5f : 0.0f);
        gtk_label_set_yalign(GTK_LABEL(n->widget), 0.0f);
        gtk_label_set_ellipsize(GTK_LABEL(n->widget), PANGO_ELLIPSIZE_END);
        break;
      case ControlClass::Edit:
        n->widget = gtk_entry_new();
        gtk_entry_set_width_chars(GTK_ENTRY(n->widget), 1);
        gtk_entry_set_has_frame(GTK_ENTRY(n->widget), (w.style & style::ClientEdge) != 0);
        gtk_entry_set_text(GTK_ENTRY(n->widget), w.text.c_str());
        n->changedId = gtk::connectEntry(w);
        break;
      case ControlClass::Button:
        if ((w.style & 0xF) == style::AutoCheckBox)
          n->widget = gtk_check_button_new_with_label(w.text.c_str());
        else
          n->widget = gtk_button_new_with_label(w.text.c_str());
        gtk_widget_set_focus_on_click(n->widget, FALSE);
        // A long caption must not widen the button past its place.
        if (GtkWidget* label = gtk_bin_get_child(GTK_BIN(n->widget)))
          if (GTK_IS_LABEL(label) && !GTK_IS_CHECK_BUTTON(n->widget))
            gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
        n->clickedId = gtk::connectButton(w);
        break;
      case ControlClass::Progress:
        n->widget = gtk_progress_bar_new();
        break;
      case ControlClass::Host:
        n->widget = n->fixed = gtk::newLooseFixed();
        break;
    }
    gtk_style_context_add_class(gtk_widget_get_style_context(n->widget), "vornask-control");
    gtk_widget_set_sensitive(n->widget, w.enabled);
    Native* parent = native(*w.parent);
    gtk_fixed_put(GTK_FIXED(parent->fixed), n->widget, w.rect.left, w.rect.top);
    gtk_widget_set_size_request(n->widget, w.rect.width(), w.rect.height());
    gtk_widget_set_visible(n->widget, w.visible);
  }

  void destroyed(WindowObject& w) override {
    Native* n = native(w);
    if (!n) return;
    if (n->pulse) g_source_remove(n->pulse);
    if (n->font) g_object_unref(n->font);
    gtk_widget_destroy(n->widget);
    delete n;
    w.native = nullptr;
  }

  void textChanged(WindowObject& w) override {
    Native* n = native(w);
    if (w.topLevel) {
      gtk_window_set_title(GTK_WINDOW(n->widget), w.text.c_str());
    } else if (w.cls == ControlClass::Static) {
      gtk_label_set_text(GTK_LABEL(n->widget), w.text.c_str());
    } else if (w.cls == ControlClass::Edit) {
      g_signal_handler_block(n->widget, n->changedId);
      gtk_entry_set_max_length(GTK_ENTRY(n->widget), w.textLimit);
      gtk_entry_set_text(GTK_ENTRY(n->widget), w.text.c_str());
      g_signal_handler_unblock(n->widget, n->changedId);
    } else if (w.cls == ControlClass::Button) {
      gtk_button_set_label(GTK_BUTTON(n->widget), w.text.c_str());
    }
  }

  void visibilityChanged(WindowObject& w, ShowCommand cmd) override {
    Native* n = native(w);
    if (!w.topLevel) {
      gtk_widget_set_visible(n->widget, cmd != ShowCommand::Hide);
      gtk::updatePulse(w);
      return;
    }
    GtkWindow* win = GTK_WINDOW(n->widget);
    switch (cmd) {
      case ShowCommand::Hide:
        gtk_widget_hide(n->widget);
        return;
      case ShowCommand::Maximize:
        gtk_window_maximize(win);
        break;
      case ShowCommand::ShowNormal:
      case ShowCommand::Restore:
        gtk_window_unmaximize(win);
        break;
      case ShowCommand::Show:
        break;
    }
    if (!gtk_widget_get_visible(n->widget)) gtk_window_move(win, w.rect.left, w.rect.top);
    gtk_widget_show(n->widget);
  }

  void enabledChanged(WindowObject& w) override { gtk_widget_set_sensitive(native(w)->widget, w.enabled); }

  void checkChanged(WindowObject& w) override {
    Native* n = native(w);
    if (!GTK_IS_TOGGLE_BUTTON(n->widget)) return;
    g_signal_handler_block(n->widget, n->clickedId);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(n->widget), w.checked);
    g_signal_handler_unblock(n->widget, n->clickedId);
  }

  void progressChanged(WindowObject& w) override {
    Native* n = native(w);
    if (w.cls != ControlClass::Progress) return;
    const ProgressState& p = w.progress;
    const double span = static_cast<double>(p.high) - p.low;
    if (!p.marquee)
      gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(n->widget), span > 0 ? (p.pos - p.low) / span : 0.0);
    gtk::updatePulse(w);
  }

  void geometryChanged(WindowObject& w) override {
    Native* n = native(w);
    if (!w.topLevel) {
      gtk_fixed_move(GTK_FIXED(native(*w.parent)->fixed), n->widget, w.rect.left, w.rect.top);
      gtk_widget_set_size_request(n->widget, w.rect.width(), w.rect.height());
      return;
    }
    GtkWindow* win = GTK_WINDOW(n->widget);
    gtk_window_move(win, w.rect.left, w.rect.top);
    if (gtk_window_get_resizable(win)) {
      gtk_widget_set_size_request(n->fixed, 1, 1);
      gtk_window_set_default_size(win, w.rect.width(), w.rect.height());
      gtk_window_resize(win, w.rect.width(), w.rect.height());
    } else {
      gtk_widget_set_size_request(n->fixed, w.rect.width(), w.rect.height());
    }
  }

  void fontChanged(WindowObject& w) override {
    Native* n = native(w);
    GtkStyleContext* sc = gtk_widget_get_style_context(n->widget);
    if (n->font) {
      gtk_style_context_remove_provider(sc, GTK_STYLE_PROVIDER(n->font));
      g_object_unref(n->font);
      n->font = nullptr;
    }
    const std::string name = detail::fontName(w.font);
    if (name.empty()) return;
    PangoFontDescription* d = pango_font_description_from_string(name.c_str());
    gchar* css =
        g_strdup_printf("* { font-family: \"%s\"; font-size: %dpt; }",
                        pango_font_description_get_family(d) ? pango_font_description_get_family(d) : "Sans",
                        std::max(1, pango_font_description_get_size(d) / PANGO_SCALE));
    pango_font_description_free(d);
    n->font = gtk_css_provider_new();
    gtk_css_provider_load_from_data(n->font, css, -1, nullptr);
    g_free(css);
    gtk_style_context_add_provider(sc, GTK_STYLE_PROVIDER(n->font),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 1);
    // Labels inside buttons take the font too.
    if (GTK_IS_BIN(n->widget))
      if (GtkWidget* child = gtk_bin_get_child(GTK_BIN(n->widget)))
        gtk_style_context_add_provider(gtk_widget_get_style_context(child), GTK_STYLE_PROVIDER(n->font),
                                       GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 1);
  }

  void redraw(WindowObject& w) override { gtk_widget_queue_draw(native(w)->widget); }

  void focus(WindowObject& w) override {
    Native* n = native(w);
    if (w.topLevel)
      gtk_window_present(GTK_WINDOW(n->widget));
    else if (w.cls == ControlClass::Host)
      gtk::focusInside(n->widget);
    else
      gtk_widget_grab_focus(n->widget);
  }

  void bringToFront(WindowObject& w, const std::string& activationToken) override {
    GtkWindow* window = GTK_WINDOW(native(w)->widget);
    // The token names the start the user made; the desktop lets the window take the focus for it.
    if (!activationToken.empty()) gtk_window_set_startup_id(window, activationToken.c_str());
    gtk_window_present_with_time(window, timeOfStartup(activationToken));
  }

  void setIcon(WindowObject& w, const unsigned char* png, std::size_t size) override {
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    if (gdk_pixbuf_loader_write(loader, png, size, nullptr) && gdk_pixbuf_loader_close(loader, nullptr)) {
      if (GdkPixbuf* pix = gdk_pixbuf_loader_get_pixbuf(loader))
        gtk_window_set_icon(GTK_WINDOW(native(w)->widget), pix);
    } else {
      gdk_pixbuf_loader_close(loader, nullptr);
    }
    g_object_unref(loader);
  }

  void* nativeContainer(WindowObject& w) override { return native(w) ? native(w)->fixed : nullptr; }

  Rect workArea(WindowObject* w) override {
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* monitor = nullptr;
    if (w) w = detail::topLevelOf(w);
    if (w && native(*w) && gtk_widget_get_window(native(*w)->widget))
      monitor = gdk_display_get_monitor_at_window(display, gtk_widget_get_window(native(*w)->widget));
    if (!monitor) monitor = gtk::primaryMonitor();
    GdkRectangle r{0, 0, 0, 0};
    if (monitor) gdk_monitor_get_workarea(monitor, &r);
    return Rect{r.x, r.y, r.x + r.width, r.y + r.height};
  }

  Rect screen() override {
    GdkRectangle r{0, 0, 0, 0};
    if (GdkMonitor* m = gtk::primaryMonitor()) gdk_monitor_get_geometry(m, &r);
    return Rect{r.x, r.y, r.x + r.width, r.y + r.height};
  }

  std::string defaultFontName() override {
    gchar* name = nullptr;
    g_object_get(gtk_settings_get_default(), "gtk-font-name", &name, nullptr);
    std::string result = name ? name : "Sans 9";
    g_free(name);
    return result;
  }

  void messageBox(WindowObject* owner, const std::string& text, const std::string& caption,
                  MessageIcon icon) override {
    gtk::messageBox(parentOf(owner), text, caption, icon);
  }

  std::optional<std::string> browseForFolder(WindowObject* owner, const std::string& title,
                                             const std::string& initial) override {
    return gtk::browseForFolder(parentOf(owner), title, initial);
  }

 private:
  static GtkWindow* parentOf(WindowObject* owner) {
    owner = detail::topLevelOf(owner);
    return owner && owner->native ? GTK_WINDOW(native(*owner)->widget) : nullptr;
  }

  GtkCssProvider* css_;
};

}  // namespace

namespace detail {
std::unique_ptr<Backend> makeGtkBackend() {
  g_set_prgname(windowClass);
  gdk_set_program_class(windowClass);
  if (!gtk_init_check(nullptr, nullptr)) return nullptr;
  return std::make_unique<GtkBackend>();
}
}  // namespace detail
}  // namespace platform::ui
