// The demo game end to end: the built client updates from nginx, opens the
// game window with the real player on Xvfb, and the demo movie plays against
// the demo game server through the relay.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <regex>
#include <thread>

#include "tests/common/ChildProcess.h"
#include "tests/common/NginxServer.h"
#include "tests/common/Sandbox.h"
#include "tests/common/WaitFor.h"
#include "tests/common/WebProcess.h"
#include "tests/platform/Xvfb.h"

// Last: Xlib's macros clash with C++ headers.
// clang-format off
#include <X11/Xlib.h>
#include "tests/platform/XInput.h"
// clang-format on

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const std::string bom = "\xEF\xBB\xBF";

// Windows come and go while the tests look at them: such errors are not fatal.
int ignoreXError(Display*, XErrorEvent*) {
  return 0;
}

class DemoGame : public vtest::Sandbox {
 protected:
  void SetUp() override {
    Sandbox::SetUp();
    if (!vtest::Xvfb::installed()) GTEST_SKIP() << "Xvfb is not installed";
    client_ = vtest::clientExecutable();
    ctl_ = vtest::buildDir() / "tools" / "vornaskctl";
    if (client_.empty() || !fs::exists(ctl_)) GTEST_SKIP() << "Vornask or vornaskctl is not built";
  }

  // The demo folder as scripts/demo publishes it: the data without the movie's sources.
  void publishDemo(const fs::path& root) {
    const fs::path demo = VORNASK_DEMO_SOURCE_DIR;
    for (const char* item : {"data", "music", "readme.txt"})
      fs::copy(demo / item, root / item, fs::copy_options::recursive);
    fs::copy_file(vtest::buildDir() / "demo" / "main.swf", root / "main.swf");
    fs::copy_file(vtest::buildDir() / "player" / "flash.cab", root / "flash.cab");
    vtest::ChildProcess publish(ctl_.string(), {"publish", root.string()}, {}, dir().string());
    ASSERT_EQ(publish.wait(30000), 0) << publish.errorOutput();
  }

  // Starts the demo game server on a free loopback port; its "HOST:PORT".
  std::string startGameServer() {
    game_ = std::make_unique<vtest::ChildProcess>(
        ctl_.string(), std::vector<std::string>{"game-server", "--listen", "127.0.0.1:0"},
        std::map<std::string, std::string>{}, dir().string());
    std::smatch m;
    static const std::regex listening("game-server: listening on (127\\.0\\.0\\.1:\\d+)");
    const bool up =
        game_->waitLine([&](const std::string& l) { return std::regex_match(l, m, listening); }, 10000);
    return up ? m[1].str() : std::string();
  }

  bool gameServerSaid(const std::string& part, int ms) {
    return game_->waitLine([&](const std::string& l) { return l.find(part) != std::string::npos; }, ms);
  }

  std::string session() { return readFile("install/session.log"); }
  bool sessionHas(const std::string& part, int ms) {
    return vtest::waitFor([&] { return session().find(part) != std::string::npos; }, ms);
  }

  fs::path client_, ctl_;
  std::unique_ptr<vtest::ChildProcess> game_;
};

// The environment of the first WebKit web process below `ancestor`, NUL-separated.
std::string webProcessEnvironment(long ancestor) {
  const long web = vtest::webProcessBelow(ancestor);
  return web > 0 ? std::string(1, '\0') + vtest::readWholeFile("/proc/" + std::to_string(web) + "/environ")
                 : std::string();
}

// What the launcher's button read, in order, from the client's log.
std::vector<std::string> buttons(const vtest::ChildProcess& client) {
  static const std::string mark = "<updater> button: ";
  std::vector<std::string> out;
  for (const std::string& l : client.lines())
    if (const std::size_t at = l.find(mark); at != std::string::npos)
      out.push_back(l.substr(at + mark.size()));
  return out;
}

int count(const std::vector<std::string>& lines, const std::string& head) {
  int n = 0;
  for (const auto& l : lines) n += l.rfind(head, 0) == 0;
  return n;
}

}  // namespace

TEST_F(DemoGame, PlaysThroughTheRelayWritesTheSessionTracesReloadsAndClosesCleanly) {
  vtest::NginxServer web;
  publishDemo(web.root());
  const std::string gameServer = startGameServer();
  ASSERT_FALSE(gameServer.empty()) << game_->errorOutput();

  vtest::Xvfb screen;
  ASSERT_FALSE(screen.display().empty());
  Display* d = XOpenDisplay(screen.display().c_str());
  ASSERT_TRUE(d);
  XSetErrorHandler(ignoreXError);
  const fs::path install = path("install");
  fs::create_directories(install);
  fs::copy_file(client_, install / "Vornask");
  // A fresh install folder; the game window at the movie's own size.
  writeFile("config/Ondrel/Vornask/place", "0,0,800,600,0");

  vtest::ChildProcess p((install / "Vornask").string(), {"noStupidPath"},
                        {{"DISPLAY", screen.display()},
                         {"VORNASK_UI", "gtk"},
                         {"GDK_BACKEND", "x11"},
                         {"VORNASK_WEB_HOST", "127.0.0.1:" + std::to_string(web.port())},
                         {"VORNASK_GAME_SERVER", gameServer},
                         {"XDG_CONFIG_HOME", path("config").string()},
                         {"XDG_DATA_HOME", path("data").string()},
                         {"HOME", dir().string()},
                         // The launcher's button is awaited in the log.
                         {"VORNASK_TEST_VERBOSE", "1"},
                         {"VORNASK_LOG", "updater=7"},
                         // LeakSanitizer's tracer crashes in WebKit's threads; ASan stays on.
                         {"ASAN_OPTIONS", "detect_leaks=0:abort_on_error=1"}},
                        install.string());
  p.endGently(5000);

  // The launcher shows the update's size once the file list is in; "Запуск"
  // downloads the movie and the player, then the game window opens and the
  // movie joins the game server through the relay.
  Window w = 0;
  ASSERT_TRUE(vtest::waitFor([&] { return (w = vtest::findViewable(d, "Vornask", 320)) != 0; }, 30000))
      << p.errorOutput();
  // "Отмена" while the list is fetched and checked, then "Запуск" with the update's size.
  for (const char* caption : {"<updater> button: Отмена", "<updater> button: Запуск"})
    ASSERT_TRUE(p.waitLine([&](const std::string& l) { return l.find(caption) != std::string::npos; }, 30000))
        << caption << "\n"
        << p.errorOutput();
  ASSERT_EQ(count(web.accessLog(1), "GET /library/crc.txt"), 1);
  int x = 0, y = 0;
  Window child;
  XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &x, &y, &child);
  vtest::click(d, x + 160, y + 148);
  ASSERT_TRUE(vtest::waitFor([&] { return (w = vtest::findViewable(d, "Vornask", 800)) != 0; }, 60000))
      << p.errorOutput();
  EXPECT_EQ(vtest::readWholeFile(install / "main.swf"), vtest::readWholeFile(web.root() / "main.swf"));
  ASSERT_TRUE(gameServerSaid("game-server: player 1 joined", 30000))
      << game_->errorOutput() << p.errorOutput();

  // The session line, then the first round trip from the stamps, as the
  // movie's "writestring" leaves them: a BOM, lines ended by CR LF.
  ASSERT_TRUE(sessionHas("Первый пинг: ", 15000)) << session();
  const std::string text = session();
  // The client's own JavaScript engine settings reach its web process.
  const std::string environment = webProcessEnvironment(p.pid());
  for (const char* setting : {"JSC_useOMGJIT=0", "JSC_forceRAMSize=268435456"}) {
    const std::string name = std::string(setting).substr(0, std::string(setting).find('='));
    if (!std::getenv(name.c_str())) {
      EXPECT_NE(environment.find('\0' + std::string(setting) + '\0'), std::string::npos) << setting;
    }
  }
  EXPECT_EQ(text.rfind(bom + "Сеанс ", 0), 0u) << text;
  EXPECT_NE(text.find("; сервер " + gameServer + "; порт "), std::string::npos) << text;
  EXPECT_TRUE(std::regex_search(text, std::regex("\r\nПервый пинг: \\d+ мс; полный круг: \\d+ мс\r\n$")))
      << text;
  EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1);

  std::this_thread::sleep_for(1500ms);  // a few more round trips drawn
  const auto screenshot = [&](const std::string& name) {
    const std::string grab = "DISPLAY=" + screen.display() + " import -window root -crop 800x600+0+0 '" +
                             (vtest::buildDir() / name).string() + "' 2>/dev/null";
    EXPECT_EQ(std::system(grab.c_str()), 0);
  };
  screenshot("demo-playing.png");

  // "Трассировка" (stage 560,112, 220 x 32): the route to the game server's
  // host comes back as a bug report in the movie. Raw ICMP needs root.
  if (::geteuid() == 0) {
    vtest::click(d, 670, 128);
    EXPECT_TRUE(sessionHas("\r\nОтчёт о трассировке: ", 30000)) << session() << p.errorOutput();
    std::this_thread::sleep_for(500ms);
    screenshot("demo-trace.png");
  }

  // "Обновить" (stage 560,156): the file list is fetched again.
  const int lists = count(web.accessLog(), "GET /library/crc.txt");
  EXPECT_GE(lists, 1);
  const std::size_t buttonsBefore = buttons(p).size();
  vtest::click(d, 670, 172);
  EXPECT_TRUE(vtest::waitFor([&] { return count(web.accessLog(), "GET /library/crc.txt") > lists; }, 20000))
      << p.errorOutput();
  // The list is checked and planned: the button read "Отмена" meanwhile and "Запуск" again.
  EXPECT_TRUE(vtest::waitFor(
      [&] {
        const std::vector<std::string> b = buttons(p);
        return b.size() > buttonsBefore && b.back() == "Запуск" &&
               std::find(b.begin() + buttonsBefore, b.end(), "Отмена") != b.end();
      },
      20000))
      << p.errorOutput();

  // Closing the game window stores its place and ends the client with 0.
  ASSERT_TRUE(vtest::waitFor([&] { return (w = vtest::findViewable(d, "Vornask", 800)) != 0; }, 20000));
  fs::remove(path("config/Ondrel/Vornask/place"));  // read when the window opened; written anew at close
  vtest::closeWindow(d, w);
  EXPECT_EQ(p.wait(15000), 0) << p.errorOutput();
  EXPECT_EQ(readFile("config/Ondrel/Vornask/place"), "0,0,800,600,0");
  XCloseDisplay(d);
  if (std::getenv("VORNASK_TEST_VERBOSE")) std::cerr << session() << p.errorOutput() << game_->errorOutput();
}
