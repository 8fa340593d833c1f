#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "support/Text.h"
#include "tests/player/MovieFixture.h"

// X11 last: its macros (None, Bool, Status) clash with names in the headers above.
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

namespace vtest {
namespace {

class ViewTest : public MovieFixture {
 protected:
  // The colour at (x, y) of the window as the X server shows it, 0xRRGGBB, or -1.
  long pixel(int x, int y) {
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(gtk_widget_get_window(control->window()), x, y, 1, 1);
    if (!shot) return -1;
    const guchar* p = gdk_pixbuf_get_pixels(shot);
    const long colour = (long(p[0]) << 16) | (p[1] << 8) | p[2];
    g_object_unref(shot);
    return colour;
  }
  bool showsColour(int x, int y, long colour) {
    return pumpUntil([&] { return pixel(x, y) == colour; }, 30000);
  }
  // The window's pixels (RGB rows) once two looks in a row agree.
  std::string settledShot(int width, int height) {
    std::string last = shot(width, height), now;
    pumpUntil(
        [&] {
          now = shot(width, height);
          return std::exchange(last, now) == now;
        },
        10000);
    return now;
  }
  std::string shot(int width, int height) {
    GdkPixbuf* pixbuf =
        gdk_pixbuf_get_from_window(gtk_widget_get_window(control->window()), 0, 0, width, height);
    if (!pixbuf) return {};
    std::string rows;
    for (int y = 0; y < height; ++y)
      rows.append(
          reinterpret_cast<const char*>(gdk_pixbuf_get_pixels(pixbuf)) + y * gdk_pixbuf_get_rowstride(pixbuf),
          static_cast<std::size_t>(width) * gdk_pixbuf_get_n_channels(pixbuf));
    g_object_unref(pixbuf);
    return rows;
  }
  void call(const std::string& name, const std::string& arguments) {
    control->callFunction(mstd::utf8ToUtf16(invoke(name, arguments), mstd::Malformed::Replace));
  }
  GtkWidget* view() {
    GtkWidget* fixed = gtk_bin_get_child(GTK_BIN(control->window()));
    GList* children = gtk_container_get_children(GTK_CONTAINER(fixed));
    GtkWidget* first = children ? GTK_WIDGET(children->data) : nullptr;
    g_list_free(children);
    return first;
  }
};

constexpr long background = 0x2060C0;
constexpr long box = 0xF0A020;

TEST_F(ViewTest, TheMovieFillsTheHostAreaAndFollowsItsSize) {
  play(640, 480);
  control->callFunction(mstd::utf8ToUtf16(invoke("stage", ""), mstd::Malformed::Replace));
  // The stage also reports itself on every resize: any of its reports may come first or last.
  EXPECT_TRUE(sawCall(invoke("stageSize", "<number>640</number><number>480</number>"), 30000))
      << control->calls().back();
  EXPECT_TRUE(showsColour(100, 150, box));
  EXPECT_TRUE(showsColour(630, 470, background));

  const std::size_t before = control->calls().size();
  control->resize(900, 700);
  ASSERT_TRUE(pumpUntil(
      [&] {
        for (std::size_t i = before; i < control->calls().size(); ++i)
          if (control->calls()[i] == invoke("stageSize", "<number>900</number><number>700</number>"))
            return true;
        return false;
      },
      30000));
  EXPECT_TRUE(showsColour(890, 690, background));
  GtkAllocation allocation;
  gtk_widget_get_allocation(view(), &allocation);
  EXPECT_EQ(allocation.width, 900);
  EXPECT_EQ(allocation.height, 700);

  GdkPixbuf* shot = gdk_pixbuf_get_from_window(gtk_widget_get_window(control->window()), 0, 0, 900, 700);
  ASSERT_NE(shot, nullptr);
  const std::string file = (buildDir() / "tests" / "player" / "probe-playing.png").string();
  EXPECT_TRUE(gdk_pixbuf_save(shot, file.c_str(), "png", nullptr, nullptr));
  g_object_unref(shot);
}

// Still frames are not painted again; the frame that changes the stage is.
TEST_F(ViewTest, AChangeAfterStillFramesIsPainted) {
  play();
  ASSERT_TRUE(showsColour(100, 150, box));
  for (const long colour : {0x20C060L, 0xC02040L, box}) {
    SCOPED_TRACE(colour);
    pumpFor(1000);
    control->callFunction(mstd::utf8ToUtf16(
        invoke("paint", "<number>" + std::to_string(colour) + "</number>"), mstd::Malformed::Replace));
    EXPECT_TRUE(showsColour(100, 150, colour));
    EXPECT_TRUE(showsColour(300, 200, background));
  }
}

// A text that changes is painted again only around itself; the stage then is what painting all
// of it gives.
TEST_F(ViewTest, AChangedTextLeavesTheStageAsAWholePaintingDoes) {
  play();
  ASSERT_TRUE(showsColour(100, 150, box));
  std::string before = settledShot(640, 480);
  for (const char* text : {"Пинг: 1234 мс", "Пинг: 7 мс", "ёЁ", "Пинг: 7 мс"}) {
    SCOPED_TRACE(text);
    call("label", "<string>" + std::string(text) + "</string>");
    ASSERT_TRUE(pumpUntil([&] { return shot(640, 480) != before; }, 10000));
    before = settledShot(640, 480);
  }
  // A cover over all of the stage, taken away again: the whole stage is painted anew.
  call("cover", "<true/>");
  ASSERT_TRUE(showsColour(300, 200, 0x30A050));
  call("cover", "<false/>");
  ASSERT_TRUE(showsColour(300, 200, background));
  EXPECT_TRUE(pumpUntil([&] { return shot(640, 480) == before; }, 10000));
}

TEST_F(ViewTest, TheViewTakesKeyboardFocusAndTheMovieGetsMouseAndKeys) {
  play();
  ASSERT_NE(view(), nullptr);
  EXPECT_TRUE(gtk_widget_has_focus(view()) || gtk_window_get_focus(GTK_WINDOW(control->window())) == view());
  ASSERT_TRUE(showsColour(300, 200, background));

  Display* display = GDK_WINDOW_XDISPLAY(gtk_widget_get_window(control->window()));
  int x = 0, y = 0;
  gdk_window_get_origin(gtk_widget_get_window(control->window()), &x, &y);
  XTestFakeMotionEvent(display, -1, x + 300, y + 200, CurrentTime);
  XTestFakeButtonEvent(display, 1, True, CurrentTime);
  XTestFakeButtonEvent(display, 1, False, CurrentTime);
  XFlush(display);
  const int down = control->waitForCall("mouseDown", 10000);
  ASSERT_GE(down, 0);
  EXPECT_EQ(control->calls()[down], invoke("mouseDown", "<number>300</number><number>200</number>"));

  const KeyCode a = XKeysymToKeycode(display, XK_a);
  XTestFakeKeyEvent(display, a, True, CurrentTime);
  XTestFakeKeyEvent(display, a, False, CurrentTime);
  XFlush(display);
  const int key = control->waitForCall("keyDown", 10000);
  ASSERT_GE(key, 0);
  EXPECT_EQ(control->calls()[key], invoke("keyDown", "<number>65</number>"));
}

}  // namespace
}  // namespace vtest
