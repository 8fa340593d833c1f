#pragma once

// What a user and a window manager do to a window, and what a user sees of
// it, through XTest and Xlib.
// Include after the C++ headers: Xlib's macros clash with them.
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
// clang-format on

#include <string>

namespace vtest {

// The first viewable top-level window called `name` (and `width` wide, unless 0).
inline Window findViewable(Display* d, const char* name, int width = 0) {
  Window root = DefaultRootWindow(d), parent, *children = nullptr;
  unsigned n = 0;
  Window found = 0;
  if (!XQueryTree(d, root, &root, &parent, &children, &n)) return 0;
  for (unsigned i = 0; i < n && !found; ++i) {
    char* title = nullptr;
    XWindowAttributes a;
    if (XFetchName(d, children[i], &title) && title && std::string(title) == name &&
        XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable &&
        (width == 0 || a.width == width))
      found = children[i];
    if (title) XFree(title);
  }
  if (children) XFree(children);
  return found;
}

// A left click at a point of the screen, as a user's mouse makes it.
inline void click(Display* d, int x, int y) {
  XTestFakeMotionEvent(d, 0, x, y, CurrentTime);
  XTestFakeButtonEvent(d, 1, True, CurrentTime);
  XTestFakeButtonEvent(d, 1, False, 50);
  XFlush(d);
}

// What a window manager sends for the caption's close button.
inline void closeWindow(Display* d, Window w) {
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = w;
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, w, False, NoEventMask, &e);
  XFlush(d);
}

// Whether a window manager has taken `w` into a frame of its own.
inline bool managed(Display* d, Window w) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned n = 0;
  if (!XQueryTree(d, w, &root, &parent, &children, &n)) return false;
  if (children) XFree(children);
  return parent != root;
}

// The RGB colour of one pixel of a window, or ~0 when it cannot be read.
inline unsigned long pixelAt(Display* d, Window w, int x, int y) {
  XImage* img = XGetImage(d, w, x, y, 1, 1, AllPlanes, ZPixmap);
  if (!img) return ~0ul;
  const unsigned long p = XGetPixel(img, 0, 0) & 0xFFFFFF;
  XDestroyImage(img);
  return p;
}

}  // namespace vtest
