#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tests/common/WaitFor.h"
#include "tests/updater/InstallFolder.h"
#include "tests/updater/SignedFolder.h"
#include "updater/UpdateWorkflow.h"

namespace vtest {

using updater::UpdateWorkflow;
using updater::WorkflowDownload;
using updater::WorkflowHost;
using updater::WorkflowNet;
using updater::WorkflowOptions;

struct FakeHost : WorkflowHost {
  std::string status, error, caption;
  bool checkEnabled = true, checked = false, progressShown = false, launcherShown = false,
       restartPending = false;
  int range = 0, position = 0;
  int restartTimers = 0, gameOpened = 0, quits = 0;
  GameWindow game = GameWindow::Visible;
  std::deque<std::function<void()>> posted;
  std::vector<std::pair<std::string, std::string>> started;
  std::vector<std::string> terminated;
  std::vector<unsigned> restartDelays;

  void setStatus(const std::string& t) override { status = t; }
  void setError(const std::string& t) override { error = t; }
  void setCaption(const std::string& t) override { caption = t; }
  void enableCheckBox(bool e) override { checkEnabled = e; }
  bool checkBoxChecked() const override { return checked; }
  void setCheckBox(bool c) override { checked = c; }
  void setProgressMarquee(bool) override {}
  void setProgressRange(int m) override { range = m; }
  void setProgressPosition(int p) override { position = p; }
  void showProgress(bool s) override { progressShown = s; }
  void showLauncher(bool s) override { launcherShown = s; }
  void redraw() override {}
  void startRestartTimer(unsigned ms) override {
    ++restartTimers;
    restartDelays.push_back(ms);
    restartPending = true;
  }
  void stopRestartTimer() override { restartPending = false; }
  GameWindow openGameWindow() override {
    ++gameOpened;
    return game;
  }
  void post(std::function<void()> job) override {
    std::lock_guard<std::mutex> lock(postLock);
    posted.push_back(job);
  }
  void quit() override { ++quits; }
  int startProcess(const std::string& a, const std::string& c) override {
    started.emplace_back(a, c);
    return 0;
  }
  void terminateProcessesOf(const std::string& p) override { terminated.push_back(p); }

  void runPosted() {
    for (;;) {
      std::function<void()> job;
      {
        std::lock_guard<std::mutex> lock(postLock);
        if (posted.empty()) return;
        job = posted.front();
        posted.pop_front();
      }
      job();
    }
  }
  // Waits for the result of work done off the UI thread, then runs what was posted.
  bool settle() {
    const bool arrived = waitFor(
        [this] {
          std::lock_guard<std::mutex> lock(postLock);
          return !posted.empty();
        },
        20000);
    runPosted();
    return arrived;
  }
  std::mutex postLock;
};

struct FakeDownload : WorkflowDownload {
  std::string url, path;
  std::vector<std::string> sources, used;
  bool oneAtATime = false;
  uint64_t size = 0, count = 0;
  WorkflowNet::DownloadEnd onEnd;
  bool running = false;
  bool* destroyed = nullptr;
  ~FakeDownload() override {
    if (running) onEnd(mnet::DownloadAction::Stopped, 200);  // a stopped run still reports its end
    if (destroyed) *destroyed = true;
  }
  void start() override { running = true; }
  uint64_t downloaded() const override { return count; }
  std::vector<std::string> sourcesUsed() const override { return used; }
};

struct FakeNet : WorkflowNet {
  std::vector<std::string> urls;
  std::vector<size_t> limits;
  std::function<void(int, const std::string&)> onData;
  int cancels = 0;
  FakeDownload* current = nullptr;
  bool currentGone = true;
  std::vector<std::string> downloads;
  std::string mirrorList;

  void getData(const std::string& url, size_t limit, std::function<void(int)>,
               std::function<void(int, const std::string&)> done) override {
    // No mirror list unless a test serves one.
    if (url.find("library/mirrors.txt") != std::string::npos)
      return mirrorList.empty() ? done(404, std::string()) : done(0, mirrorList);
    urls.push_back(url);
    limits.push_back(limit);
    onData = done;
  }
  void cancelAll() override { ++cancels; }
  std::unique_ptr<WorkflowDownload> makeDownload(const std::vector<std::string>& sources,
                                                 const std::string& path, uint64_t size, bool oneAtATime,
                                                 DownloadEnd onEnd) override {
    const std::string& url = sources.front();
    auto d = std::make_unique<FakeDownload>();
    d->url = url;
    d->sources = sources;
    d->oneAtATime = oneAtATime;
    d->path = path;
    d->size = size;
    d->onEnd = onEnd;
    currentGone = false;
    d->destroyed = &currentGone;
    current = d.get();
    downloads.push_back(url);
    return d;
  }
  // The list request answers.
  void answer(int code, const std::string& body) {
    auto done = onData;
    onData = nullptr;
    done(code, body);
  }
  // Requests still open are answered as absent (no root statements, no endorsement).
  void answerAbsent() {
    while (onData) answer(404, "not found");
  }
};

class WorkflowFixture : public InstallFolder {
 protected:
  void SetUp() override {
    InstallFolder::SetUp();
    ::setenv("VORNASK_WEB_HOST", "host.test", 1);
    options_.executableFolder = dir().string();
    options_.executableName = "Vornask";
    options_.argumentText = "noStupidPath";
  }
  void TearDown() override {
    workflow_.reset();
    InstallFolder::TearDown();
  }

  // Lists must come with a manifest signed by `key`; the accepted serial is kept under config.
  void requireSigned(const TestKey& key) {
    options_.updateKey = key.publicBase64();
    options_.registryRoot.folder = path("config").string();
    options_.registryKey = "Software\\Ondrel\\Vornask";
  }

  UpdateWorkflow& start() {
    workflow_ = std::make_unique<UpdateWorkflow>(host_, net_, options_);
    workflow_->launcherCreated();
    workflow_->startFileList();
    return *workflow_;
  }

  // The current download delivers `content` and reports `action`.
  void deliver(const std::string& content, mnet::DownloadAction action = mnet::DownloadAction::Finished,
               int code = 200) {
    ASSERT_FALSE(net_.currentGone);
    vtest::writeWholeFile(net_.current->path, content);
    net_.current->running = false;
    net_.current->onEnd(action, code);
    host_.runPosted();
  }

  FakeHost host_;
  FakeNet net_;
  WorkflowOptions options_;
  std::unique_ptr<UpdateWorkflow> workflow_;
};

}  // namespace vtest
