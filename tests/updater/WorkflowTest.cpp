#include "updater/FileCheck.h"
#include "updater/Publish.h"
#include "updater/StartRecord.h"
#include "updater/Statements.h"
#include "updater/Trust.h"
#include "updater/UpdatePlan.h"
#include "updater/UpdateWorkflow.h"

#include <gtest/gtest.h>

#include <map>

#include "tests/common/Forge.h"
#include "tests/updater/WorkflowFakes.h"

using namespace updater;
using WorkflowTest = vtest::WorkflowFixture;

TEST_F(WorkflowTest, FirstFetchFailsThenRetryLaunchesGame) {
  UpdateWorkflow& w = start();
  EXPECT_TRUE(host_.launcherShown);
  EXPECT_EQ("Получение списка файлов", host_.status);
  EXPECT_EQ("Отмена", host_.caption);
  EXPECT_FALSE(host_.checkEnabled);
  ASSERT_EQ(1u, net_.urls.size());
  EXPECT_EQ(0u, net_.urls[0].find("http://host.test/library/crc.txt?"));

  net_.answer(404, "not found");
  EXPECT_EQ("Ошибка загрузки: 404", host_.error);
  EXPECT_EQ("Повторить", host_.caption);
  EXPECT_FALSE(w.busy());
  EXPECT_TRUE(host_.checkEnabled);
  EXPECT_EQ("Получение списка файлов", host_.status);

  writeFile("download/leftover", "x");
  w.buttonPressed();
  EXPECT_EQ(1, host_.gameOpened);
  EXPECT_FALSE(host_.launcherShown);
  EXPECT_FALSE(std::filesystem::exists("download/leftover"));
  EXPECT_EQ("downloadSounds=0\nfullyDownloaded=1\n", readFile("vornask.ini"));
}

TEST_F(WorkflowTest, DownloadsVerifiesRetriesOnceAndMovesIntoPlace) {
  writeFile("current.txt", "same");
  UpdateWorkflow& w = start();
  net_.answer(0, line("current.txt", "same") + line("data/a.bin", std::string(3000, 'a')) +
                     line("b.txt", "bbb") + line("music/m.mp3", "tune"));
  EXPECT_EQ("Размер обновления: 2.9Кб.", host_.status);
  EXPECT_EQ("Запуск", host_.caption);
  EXPECT_EQ(3003, host_.range);
  ASSERT_EQ(3u, w.plan().size());

  w.buttonPressed();
  EXPECT_EQ("Загружаем: data/a.bin", host_.status);
  EXPECT_EQ("Отмена", host_.caption);
  EXPECT_TRUE(host_.progressShown);
  EXPECT_EQ("http://host.test/data/a.bin", net_.current->url);
  EXPECT_EQ(temporaryPath(w.plan()[0]), net_.current->path);
  EXPECT_EQ(3000u, net_.current->size);

  net_.current->count = 1000;
  w.onProgressTick();
  EXPECT_EQ(1000, host_.position);

  // A corrupted file is fetched once more, into a fresh file.
  deliver(std::string(3000, 'x'));
  EXPECT_EQ(0, host_.position);
  EXPECT_EQ(2u, net_.downloads.size());
  EXPECT_FALSE(std::filesystem::exists(net_.current->path));
  deliver(std::string(3000, 'a'));
  EXPECT_EQ(3000, host_.position);
  EXPECT_EQ("Загружаем: b.txt", host_.status);
  deliver("bbb");

  EXPECT_EQ(3u, net_.downloads.size());  // the unchecked sound is skipped
  EXPECT_EQ(std::string(3000, 'a'), readFile("data/a.bin"));
  EXPECT_EQ("bbb", readFile("b.txt"));
  EXPECT_FALSE(std::filesystem::exists("music/m.mp3"));
  EXPECT_TRUE(std::filesystem::is_empty("download"));
  EXPECT_EQ(1, host_.gameOpened);
  EXPECT_EQ("Отмена", host_.caption);  // busy stays after downloads

  // The next fetch finds only the sound; with the box checked it is downloaded too.
  w.startFileList();
  net_.answer(0, line("data/a.bin", std::string(3000, 'a')) + line("music/m.mp3", "tune"));
  EXPECT_EQ("Нечего обновлять", host_.status);
  host_.checked = true;
  w.checkBoxClicked();
  EXPECT_EQ("Размер обновления: 4б.", host_.status);
  EXPECT_EQ("downloadSounds=1\nfullyDownloaded=1\n", readFile("vornask.ini"));
  w.buttonPressed();
  deliver("tune");
  EXPECT_EQ("tune", readFile("music/m.mp3"));
}

// Past 2 GiB the bar's int range would turn negative, and past 4 GiB a 32-bit
// sum would wrap to a small update: both are scaled down instead.
TEST_F(WorkflowTest, UpdatesOverTwoGibibytesKeepTheBarInRange) {
  UpdateWorkflow& w = start();
  net_.answer(0, line("a.txt", "aaa") + "b.bin:0:3221225472:1\nc.bin:0:3221225472:2\n");
  EXPECT_EQ("Размер обновления: 6144.0Мб.", host_.status);
  EXPECT_GT(host_.range, 1 << 30);
  const int full = host_.range;
  w.buttonPressed();
  deliver("aaa");
  EXPECT_EQ(3221225472u, net_.current->size);
  net_.current->count = 3221225472u;
  w.onProgressTick();
  EXPECT_EQ(full / 2, host_.position);
  deliver("x");  // wrong CRC: fetched again
  net_.current->count = 3221225472u;
  w.onProgressTick();
  EXPECT_EQ(full / 2, host_.position);
}

// Without a key as with one, a file that fails its size or CRC-32 twice is never moved into place.
TEST_F(WorkflowTest, AFileThatFailsItsCheckTwiceIsNotInstalled) {
  UpdateWorkflow& w = start();
  net_.answer(0, line("a.txt", "aaa"));
  w.buttonPressed();
  deliver("aaaa");
  deliver("aab");
  EXPECT_EQ("Файл повреждён: a.txt", host_.error);
  EXPECT_EQ(1, host_.restartTimers);
  EXPECT_FALSE(std::filesystem::exists("a.txt"));
  EXPECT_FALSE(std::filesystem::exists(temporaryPath(w.plan()[0])));
  EXPECT_EQ(0, host_.gameOpened);
}

TEST_F(WorkflowTest, CompleteTemporaryFileIsReused) {
  UpdateWorkflow& w = start();
  net_.answer(0, line("a.txt", "aaa"));
  writeFile(temporaryPath(w.plan()[0]), "aaa");
  w.buttonPressed();
  EXPECT_TRUE(net_.downloads.empty());
  EXPECT_EQ("aaa", readFile("a.txt"));
  EXPECT_EQ(1, host_.gameOpened);
}

TEST_F(WorkflowTest, FailureRestartsAndCancelKeepsPartialFile) {
  UpdateWorkflow& w = start();
  net_.answer(0, line("a.txt", "aaa"));
  w.buttonPressed();
  deliver("a", mnet::DownloadAction::Failed, 404);
  EXPECT_EQ("Ошибка загрузки: 404", host_.error);
  EXPECT_EQ("Отмена", host_.caption);
  EXPECT_EQ(1, host_.restartTimers);
  EXPECT_TRUE(net_.currentGone);
  EXPECT_TRUE(host_.restartPending);

  w.onRestart();
  EXPECT_EQ(2u, net_.urls.size());
  EXPECT_EQ("", host_.error);
  net_.answer(0, line("a.txt", "aaa"));
  w.buttonPressed();
  const std::string partial = net_.current->path;
  vtest::writeWholeFile(partial, "a");

  // The stopped download's own end report must not show as an error.
  w.buttonPressed();
  EXPECT_TRUE(net_.currentGone);
  EXPECT_EQ(0, net_.cancels);
  host_.runPosted();
  EXPECT_EQ("", host_.error);
  EXPECT_EQ("Получение списка файлов", host_.status);
  EXPECT_EQ(1, host_.restartTimers);
  EXPECT_EQ("a", vtest::readWholeFile(partial));
}

// "Отмена" right after a failure restarts at once; the pending restart must
// not stop the download the player starts next.
TEST_F(WorkflowTest, ManualRestartCancelsThePendingOne) {
  UpdateWorkflow& w = start();
  net_.answer(0, line("a.txt", "aaa"));
  w.buttonPressed();
  deliver("a", mnet::DownloadAction::Failed, 400);
  ASSERT_TRUE(host_.restartPending);
  w.buttonPressed();  // "Отмена"
  EXPECT_FALSE(host_.restartPending);
  net_.answer(0, line("a.txt", "aaa"));
  w.buttonPressed();
  EXPECT_FALSE(net_.currentGone);
  EXPECT_FALSE(host_.restartPending);
}

TEST_F(WorkflowTest, ReloadDuringDownloadStopsIt) {
  UpdateWorkflow& w = start();
  net_.answer(0, line("a.txt", "aaa") + line("b.txt", "bbb"));
  w.buttonPressed();
  w.startFileList();  // the movie's "reload"
  EXPECT_TRUE(net_.currentGone);
  net_.answer(0, line("c.txt", "ccc"));
  host_.runPosted();  // the stopped download's report belongs to the old plan
  EXPECT_EQ("Размер обновления: 3б.", host_.status);
  EXPECT_EQ("", host_.error);
  EXPECT_EQ(0, host_.restartTimers);
}

TEST_F(WorkflowTest, CancelDuringFetchWaitsForTheCancelledRequest) {
  UpdateWorkflow& w = start();
  w.buttonPressed();
  EXPECT_EQ(1, net_.cancels);
  EXPECT_EQ(1u, net_.urls.size());
  net_.answer(642, "");
  EXPECT_EQ(2u, net_.urls.size());
  EXPECT_EQ("", host_.error);
  EXPECT_TRUE(w.busy());
  net_.answer(0, "");
  EXPECT_EQ("Нечего обновлять", host_.status);
  EXPECT_EQ("Запуск", host_.caption);
}

TEST_F(WorkflowTest, MoveFailureNamesTheFile) {
  UpdateWorkflow& w = start();
  net_.answer(0, line("dir/a.txt", "aaa"));
  writeFile("dir/a.txt/blocker", "x");  // a non-empty folder where the file goes
  w.buttonPressed();
  deliver("aaa");
  EXPECT_EQ("Перемещаем: dir/a.txt", host_.status);
  EXPECT_FALSE(host_.error.empty());
  EXPECT_EQ(1, host_.restartTimers);
  EXPECT_EQ(0, host_.gameOpened);
}

TEST_F(WorkflowTest, ChangedClientIsRelaunched) {
  writeFile("Vornask", "old build");
  writeFile("download/other", "kept");
  UpdateWorkflow& w = start();
  net_.answer(0, line("a.txt", "a") + line("download/vornask.exe", "new build") + line("b.txt", "b"));
  // The leftover process is ended off the UI thread; the summary follows.
  EXPECT_EQ("Отмена", host_.caption);
  ASSERT_TRUE(host_.settle());
  EXPECT_EQ("Необходимо обновить клиент.", host_.status);
  ASSERT_EQ(1u, host_.terminated.size());
  EXPECT_EQ((dir() / "new.Vornask").string(), host_.terminated[0]);
  w.buttonPressed();
  deliver("new build");
  EXPECT_EQ("new build", readFile("new.Vornask"));
  EXPECT_NE(std::filesystem::perms::none,
            std::filesystem::status("new.Vornask").permissions() & std::filesystem::perms::owner_exec);
  ASSERT_EQ(1u, host_.started.size());
  EXPECT_EQ("new.Vornask", host_.started[0].first);
  EXPECT_EQ("\"@" + dir().string() + "/Vornask\" noStupidPath", host_.started[0].second);
  EXPECT_EQ(1, host_.quits);
  EXPECT_EQ(0, host_.gameOpened);
  EXPECT_EQ("kept", readFile("download/other"));
}

TEST_F(WorkflowTest, SettingsDecideTheStart) {
  writeFile("vornask.ini", "downloadSounds=0\r\nfullyDownloaded=1\r\n");
  host_.game = WorkflowHost::GameWindow::Failed;
  start();
  EXPECT_TRUE(host_.checked);  // the CR makes the value non-zero
  EXPECT_EQ(1, host_.gameOpened);
  EXPECT_TRUE(host_.launcherShown);  // the game window failed
  EXPECT_EQ("downloadSounds=0\r\nfullyDownloaded=1\r\n", readFile("vornask.ini"));
}

namespace {

// The workflow with an update key: lists come with a manifest signed by it.
class SignedWorkflowTest : public WorkflowTest {
 protected:
  void SetUp() override {
    WorkflowTest::SetUp();
    requireSigned(key_);
  }

  // The list of `files` and its manifest under `serial`.
  std::pair<std::string, std::string> signedList(const std::map<std::string, std::string>& files,
                                                 uint64_t serial, const vtest::TestKey* key = nullptr) {
    std::string list;
    for (const auto& [name, content] : files) {
      writeFile("www/" + name, content);
      list += line(name, content);
    }
    return {list, signedManifestOf(path("www").string(), list, serial, key ? key->key : key_.key)};
  }
  void answerSigned(const std::pair<std::string, std::string>& listAndSig) {
    net_.answer(0, listAndSig.first);
    ASSERT_EQ(0u, net_.urls.back().find("http://host.test/library/crc.txt.sig?"));
    net_.answer(0, listAndSig.second);
    net_.answerAbsent();
  }
  std::string storedSerial() { return readFile("config/Ondrel/Vornask/updateSerial"); }

  vtest::TestKey key_;
};

}  // namespace

TEST_F(SignedWorkflowTest, ListThatFailsItsSignaturePlansNothing) {
  const auto good = signedList({{"a.txt", "aaa"}}, 100);
  const vtest::TestKey other;
  std::string changed = good.first;
  changed[0] = 'b';
  struct Case {
    const char* what;
    std::string list;
    int sigCode;
    std::string sig;
    std::string error;
  } cases[] = {
      {"another key", good.first, 0, signedList({{"a.txt", "aaa"}}, 100, &other).second,
       "Ошибка проверки подписи"},
      {"a list changed by one byte", changed, 0, good.second, "Ошибка проверки подписи"},
      {"a missing signature", good.first, 404, "not found", "Ошибка проверки подписи"},
      {"a replayed older serial", good.first, 0, signedList({{"a.txt", "aaa"}}, 99).second,
       "Ошибка проверки подписи"},
      {"a transfer failure", good.first, 607, "", "Ошибка загрузки: 607"},
      {"an expired list", good.first, 0,
       signedManifestOf(path("www").string(), good.first, 101, key_.key, utcNow() - 60),
       "Список файлов устарел"},
  };
  writeFile("config/Ondrel/Vornask/updateSerial", "100 " + key_.publicBase64());
  for (const Case& c : cases) {
    net_.urls.clear();
    UpdateWorkflow& w = start();
    net_.answer(0, c.list);
    ASSERT_EQ(2u, net_.urls.size()) << c.what;
    net_.answer(c.sigCode, c.sig);
    net_.answerAbsent();
    EXPECT_EQ(c.error, host_.error) << c.what;
    EXPECT_EQ("Повторить", host_.caption) << c.what;
    EXPECT_TRUE(w.plan().empty()) << c.what;
    EXPECT_EQ("100 " + key_.publicBase64(), storedSerial()) << c.what;
  }
}

TEST_F(SignedWorkflowTest, ForgedDownloadIsFetchedTwiceThenRefused) {
  const std::string real = vtest::randomBytes(3000, 5);
  const std::string forged = vtest::forgeCrc(vtest::randomBytes(3000, 6), vtest::crc32(real));
  // A serial accepted with another key does not apply to this one.
  writeFile("config/Ondrel/Vornask/updateSerial", "900 " + vtest::TestKey().publicBase64());
  UpdateWorkflow& w = start();
  answerSigned(signedList({{"a.txt", real}}, 100));
  EXPECT_EQ("100 " + key_.publicBase64(), storedSerial());
  ASSERT_EQ(1u, w.plan().size());

  // A forged temporary file left by an earlier run is not reused.
  writeFile(temporaryPath(w.plan()[0]), forged);
  w.buttonPressed();
  ASSERT_EQ(1u, net_.downloads.size());
  deliver(forged);
  ASSERT_EQ(2u, net_.downloads.size());
  deliver(forged);
  EXPECT_EQ("Файл повреждён: a.txt", host_.error);
  EXPECT_EQ(1, host_.restartTimers);
  EXPECT_FALSE(std::filesystem::exists("a.txt"));
  EXPECT_EQ(0, host_.gameOpened);

  // The next cycle takes the real file.
  w.onRestart();
  answerSigned(signedList({{"a.txt", real}}, 100));
  w.buttonPressed();
  deliver(real);
  EXPECT_EQ(real, readFile("a.txt"));
  EXPECT_EQ(1, host_.gameOpened);
}

TEST_F(SignedWorkflowTest, FlashCabinetThatFailsItsDigestIsNotLoaded) {
  const std::string cab = vtest::randomBytes(500, 7);
  writeFile("flash.cab", vtest::forgeCrc(vtest::randomBytes(500, 8), vtest::crc32(cab)));
  UpdateWorkflow& w = start();
  answerSigned(signedList({{"download/flash.cab", cab}}, 7));
  EXPECT_TRUE(w.plan().empty());  // size and CRC-32 match
  w.buttonPressed();
  EXPECT_EQ("Файл повреждён: flash.cab", host_.error);
  EXPECT_EQ(0, host_.gameOpened);
  EXPECT_FALSE(std::filesystem::exists("flash.cab"));  // planned again by the next list
  w.onRestart();
  answerSigned(signedList({{"download/flash.cab", cab}}, 7));
  ASSERT_EQ(1u, w.plan().size());
}

TEST_F(SignedWorkflowTest, CancelWhileTheSignatureIsFetchedFetchesTheListAgain) {
  const auto signedA = signedList({{"a.txt", "aaa"}}, 1);
  UpdateWorkflow& w = start();
  net_.answer(0, signedA.first);
  w.buttonPressed();  // "Отмена" during the signature's request
  EXPECT_EQ(1, net_.cancels);
  net_.answer(642, "");
  ASSERT_EQ(3u, net_.urls.size());
  EXPECT_EQ(0u, net_.urls[2].find("http://host.test/library/crc.txt?"));
  EXPECT_EQ("", host_.error);
  answerSigned(signedA);
  EXPECT_EQ("Размер обновления: 3б.", host_.status);
}

// A signing key endorsed by the root, then a new root: each is followed and kept, and what
// they retire is refused from then on.
TEST_F(SignedWorkflowTest, EndorsementsAndRootStatementsAreFollowedAndKept) {
  const vtest::TestKey signer, newRoot;
  const auto listed = signedList({{"a.txt", "aaa"}}, 1);
  const uint64_t later = utcNow() + 3600;
  const auto manifest = [&](uint64_t serial, const vtest::TestKey& by) {
    return signedManifestOf(path("www").string(), listed.first, serial, by.key, later);
  };
  const auto endorsement = [&](uint64_t serial, const vtest::TestKey& root) {
    return endorsementText({serial, later, signer.key.publicKey()}, root.key);
  };
  const std::string rotation = rootStatementText(key_.key, newRoot.key);
  struct Cycle {
    const char* what;
    std::string manifest, endorsement, roots;
    std::string error;
  } cycles[] = {
      {"a list by the endorsed key", manifest(10, signer), endorsement(5, key_), "", ""},
      {"a list by the new root", manifest(11, newRoot), "", rotation, ""},
      {"a list by the old root", manifest(12, key_), "", rotation, "Ошибка проверки подписи"},
      {"an endorsement by the old root", manifest(12, signer), endorsement(6, key_), rotation,
       "Ошибка проверки подписи"},
      {"a lower endorsement serial", manifest(12, signer), endorsement(4, newRoot), rotation,
       "Ошибка проверки подписи"},
      {"the new root's endorsement", manifest(12, signer), endorsement(5, newRoot), rotation, ""},
  };
  for (const Cycle& c : cycles) {
    SCOPED_TRACE(c.what);
    start();
    net_.answer(0, listed.first);
    net_.answer(0, c.manifest);
    net_.answer(c.roots.empty() ? 404 : 0, c.roots);
    if (net_.onData) net_.answer(c.endorsement.empty() ? 404 : 0, c.endorsement);
    EXPECT_EQ(c.error, host_.error);
    EXPECT_EQ(c.error.empty() ? 1u : 0u, workflow_->plan().size());
  }
  EXPECT_EQ("12 " + key_.publicBase64(), storedSerial());
  EXPECT_EQ(newRoot.publicBase64() + " " + key_.publicBase64(), readFile("config/Ondrel/Vornask/updateRoot"));
  EXPECT_EQ("5 " + key_.publicBase64(), readFile("config/Ondrel/Vornask/updateEndorsement"));
}

TEST_F(SignedWorkflowTest, AListWhoseSerialCannotBeKeptPlansNothing) {
  std::filesystem::create_directories("config/Ondrel/Vornask/updateSerial");
  UpdateWorkflow& w = start();
  answerSigned(signedList({{"a.txt", "aaa"}}, 100));
  EXPECT_EQ("Ошибка проверки подписи", host_.error);
  EXPECT_TRUE(w.plan().empty());
}

TEST_F(WorkflowTest, VerifyReadsFilesTheStartRecordVouchesFor) {
  // A record that vouches for a damaged file, as if the disk had changed it underneath.
  writeFile("a.txt", "damage");
  platform::ChangeStamp stamp;
  ASSERT_TRUE(platform::changeStamp("a.txt", stamp));
  StartRecord forged;
  const std::string listed = line("a.txt", "correc");
  forged.note("a.txt", stamp, updater::crc32Of("correc", 6), INT64_MAX);
  ASSERT_EQ(0, forged.save(startRecordName));

  for (const bool verify : {false, true}) {
    SCOPED_TRACE(verify ? "verify" : "normal start");
    options_.verify = verify;
    start();
    net_.answer(0, listed);
    EXPECT_EQ(verify ? 1u : 0u, workflow_->plan().size());
  }
  // The verifying start wrote down what it found: the damaged file is no longer vouched for.
  EXPECT_TRUE(StartRecord::load(startRecordName).entries().empty());
}

TEST(RestartDelay, GrowsWithTheFailuresInARowUpToFiveMinutes) {
  struct Row {
    const char* name;
    int failures;
    double random;
    unsigned ms;
  };
  const Row rows[] = {
      {"the first restart keeps the launcher's 3 s", 1, 0.99, 3000},
      {"the second is drawn up to 6 s", 2, 0.5, 4500},
      {"the third up to 12 s", 3, 1.0, 12000},
      {"never sooner than 3 s", 7, 0.0, 3000},
      {"at most five minutes", 40, 1.0, 300000},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.ms, restartDelayMs(row.failures, row.random));
  }
}

TEST_F(WorkflowTest, RestartWaitGrowsUntilAFileArrives) {
  options_.random = [] { return 1.0; };
  UpdateWorkflow& w = start();
  const std::string list = line("a.txt", "aaa") + line("b.txt", "bbb");
  for (int round = 0; round < 3; ++round) {
    if (round) w.onRestart();
    net_.answer(0, list);
    w.buttonPressed();
    deliver("", mnet::DownloadAction::Failed, 503);
  }
  w.onRestart();
  net_.answer(0, list);
  w.buttonPressed();
  deliver("aaa");
  deliver("", mnet::DownloadAction::Failed, 503);
  EXPECT_EQ("Ошибка загрузки: 503", host_.error);
  EXPECT_EQ((std::vector<unsigned>{3000, 6000, 12000, 3000}), host_.restartDelays);
}
