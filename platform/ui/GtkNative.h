#pragma once

// The GTK back end's widgets, shared by its parts: the back end mirrors the window objects,
// the events turn GTK signals into messages, the dialogs and the screen queries.
#include <gtk/gtk.h>

#include <optional>
#include <string>

#include "platform/ui/Backend.h"

namespace platform::ui::gtk {

using detail::WindowObject;

struct Native {
  GtkWidget* widget = nullptr;
  GtkWidget* fixed = nullptr;  // top-level windows: holds the controls
  gulong clickedId = 0;
  gulong changedId = 0;
  GtkCssProvider* font = nullptr;
  guint pulse = 0;
};

inline Native* native(WindowObject& w) {
  return static_cast<Native*>(w.native);
}
inline gpointer tag(WindowObject& w) {
  return w.handle;
}
inline WindowObject* fromTag(gpointer p) {
  return detail::find(static_cast<WindowHandle>(p));
}

// Events (GtkEvents.cpp): signals of a top-level window and its controls become the
// window's messages.
void connectTopLevel(WindowObject& w);
gulong connectEntry(WindowObject& w);
gulong connectButton(WindowObject& w);
// Starts or stops the marquee of a shown progress bar.
void updatePulse(WindowObject& w);
// A GtkFixed that asks for no size of its own: its children (placed and sized
// by our code) never stop the window from shrinking, and a host control keeps
// the size set for it whatever is put into it.
GtkWidget* newLooseFixed();
// Gives the focus to the first focusable widget inside `host`, unless one inside has it.
void focusInside(GtkWidget* host);

// Dialogs and the screen (GtkDialogs.cpp).
GdkMonitor* primaryMonitor();
void messageBox(GtkWindow* parent, const std::string& text, const std::string& caption, MessageIcon icon);
std::optional<std::string> browseForFolder(GtkWindow* parent, const std::string& title,
                                           const std::string& initial);

}  // namespace platform::ui::gtk
