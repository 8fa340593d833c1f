#include <chrono>

#include "platform/ui/GtkNative.h"
#include "platform/ui/MessageLoop.h"

namespace platform::ui::gtk {
namespace {

class CairoContext : public PaintContext {
 public:
  explicit CairoContext(cairo_t* cr) : cr_(cr) {}
  void fillRect(const Rect& r, Color c) override {
    cairo_set_source_rgb(cr_, (c & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, ((c >> 16) & 0xFF) / 255.0);
    cairo_rectangle(cr_, r.left, r.top, r.width(), r.height());
    cairo_fill(cr_);
  }

 private:
  cairo_t* cr_;
};

gboolean onDraw(GtkWidget*, cairo_t* cr, gpointer p) {
  if (WindowObject* w = fromTag(p)) {
    CairoContext ctx(cr);
    detail::erase(*w, ctx);
  }
  return FALSE;
}

gboolean onDelete(GtkWidget*, GdkEvent*, gpointer p) {
  if (WindowObject* w = fromTag(p)) postMessage(w->handle, WmClose, 0, 0);
  return TRUE;
}

// A window manager's moves on the way to full screen or maximised come in one
// burst of events with the state change.
constexpr auto onTheWay = std::chrono::milliseconds(500);

gboolean onConfigure(GtkWidget* widget, GdkEventConfigure*, gpointer p) {
  WindowObject* w = fromTag(p);
  if (!w) return FALSE;
  int x = 0, y = 0, cw = 0, ch = 0;
  gtk_window_get_position(GTK_WINDOW(widget), &x, &y);
  gtk_window_get_size(GTK_WINDOW(widget), &cw, &ch);
  const Rect r{x, y, x + cw, y + ch};
  if (r == w->rect) return FALSE;
  const bool resized = r.width() != w->rect.width() || r.height() != w->rect.height();
  w->rect = r;
  if (!w->maximized && !w->fullScreen) {
    const auto now = std::chrono::steady_clock::now();
    if (w->movedTo && now - w->movedAt >= onTheWay) w->normal = *w->movedTo;
    w->movedTo = r;
    w->movedAt = now;
  }
  if (resized) detail::callHandler(*w, WmSize, 0, 0);
  return FALSE;
}

gboolean onWindowState(GtkWidget*, GdkEventWindowState* e, gpointer p) {
  WindowObject* w = fromTag(p);
  if (!w) return FALSE;
  constexpr auto large = GDK_WINDOW_STATE_MAXIMIZED | GDK_WINDOW_STATE_FULLSCREEN;
  const bool growing = (e->changed_mask & large) && (e->new_window_state & large);
  if (w->movedTo && !(growing && std::chrono::steady_clock::now() - w->movedAt < onTheWay))
    w->normal = *w->movedTo;
  if (growing || w->movedTo) w->movedTo.reset();
  w->maximized = (e->new_window_state & GDK_WINDOW_STATE_MAXIMIZED) != 0;
  w->fullScreen = (e->new_window_state & GDK_WINDOW_STATE_FULLSCREEN) != 0;
  return FALSE;
}

gboolean onFocusIn(GtkWidget*, GdkEvent*, gpointer p) {
  if (WindowObject* w = fromTag(p)) detail::callHandler(*w, WmSetFocus, 0, 0);
  return FALSE;
}

gboolean onKeyPress(GtkWidget* widget, GdkEventKey* e, gpointer p) {
  WindowObject* w = fromTag(p);
  if (!w || (e->keyval != GDK_KEY_Return && e->keyval != GDK_KEY_KP_Enter)) return FALSE;
  postMessage(w->handle, WmKeyDown, VkReturn, 0);
  // Plain controls do nothing with Enter themselves; the window's owner decides.
  GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(widget));
  return focus && gtk_style_context_has_class(gtk_widget_get_style_context(focus), "vornask-control");
}

void onClicked(GtkButton* button, gpointer p) {
  WindowObject* w = fromTag(p);
  if (!w) return;
  if (GTK_IS_TOGGLE_BUTTON(button)) {
    w->checked = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(button));
    detail::consoleChanged(*w);
  }
  if (WindowObject* top = detail::topLevelOf(w))
    postMessage(top->handle, WmCommand, 0, reinterpret_cast<LParam>(w->handle));
}

void onEntryChanged(GtkEditable* e, gpointer p) {
  if (WindowObject* w = fromTag(p)) w->text = gtk_entry_get_text(GTK_ENTRY(e));
}

gboolean onPulse(gpointer p) {
  WindowObject* w = fromTag(p);
  if (!w || !native(*w)) return G_SOURCE_REMOVE;
  gtk_progress_bar_pulse(GTK_PROGRESS_BAR(native(*w)->widget));
  return G_SOURCE_CONTINUE;
}

void measureNothing(GtkWidget*, gint* minimum, gint* natural) {
  *minimum = *natural = 1;
}
void looseFixedClassInit(gpointer cls, gpointer) {
  GTK_WIDGET_CLASS(cls)->get_preferred_width = measureNothing;
  GTK_WIDGET_CLASS(cls)->get_preferred_height = measureNothing;
}
}  // namespace

GtkWidget* newLooseFixed() {
  static const GType type =
      g_type_register_static_simple(GTK_TYPE_FIXED, "VornaskLooseFixed", sizeof(GtkFixedClass),
                                    looseFixedClassInit, sizeof(GtkFixed), nullptr, GTypeFlags(0));
  return GTK_WIDGET(g_object_new(type, nullptr));
}

void focusInside(GtkWidget* host) {
  GtkWidget* top = gtk_widget_get_toplevel(host);
  GtkWidget* focused = GTK_IS_WINDOW(top) ? gtk_window_get_focus(GTK_WINDOW(top)) : nullptr;
  if (focused && gtk_widget_is_ancestor(focused, host)) return;
  gtk_widget_child_focus(host, GTK_DIR_TAB_FORWARD);
}

void connectTopLevel(WindowObject& w) {
  Native* n = native(w);
  g_signal_connect(n->fixed, "draw", G_CALLBACK(onDraw), tag(w));
  g_signal_connect(n->widget, "delete-event", G_CALLBACK(onDelete), tag(w));
  g_signal_connect(n->widget, "configure-event", G_CALLBACK(onConfigure), tag(w));
  g_signal_connect(n->widget, "window-state-event", G_CALLBACK(onWindowState), tag(w));
  g_signal_connect(n->widget, "focus-in-event", G_CALLBACK(onFocusIn), tag(w));
  g_signal_connect(n->widget, "key-press-event", G_CALLBACK(onKeyPress), tag(w));
}

gulong connectEntry(WindowObject& w) {
  return g_signal_connect(native(w)->widget, "changed", G_CALLBACK(onEntryChanged), tag(w));
}

gulong connectButton(WindowObject& w) {
  return g_signal_connect(native(w)->widget, "clicked", G_CALLBACK(onClicked), tag(w));
}

void updatePulse(WindowObject& w) {
  Native* n = native(w);
  const bool on = w.cls == ControlClass::Progress && w.progress.marquee && w.visible;
  if (on && !n->pulse) n->pulse = g_timeout_add(100, onPulse, tag(w));
  if (!on && n->pulse) {
    g_source_remove(n->pulse);
    n->pulse = 0;
  }
}

}  // namespace platform::ui::gtk
