// The built client with an update key against nginx, and the start of a new client.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "tests/common/Forge.h"
#include "tests/updater/ClientEndToEnd.h"
#include "tests/updater/SignedFolder.h"

namespace fs = std::filesystem;
using vtest::startsWith;
using vtest::timeoutMs;

namespace {

class SignedUpdate : public vtest::ClientEndToEnd {
 protected:
  void SetUp() override {
    ClientEndToEnd::SetUp();
    updateKey_ = key_.publicBase64();
  }
  void publishSigned(uint64_t serial) { key_.publish(server_->root().string(), serial); }
  std::string storedSerial() { return vtest::readWholeFile(path("config/Ondrel/Vornask/updateSerial")); }

  vtest::TestKey key_;
};

}  // namespace

TEST_F(SignedUpdate, InstallsASignedListAndRefusesItsOlderSerialLater) {
  serve();
  server_->writeRandomFile("data/big.bin", 1 << 20, 4);
  server_->writeFile("main.swf", "movie\n");
  publishSigned(500);
  {
    auto c = run();
    ASSERT_TRUE(c->waitForLine("button: Запуск", timeoutMs));
    c->send("press\n");
    ASSERT_TRUE(waitIni("downloadSounds=0\nfullyDownloaded=1\n"));
    c->send("close\n");
    EXPECT_TRUE(c->waitForEnd(timeoutMs));
  }
  EXPECT_EQ(served("data/big.bin"), installed("data/big.bin"));
  EXPECT_EQ(1, count("GET /library/crc.txt.sig "));
  EXPECT_EQ("500 " + key_.publicBase64(), storedSerial());

  // An older publication replayed by the path: refused, nothing planned.
  server_->writeFile("main.swf", "older movie\n");
  publishSigned(499);
  auto c = run();
  ASSERT_TRUE(c->waitForLine("error: Ошибка проверки подписи", timeoutMs));
  ASSERT_TRUE(c->waitForLine("button: Повторить", timeoutMs));
  EXPECT_EQ("movie\n", installed("main.swf"));
  EXPECT_EQ("500 " + key_.publicBase64(), storedSerial());
  c->send("close\n");
}

TEST_F(SignedUpdate, FileForgedToTheSameSizeAndCrcIsNeverMoved) {
  serve();
  const std::string real = vtest::randomBytes(300 << 10, 2);
  server_->writeFile("data/a.bin", real);
  publishSigned(1);
  server_->writeFile("data/a.bin", vtest::forgeCrc(vtest::randomBytes(300 << 10, 3), vtest::crc32(real)));
  auto c = run();
  ASSERT_TRUE(c->waitForLine("button: Запуск", timeoutMs));
  c->send("press\n");
  ASSERT_TRUE(c->waitForLine("error: Файл повреждён: data/a.bin", timeoutMs));
  EXPECT_EQ(2, count("HEAD /data/a.bin "));
  EXPECT_FALSE(fs::exists(install_ / "data/a.bin"));
  c->send("close\n");
}

TEST_F(SignedUpdate, ListWithoutAValidSignatureFails) {
  const vtest::TestKey other;
  const struct {
    const char* what;
    std::function<void()> publish;
  } cases[] = {
      {"another key", [&] { other.publish(server_->root().string(), 9); }},
      {"no signature", [this] { publish(); }},
      {"a list changed by one byte",
       [this] {
         publishSigned(9);
         std::string list = served("library/crc.txt");
         list[0] ^= 1;
         server_->writeFile("library/crc.txt", list);
       }},
  };
  for (const auto& c : cases) {
    serve();
    server_->writeFile("a.txt", "a");
    c.publish();
    auto client = run();
    EXPECT_TRUE(client->waitForLine("error: Ошибка проверки подписи", timeoutMs)) << c.what;
    EXPECT_TRUE(client->waitForLine("button: Повторить", timeoutMs)) << c.what;
    client->send("close\n");
    EXPECT_TRUE(client->waitForEnd(timeoutMs)) << c.what;
    EXPECT_FALSE(fs::exists(install_ / "a.txt")) << c.what;
  }
}

TEST_F(SignedUpdate, SignedClientReplacesItself) {
  serve();
  const std::string next = vtest::readWholeFile(client_) + "signed build bytes";
  server_->writeFile("download/vornask.exe", next);
  publishSigned(3);
  auto c = run();
  ASSERT_TRUE(c->waitForLine("status: Необходимо обновить клиент.", timeoutMs));
  c->send("press\n");
  ASSERT_TRUE(c->waitForLine("status: Нечего обновлять", timeoutMs));  // the new client, current
  EXPECT_EQ(next, installed("Vornask"));
  EXPECT_EQ(0, c->wait(timeoutMs));
  c->send("close\n");
  EXPECT_TRUE(c->waitForEnd(timeoutMs));
}

// Unsigned as well: a new client that cannot start leaves the old one with the system's message.
TEST_F(SignedUpdate, NewClientThatCannotStartKeepsTheOldOne) {
  updateKey_.clear();
  serve();
  server_->writeFile("download/vornask.exe", "#!/no/such/interpreter\n");
  publish();
  auto c = run();
  ASSERT_TRUE(c->waitForLine("status: Необходимо обновить клиент.", timeoutMs));
  c->send("press\n");
  ASSERT_TRUE(
      c->waitLine([](const std::string& l) { return startsWith(l, "error: ") && l.size() > 7; }, timeoutMs));
  EXPECT_EQ(-1, c->wait(500));  // still running
  c->send("close\n");
  EXPECT_TRUE(c->waitForEnd(timeoutMs));
}
