// The movie as a player meets it: sound from the first frame, saved data kept
// from one start of the client to the next, full screen on a click, the
// clipboard both ways. Starts of the client are child runs of this program.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>

#include "support/Text.h"
#include "tests/common/ChildProcess.h"
#include "tests/common/WaitFor.h"
#include "tests/player/MovieFixture.h"

// X11 last: its macros clash with the headers above.
#include <X11/keysym.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include "tests/platform/XInput.h"

namespace fs = std::filesystem;

namespace vtest {
namespace {

using platform::com::S_OK;

bool inputEnded() {
  pollfd in{0, POLLIN, 0};
  char c;
  return ::poll(&in, 1, 0) == 1 && ::read(0, &c, 1) <= 0;
}

// A child run: plays VORNASK_PLAY_MOVIE as the client does, writes each call of
// the movie and the player's records to standard error, ends when its input does.
TEST(PlayOnce, Plays) {
  const char* movie = std::getenv("VORNASK_PLAY_MOVIE");
  if (!movie) GTEST_SKIP() << "a child run of the tests below";
  ::dup2(2, 1);
  HostedControl control;
  ASSERT_TRUE(control.created()) << PlayerLibrary::get().problem;
  ASSERT_EQ(control.load(movie), S_OK);
  std::size_t told = 0;
  pumpUntil(
      [&] {
        for (; told < control.calls().size(); ++told)
          std::cerr << "call: " << control.calls()[told] << std::endl;
        return inputEnded();
      },
      300000);
}

class PlayRuns : public Sandbox {
 protected:
  void SetUp() override {
    Sandbox::SetUp();
    if (!Xvfb::installed()) GTEST_SKIP() << "Xvfb is not installed";
    fs::create_directories(path("game"));
    fs::copy_file(buildDir() / "tests" / "player" / "movies" / "play.swf", path("game/main.swf"));
  }

  std::unique_ptr<ChildProcess> start(std::map<std::string, std::string> env = {}) {
    env["VORNASK_PLAY_MOVIE"] = path("game/main.swf").string();
    env["VORNASK_TEST_DATA_HOME"] = path("data").string();
    return std::make_unique<ChildProcess>(fs::read_symlink("/proc/self/exe").string(),
                                          std::vector<std::string>{"--gtest_filter=PlayOnce.Plays"}, env,
                                          dir().string());
  }

  // The movie's start count after one start and end of the client, or "".
  std::string oneStart() {
    auto run = start();
    std::string starts;
    run->waitLine(
        [&](const std::string& line) {
          const std::string head = "call: " + invoke("starts", "");
          if (line.rfind(head.substr(0, head.find("<arguments>")), 0) != 0) return false;
          return starts = line, true;
        },
        60000);
    run->closeInput();
    EXPECT_EQ(run->wait(30000), 0) << run->errorOutput();
    return starts.empty() ? run->errorOutput() : starts.substr(6);
  }
};

std::string started(int count) {
  return invoke("starts", "<number>" + std::to_string(count) + "</number><string>flushed</string>");
}

TEST_F(PlayRuns, SavedDataIsKeptFromStartToStartAndADamagedStoreIsSetAside) {
  EXPECT_EQ(oneStart(), started(1));
  EXPECT_EQ(oneStart(), started(2));
  const fs::path store = path("data/Ondrel/Vornask/movies");
  std::vector<fs::path> databases;
  for (const auto& entry : fs::recursive_directory_iterator(store))
    if (entry.path().extension() == ".localstorage") databases.push_back(entry.path());
  ASSERT_FALSE(databases.empty());

  for (const fs::path& db : databases) writeFile(fs::relative(db, dir()).string(), "damaged, not SQLite");
  auto run = start();
  EXPECT_TRUE(run->waitLine(
      [](const std::string& l) {
        return l.find("WRN") != std::string::npos && l.find("set aside") != std::string::npos;
      },
      60000));
  EXPECT_TRUE(run->waitLine([](const std::string& l) { return l == "call: " + started(1); }, 60000))
      << run->errorOutput();
  run->closeInput();
  EXPECT_EQ(run->wait(30000), 0);
  int setAside = 0;
  for (const auto& entry : fs::recursive_directory_iterator(path("data/Ondrel/Vornask")))
    setAside += entry.path().string().find("/damaged-") != std::string::npos &&
                readFile(fs::relative(entry.path(), dir()).string()) == "damaged, not SQLite";
  EXPECT_EQ(setAside, static_cast<int>(databases.size()));
  EXPECT_EQ(oneStart(), started(2));
}

class PlayView : public MovieFixture {
 protected:
  void SetUp() override {
    MovieFixture::SetUp();
    if (!IsSkipped()) useMovie("play");
  }
  std::string callMovie(const std::string& name, const std::string& arguments, const std::string& answer) {
    const std::size_t from = control->calls().size();
    control->callFunction(mstd::utf8ToUtf16(invoke(name, arguments), mstd::Malformed::Replace));
    const int at = control->waitForCall(answer, 30000, from);
    return at < 0 ? std::string() : control->calls()[at];
  }
};

// Past the store's quota SharedObject.flush fails in the movie, which plays on.
TEST_F(PlayView, ASharedObjectPastTheQuotaFailsToFlush) {
  play();
  const struct {
    int chars;
    const char* result;
  } cases[] = {{100000, "flushed"}, {6000000, "failed"}, {1000, "flushed"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.chars);
    EXPECT_EQ(callMovie("hoard", "<number>" + std::to_string(c.chars) + "</number>", "hoarded"),
              invoke("hoarded", std::string("<string>") + c.result + "</string>"));
  }
}

// A window manager on the player's display for the life of the object.
class WindowManager {
 public:
  explicit WindowManager(const std::string& folder)
      : process_("/usr/bin/openbox", {"--sm-disable"}, {{"DISPLAY", std::getenv("DISPLAY")}}, folder) {}
  bool ready() {
    return pumpUntil(
        [] {
          return gdk_x11_screen_supports_net_wm_hint(
              gdk_screen_get_default(), gdk_atom_intern_static_string("_NET_WM_STATE_FULLSCREEN"));
        },
        20000);
  }

 private:
  ChildProcess process_;
};

// The colour at (x, y) of the screen, 0xRRGGBB, or -1.
long rootPixel(int x, int y) {
  GdkPixbuf* shot = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), x, y, 1, 1);
  if (!shot) return -1;
  const guchar* p = gdk_pixbuf_get_pixels(shot);
  const long colour = (long(p[0]) << 16) | (p[1] << 8) | p[2];
  g_object_unref(shot);
  return colour;
}

class FullScreen : public PlayView {
 protected:
  GdkWindow* window() { return gtk_widget_get_window(control->window()); }
  Display* display() { return GDK_WINDOW_XDISPLAY(window()); }
  bool fullScreen() { return gdk_window_get_state(window()) & GDK_WINDOW_STATE_FULLSCREEN; }
  bool sized(int width, int height) {
    return pumpUntil(
        [&] { return gdk_window_get_width(window()) == width && gdk_window_get_height(window()) == height; },
        20000);
  }
  // Waits for the movie's fullScreen event after `from`; its argument or "".
  std::string fullScreenEvent(std::size_t from) {
    const int at = control->waitForCall("fullScreen", 30000, from);
    return at < 0 ? std::string() : control->calls()[at];
  }
  bool sawCallAfter(std::size_t from, const std::string& wanted) {
    return pumpUntil(
        [&] {
          const auto& calls = control->calls();
          return std::find(calls.begin() + static_cast<long>(from), calls.end(), wanted) != calls.end();
        },
        20000);
  }
  void click(int stageX, int stageY) {
    int x = 0, y = 0;
    gdk_window_get_origin(window(), &x, &y);
    XTestFakeMotionEvent(display(), -1, x + stageX, y + stageY, CurrentTime);
    XTestFakeButtonEvent(display(), 1, True, CurrentTime);
    XTestFakeButtonEvent(display(), 1, False, CurrentTime);
    XFlush(display());
  }
  void pressKey(KeySym key) {
    const KeyCode code = XKeysymToKeycode(display(), key);
    XTestFakeKeyEvent(display(), code, True, CurrentTime);
    XTestFakeKeyEvent(display(), code, False, CurrentTime);
    XFlush(display());
  }
  // What a window manager's full-screen key does: the state taken away by the manager.
  void managerLeavesFullScreen() {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = GDK_WINDOW_XID(window());
    e.xclient.message_type = XInternAtom(display(), "_NET_WM_STATE", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = 0;  // remove
    e.xclient.data.l[1] = static_cast<long>(XInternAtom(display(), "_NET_WM_STATE_FULLSCREEN", False));
    e.xclient.data.l[3] = 2;  // a pager or the manager's own key, not the program
    XSendEvent(display(), DefaultRootWindow(display()), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XFlush(display());
  }
};

TEST_F(FullScreen, AClickIntoTheStageFillsTheScreenAndEscOrTheManagerReturns) {
  if (::access("/usr/bin/openbox", X_OK) != 0) GTEST_SKIP() << "openbox is not installed";
  WindowManager manager(dir().string());
  ASSERT_TRUE(manager.ready());
  play(640, 480);
  ASSERT_TRUE(sized(640, 480));
  // The view follows its window, as the game window keeps it.
  g_signal_connect(
      control->window(), "configure-event", G_CALLBACK(+[](GtkWidget*, GdkEventConfigure* e, gpointer flash) {
        void* attach = nullptr;
        auto* control = static_cast<platform::com::IShockwaveFlash*>(flash);
        if (platform::com::SUCCEEDED(control->QueryInterface(platform::com::IID_IControlAttach, &attach))) {
          static_cast<platform::com::IControlAttach*>(attach)->SetExtent(e->width, e->height);
          static_cast<platform::com::IControlAttach*>(attach)->Release();
        }
        return FALSE;
      }),
      control->flash());
  // A manager still starting up may miss a window mapped meanwhile; it takes one mapped again.
  bool framed = false;
  for (int mapping = 0; mapping < 10 && !framed; ++mapping) {
    if (mapping > 0) {
      gtk_widget_hide(control->window());
      gtk_widget_show(control->window());
    }
    framed = pumpUntil([&] { return managed(display(), GDK_WINDOW_XID(window())); }, 2000);
  }
  ASSERT_TRUE(framed);
  const struct {
    const char* name;
    std::function<void()> leave;
  } ways[] = {{"Esc", [&] { pressKey(XK_Escape); }}, {"window manager", [&] { managerLeavesFullScreen(); }}};
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    std::size_t from = control->calls().size();
    // A manager that has only just framed the window may let the first request pass.
    pumpUntil(
        [&] {
          click(300, 300);
          return control->waitForCall("fullScreen", 2000, from) >= 0;
        },
        30000);
    EXPECT_EQ(fullScreenEvent(from), invoke("fullScreen", "<true/>"));
    EXPECT_TRUE(sized(1920, 1040));
    EXPECT_TRUE(fullScreen());
    EXPECT_TRUE(sawCallAfter(from, invoke("stageSize", "<number>1920</number><number>1040</number>")));
    // The stage, green, fills the screen to its far corner.
    EXPECT_TRUE(pumpUntil([] { return rootPixel(1900, 1020) == 0x208040; }, 20000))
        << std::hex << rootPixel(1900, 1020);
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), 0, 0, 1920, 1040);
    ASSERT_NE(shot, nullptr);
    EXPECT_TRUE(
        gdk_pixbuf_save(shot,
                        (buildDir() / "tests" / "player" /
                         ("play-full-screen-" + std::string(way.name[0] == 'E' ? "esc" : "wm") + ".png"))
                            .c_str(),
                        "png", nullptr, nullptr));
    g_object_unref(shot);

    from = control->calls().size();
    way.leave();
    EXPECT_EQ(fullScreenEvent(from), invoke("fullScreen", "<false/>"));
    EXPECT_TRUE(sized(640, 480));
    EXPECT_FALSE(fullScreen());
    EXPECT_TRUE(sawCallAfter(from, invoke("stageSize", "<number>640</number><number>480</number>")));
  }
}

class Clipboard : public FullScreen {
 protected:
  // Ctrl+key, Ctrl held until `done`, as a hand leaves it down a moment.
  bool pressWithControl(KeySym key, const std::function<bool()>& done) {
    const KeyCode control = XKeysymToKeycode(display(), XK_Control_L);
    XTestFakeKeyEvent(display(), control, True, CurrentTime);
    pressKey(key);
    const bool held = pumpUntil(done, 10000);
    XTestFakeKeyEvent(display(), control, False, CurrentTime);
    XFlush(display());
    return held;
  }
  std::string clipboardText() {
    gchar* text = gtk_clipboard_wait_for_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD));
    std::string out = text ? text : "";
    g_free(text);
    return out;
  }
};

// Ctrl+C and Ctrl+X take a selection of the movie's text field to the desktop's
// clipboard; Ctrl+X also takes it out of the field, Ctrl+C leaves the field as it was.
TEST_F(Clipboard, CtrlCAndCtrlXCopyASelectionToTheDesktopClipboard) {
  play();
  // Into the field, as a player does. WebKit may deliver a click after keys
  // pressed later, and a late one would drop the selection made below.
  const std::size_t from = control->calls().size();
  click(100, 38);
  ASSERT_GE(control->waitForCall("fieldClicked", 30000, from), 0);
  const struct {
    const char* name;
    int begin, end;
    KeySym key;
    const char* clipboard;
    const char* field;  // the field's text afterwards
  } cases[] = {
      {"copy", 0, 6, XK_c, "привет", "привет мир"},
      {"cut", 6, 10, XK_x, " мир", "привет"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), "-", -1);
    const std::string range =
        "<number>" + std::to_string(c.begin) + "</number><number>" + std::to_string(c.end) + "</number>";
    EXPECT_EQ(callMovie("select", range, "selected"), invoke("selected", range));
    EXPECT_TRUE(pressWithControl(c.key, [&] { return clipboardText() == c.clipboard; })) << clipboardText();
    EXPECT_EQ(callMovie("report", "", "text"),
              invoke("text", std::string("<string>") + c.field + "</string>"));
  }
}

// parec's raw sound of a PulseAudio sink's monitor, read from a pipe.
class Recorder {
 public:
  Recorder(const std::string& runtime, const std::string& source) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(fds[1], 1);
      ::close(fds[0]);
      ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
      ::execlp("parec", "parec", "-d", source.c_str(), "--raw", "--format=s16le", "--rate=44100",
               "--channels=1", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(fds[1]);
    fd_ = fds[0];
  }
  ~Recorder() {
    if (pid_ > 0) ::kill(pid_, SIGTERM), ::waitpid(pid_, nullptr, 0);
    if (fd_ >= 0) ::close(fd_);
  }
  // The RMS of the next tenth of a second, or -1 when parec ended.
  double nextLoudness() {
    std::int16_t samples[4410];
    std::size_t got = 0;
    while (got < sizeof samples) {
      const ssize_t n = ::read(fd_, reinterpret_cast<char*>(samples) + got, sizeof samples - got);
      if (n <= 0) return -1;
      got += static_cast<std::size_t>(n);
    }
    double sum = 0;
    for (std::int16_t s : samples) sum += double(s) * s;
    return std::sqrt(sum / 4410);
  }

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
};

// The movie's tone, read back from a null sink, plays with no click into it.
TEST_F(PlayRuns, TheMovieSoundsFromItsFirstFrame) {
  if (::access("/usr/bin/pulseaudio", X_OK) != 0) GTEST_SKIP() << "pulseaudio is not installed";
  // A short folder: the server's socket path must fit a sockaddr_un.
  char folder[] = "/tmp/vp-XXXXXX";
  ASSERT_TRUE(::mkdtemp(folder));
  const std::string runtime = folder;
  struct Removed {
    std::string path;
    ~Removed() { fs::remove_all(path); }
  } removed{runtime};
  ChildProcess pulse("/usr/bin/pulseaudio",
                     {"-n", "--daemonize=no", "--exit-idle-time=-1", "-L", "module-null-sink sink_name=bar",
                      "-L", "module-native-protocol-unix"},
                     {{"XDG_RUNTIME_DIR", runtime}, {"HOME", dir().string()}}, dir().string());
  const std::string info = "XDG_RUNTIME_DIR='" + runtime + "' pactl info >/dev/null 2>&1";
  ASSERT_TRUE(waitFor([&] { return std::system(info.c_str()) == 0; }, 20000)) << pulse.errorOutput();
  Recorder recorder(runtime, "bar.monitor");
  auto run = start({{"XDG_RUNTIME_DIR", runtime}});
  ASSERT_TRUE(run->waitLine([](const std::string& l) { return l == "call: " + invoke("ready", ""); }, 60000))
      << run->errorOutput();
  // A 0.5 volume sine gives an RMS near 11,600; silence gives 0.
  double loudness = 0;
  for (int tenths = 0; tenths < 300 && loudness >= 0 && loudness < 5000; ++tenths)
    loudness = recorder.nextLoudness();
  EXPECT_GT(loudness, 5000);
  run->closeInput();
  EXPECT_EQ(run->wait(30000), 0);
}

}  // namespace
}  // namespace vtest
