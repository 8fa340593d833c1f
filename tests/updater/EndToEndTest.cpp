// The built client against a real nginx, driven through its console.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <system_error>

#include "tests/common/Certificates.h"
#include "tests/common/RandomBytes.h"
#include "tests/common/WaitFor.h"
#include "tests/updater/ClientEndToEnd.h"
#include "tests/updater/SignedFolder.h"
#include "updater/Statements.h"
#include "updater/Trust.h"
#include "updater/UpdatePlan.h"

namespace fs = std::filesystem;
using vtest::ChildProcess;

namespace {

using EndToEnd = vtest::ClientEndToEnd;
using vtest::startsWith;
using vtest::timeoutMs;

}  // namespace

TEST_F(EndToEnd, UpdatesEverythingThenNothingThenTheSoundOnRequest) {
  vtest::NginxOptions options;
  options.limitRate = "512k";  // a few progress polls long
  serve(options);
  server_->writeRandomFile("data/big.bin", 3 << 20, 7);
  server_->writeFile("main.swf", "movie script\n");
  server_->writeFile("data/карта.txt", "map\n");
  server_->writeFile("data/two words #1?.txt", "spaced\n");
  server_->writeFile("music/theme.mp3", "la-la-la\n");
  publish();
  const uint32_t total = (3 << 20) + 13 + 4 + 7;

  {
    auto c = run();
    ASSERT_TRUE(c->waitForLine("button: Запуск", timeoutMs));
    ASSERT_TRUE(c->waitForLine("status: Размер обновления: " + updater::sizeText(total), timeoutMs));
    c->send("press\n");
    ASSERT_TRUE(c->waitForLine("status: Загружаем: data/big.bin", timeoutMs));
    ASSERT_TRUE(c->waitForLine("button: Отмена", timeoutMs));
    ASSERT_TRUE(waitIni(vtest::installedIni));
    // The bar moved through intermediate values and ended full.
    int moving = 0;
    for (const auto& l : c->lines())
      if (startsWith(l, "progress: ") && !startsWith(l, "progress: 0/") &&
          !startsWith(l, "progress: " + std::to_string(total) + "/"))
        ++moving;
    EXPECT_GT(moving, 0);
    EXPECT_EQ("shown", c->last("window"));  // no game window yet
    closeClient(*c);
  }
  EXPECT_EQ(served("data/big.bin"), installed("data/big.bin"));
  EXPECT_EQ("map\n", installed("data/карта.txt"));
  EXPECT_EQ("spaced\n", installed("data/two words #1?.txt"));
  EXPECT_EQ("movie script\n", installed("main.swf"));
  EXPECT_FALSE(fs::exists(install_ / "music/theme.mp3"));
  EXPECT_TRUE(fs::is_empty(install_ / "download"));

  auto c = run();
  ASSERT_TRUE(c->waitForLine("status: Получение списка файлов", timeoutMs));
  ASSERT_TRUE(c->waitForLine("check: off enabled", timeoutMs));
  ASSERT_TRUE(c->waitForLine("status: Нечего обновлять", timeoutMs));
  c->send("check\n");
  ASSERT_TRUE(c->waitForLine("status: Размер обновления: 9б.", timeoutMs));
  EXPECT_TRUE(waitIni("downloadSounds=1\nfullyDownloaded=1\n"));
  c->send("press\n");
  EXPECT_TRUE(vtest::waitFor([&] { return fs::exists(install_ / "music/theme.mp3"); }, timeoutMs));
  EXPECT_TRUE(vtest::waitFor([&] { return fs::is_empty(install_ / "download"); }, timeoutMs));
  EXPECT_EQ("la-la-la\n", installed("music/theme.mp3"));
  c->send("close\n");
}

TEST_F(EndToEnd, CorruptedServerFileIsFetchedTwiceThenRefused) {
  serve();
  server_->writeFile("z.txt", "right bytes");
  server_->writeFile("escaped.txt", "outside");
  publish();
  server_->writeFile("z.txt", "wrong bytes");  // same size, other CRC
  // Names that would leave the install folder are skipped.
  const std::string list = served("library/crc.txt");
  const std::string escaped = list.substr(list.find("escaped.txt:"));
  server_->writeFile("library/crc.txt", list + "../" + escaped + "/tmp/" + escaped);
  auto c = run();
  ASSERT_TRUE(press(*c));
  ASSERT_TRUE(c->waitForLine("error: Файл повреждён: z.txt", timeoutMs));
  EXPECT_FALSE(fs::exists(install_ / "z.txt"));
  for (const auto& f : fs::directory_iterator(install_ / "download")) {  // no resume file left alone
    if (f.path().extension() == ".meta") {
      EXPECT_TRUE(fs::exists(fs::path(f.path()).replace_extension()));
    }
  }
  EXPECT_EQ(2, count("HEAD /z.txt "));
  EXPECT_FALSE(fs::exists(path("escaped.txt")));
  EXPECT_EQ(1, count("HEAD /escaped.txt "));  // only the plain name
  closeClient(*c);
}

TEST_F(EndToEnd, CancelKeepsThePartialFileAndALaterRunResumesIt) {
  vtest::NginxOptions slow;
  slow.limitRate = "100k";
  slow.root = path("www");
  fs::create_directories(slow.root);
  serve(slow);
  server_->writeRandomFile("big.bin", 2 << 20, 3);
  publish();
  {
    auto c = run();
    ASSERT_TRUE(press(*c));
    ASSERT_TRUE(downloading(*c));
    c->send("press\n");  // "Отмена"
    ASSERT_TRUE(c->waitForLine("status: Получение списка файлов", timeoutMs));
    ASSERT_TRUE(planned(*c));
    EXPECT_EQ("", c->last("error"));
    EXPECT_EQ("Запуск", c->last("button"));
    closeClient(*c);
  }
  std::vector<fs::path> temporary;
  for (const auto& f : fs::directory_iterator(install_ / "download")) temporary.push_back(f.path());
  ASSERT_EQ(2u, temporary.size());  // the partial file and its resume file
  EXPECT_EQ(1, count("HEAD /big.bin "));

  vtest::NginxOptions fast;
  fast.root = slow.root;
  server_.reset();
  serve(fast);
  auto c = run();
  ASSERT_TRUE(installAll(*c));
  EXPECT_EQ(served("big.bin"), installed("big.bin"));
  EXPECT_EQ(0, count("HEAD /big.bin "));  // resumed from the kept ranges
  c->send("close\n");
}

TEST_F(EndToEnd, ListFailureOffersRetryWhichOpensTheGame) {
  serve();
  auto c = run();
  ASSERT_TRUE(c->waitForLine("error: Ошибка загрузки: 404", timeoutMs));
  ASSERT_TRUE(c->waitForLine("check: off enabled", timeoutMs));
  ASSERT_TRUE(c->waitForLine("button: Повторить", timeoutMs));
  EXPECT_EQ("off enabled", c->last("check"));
  c->send("press\n");
  EXPECT_TRUE(waitIni(vtest::installedIni));
  c->send("close\n");
}

TEST_F(EndToEnd, ChangedSignedClientReplacesItselfAndStartsAgain) {
  serve();
  std::string next = vtest::readWholeFile(client_) + "appended build bytes";
  server_->writeFile("download/vornask.exe", next);
  server_->writeFile("other.txt", "not read while the client changes");
  publish(vtest::TestKey(), 3);
  // A leftover process started from "new." + the executable's name is ended first.
  fs::copy_file("/bin/sleep", install_ / "new.Vornask");
  ChildProcess leftover((install_ / "new.Vornask").string(), {"600"}, {}, install_.string());
  auto c = run();
  ASSERT_TRUE(c->waitForLine("status: Необходимо обновить клиент.", timeoutMs));
  EXPECT_NE(-1, leftover.wait(timeoutMs));
  c->send("press\n");
  // The relaunched client finds itself current and nothing else planned before it.
  ASSERT_TRUE(planned(*c));
  EXPECT_EQ(next, installed("Vornask"));
  EXPECT_EQ(next, installed("new.Vornask"));
  EXPECT_EQ(0, c->wait(timeoutMs));  // the first process quit on its own
  closeClient(*c);
}

TEST_F(EndToEnd, ChangedLargeFileIsRebuiltFromItsLocalCopy) {
  // Signed: the index is taken by its signed digest and the rebuilt file checked by its own.
  serve();
  const std::string old = vtest::randomBytes(4 << 20, 3);
  std::string fresh = old;
  fresh.replace(1 << 20, 100000, vtest::randomBytes(100000, 4));
  fresh.insert(3000, vtest::randomBytes(20000, 5));
  server_->writeFile("data/big.bin", fresh);
  publish(vtest::TestKey(), 1);
  vtest::writeWholeFile(install_ / "data/big.bin", old);

  auto c = run();
  ASSERT_TRUE(installAll(*c));
  EXPECT_TRUE(installed("data/big.bin") == fresh);
  EXPECT_EQ(1, count("GET /library/blocks/data/big.bin.idx 200"));
  // Only ranges of the file were fetched, and far fewer bytes than it has.
  uint64_t fetched = 0;
  for (const std::string& l : server_->accessLog()) {
    if (!startsWith(l, "GET /data/big.bin ")) continue;
    unsigned long long first = 0, last = 0;
    ASSERT_EQ(2, std::sscanf(l.c_str(), "GET /data/big.bin %*d [bytes=%llu-%llu]", &first, &last)) << l;
    fetched += last - first + 1;
  }
  EXPECT_GT(fetched, 120000u);
  EXPECT_LT(fetched, 200000u);
  c->send("close\n");
}

TEST_F(EndToEnd, SignedListIsInstalledAndItsOlderSerialRefusedLater) {
  const vtest::TestKey key;
  const auto storedSerial = [this] {
    return vtest::readWholeFile(path("config/Ondrel/Vornask/updateSerial"));
  };
  serve();
  server_->writeRandomFile("data/big.bin", 1 << 20, 4);
  server_->writeFile("main.swf", "movie\n");
  publish(key, 500);
  {
    auto c = run();
    ASSERT_TRUE(installAll(*c));
    closeClient(*c);
  }
  EXPECT_EQ(served("data/big.bin"), installed("data/big.bin"));
  EXPECT_EQ(1, count("GET /library/crc.txt.sig "));
  EXPECT_EQ("500 " + key.publicBase64(), storedSerial());

  // An older publication replayed by the path: refused, nothing planned.
  server_->writeFile("main.swf", "older movie\n");
  publish(key, 499);
  auto c = run();
  ASSERT_TRUE(c->waitForLine("error: Ошибка проверки подписи", timeoutMs));
  ASSERT_TRUE(c->waitForLine("button: Повторить", timeoutMs));
  EXPECT_EQ("movie\n", installed("main.swf"));
  EXPECT_EQ("500 " + key.publicBase64(), storedSerial());
  c->send("close\n");
}

// A new client that cannot start leaves the old one running with the system's message.
TEST_F(EndToEnd, NewClientThatCannotStartKeepsTheOldOneRunning) {
  serve();
  server_->writeFile("download/vornask.exe", "#!/no/such/interpreter\n");
  publish();
  auto c = run();
  ASSERT_TRUE(c->waitForLine("status: Необходимо обновить клиент.", timeoutMs));
  c->send("press\n");
  ASSERT_TRUE(c->waitForLine("error: " + std::generic_category().message(ENOENT), timeoutMs))
      << c->errorOutput();
  EXPECT_EQ(-1, c->wait(500));  // still running
  closeClient(*c);
}

TEST_F(EndToEnd, FilesComeFromTheMirrorsWhenTheWebHostFailsThemAndAWrongMirrorIsLeft) {
  vtest::NginxOptions failing;
  failing.serverConfig = "location /data/ { return 503; }";
  serve(failing);
  vtest::NginxServer good, bad;
  for (const vtest::NginxServer* site : {server_.get(), &good}) {
    site->writeRandomFile("data/big.bin", 3 << 20, 5);
    site->writeFile("data/small.txt", "small file\n");
  }
  // Every range the bad mirror serves is wrong; it serves some of the five at the start.
  bad.writeRandomFile("data/big.bin", 3 << 20, 6);
  bad.writeFile("data/small.txt", "small fila\n");
  updater::publishFolder(server_->root().string(), {bad.url("/"), good.url("/")});
  env_["VORNASK_TEST_VERBOSE"] = "1";  // the log records are checked
  auto c = run();
  ASSERT_TRUE(installAll(*c)) << c->errorOutput();
  EXPECT_EQ(served("data/big.bin"), installed("data/big.bin"));
  EXPECT_EQ("small file\n", installed("data/small.txt"));
  EXPECT_NE(std::string::npos,
            c->errorOutput().find("mirror served a wrong file, not used again: " + bad.url("/")));
  // The list and the mirror list come from the web host only.
  for (const std::string& l : good.accessLog()) EXPECT_FALSE(startsWith(l, "GET /library/")) << l;
  closeClient(*c);
}

// Runs one after another against an HTTPS web host, each a first run: the movie served and how
// the list is published, then the error shown (none: the update installs), a log record the
// client writes, whether the host was reached, and the movie in place afterwards.
TEST_F(EndToEnd, ListsAreTakenOnlyFromATrustedHostAndSigner) {
  const vtest::Certificates pki = vtest::makeCertificates(path("pki"), "IP:127.0.0.1");
  vtest::NginxOptions tls;
  tls.certificate = pki.certificate;
  tls.certificateKey = pki.key;
  serve(tls);
  webHost_ = server_->url("");
  env_["VORNASK_TEST_VERBOSE"] = "1";  // the log records are checked
  const vtest::TestKey root, signer;
  const auto endorsed = [&](uint64_t serial, uint64_t expires) {
    updater::publishSignedFolder(server_->root().string(), signer.key, serial, expires);
  };
  struct Run {
    const char* name;
    std::string movie;
    std::function<void()> publish;
    std::string error, record;
    bool reached;
    std::string kept;
  };
  const Run runs[] = {
      {"a host the system does not trust", "movie\n", [&] { publish(); },
       "Ошибка загрузки: " + std::to_string(600 + 60), "unable to get local issuer certificate", false, ""},
      {"the host trusted by the CA file", "movie\n", [&] { env_["VORNASK_CA_FILE"] = pki.caFile; }, "", "",
       true, "movie\n"},
      {"a list signed by a key the root endorses", "endorsed movie\n",
       [&] {
         updateKey_ = root.publicBase64();
         server_->writeFile(
             updater::endorsementName,
             updater::endorsementText({1, updater::utcNow() + 3600, signer.key.publicKey()}, root.key));
         endorsed(10, updater::utcNow() + 3600);
       },
       "", "", true, "endorsed movie\n"},
      {"the endorsed list once lapsed", "newer movie\n", [&] { endorsed(11, updater::utcNow() - 1); },
       "Список файлов устарел", "the file list expired at", true, "endorsed movie\n"},
  };
  for (const Run& r : runs) {
    SCOPED_TRACE(r.name);
    fs::remove(install_ / "vornask.ini");
    server_->writeFile("main.swf", r.movie);
    r.publish();
    auto c = run();
    if (r.error.empty()) {
      ASSERT_TRUE(installAll(*c)) << c->errorOutput();
    } else {
      ASSERT_TRUE(c->waitForLine("error: " + r.error, timeoutMs)) << c->errorOutput();
    }
    EXPECT_NE(std::string::npos, c->errorOutput().find(r.record));
    EXPECT_EQ(r.reached, !server_->accessLog().empty());
    EXPECT_EQ(r.kept, installed("main.swf"));
    closeClient(*c);
  }
}
