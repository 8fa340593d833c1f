#include "shell/Client.h"

#include <boost/exception/diagnostic_information.hpp>
#include <cstdio>
#include <exception>
#include <memory>

#include "platform/ui/MessageLoop.h"
#include "shell/GameHost.h"
#include "shell/Invoker.h"
#include "shell/ThreadMessages.h"
#include "shell/UpdateHandler.h"
#include "support/ThreadPool.h"

namespace shell {

namespace ui = platform::ui;

Client::Client(const StartOptions& options, ui::ThreadId uiThread, ClientParts parts)
    : options_(options), uiThread_(uiThread), parts_(std::move(parts)), launcher_(*this) {
  // A trace still running when the client closes gets half a second, then is stopped.
  threadPool_ = std::make_unique<mstd::thread_pool>(boost::chrono::milliseconds(500));
  if (parts_.makeGameHost) gameHost_ = parts_.makeGameHost(*this);
  updater_ = parts_.makeUpdateHandler ? parts_.makeUpdateHandler(*this) : nullptr;
  if (!updater_) updater_ = makeNullUpdateHandler(*this);
  createLauncherWindow();
}

Client::~Client() {
  destroying_ = true;
  if (gameHost_) gameHost_->closeMovieFile();
  updater_->stopDownload();
  threadPool_.reset();
  gameHost_.reset();
  launcher_.destroy();
  updater_.reset();
}

void Client::createLauncherWindow() {
  launcher_.create();
  if (launcher_.exists()) updater_->onLauncherCreated();
}

void Client::startFileList() {
  updater_->startFileList();
}

bool Client::makeGameWindow() {
  return gameHost_ && gameHost_->makeGameWindow();
}

void Client::closeGameWindow() {
  if (gameHost_) gameHost_->closeGameWindow();
}

bool Client::gameWindowExists() const {
  return gameHost_ && gameHost_->gameWindowExists();
}

bool Client::gameWindowVisible() const {
  return gameHost_ && gameHost_->gameWindowVisible();
}

void Client::onLauncherDestroyed() {
  if (destroying_) return;
  if (!gameWindowExists() || !gameWindowVisible()) ui::postQuitMessage(0);
}

void Client::onActionButton() {
  updater_->onActionButton();
}

void Client::onCheckBox() {
  updater_->onCheckBox();
}

void Client::onTimer(unsigned id) {
  if (id == launcher::LauncherWindow::RestartTimer)
    updater_->onRestartTimer();
  else
    updater_->onProgressTimer();
}

void Client::onClientHello() {
  const bool addressed = movieVersion_ >= 320;
  if (relayPort_ == 0 && parts_.startRelay) {
    try {
      relayPort_ = parts_.startRelay(addressed);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "Vornask: the relay did not start: %s\n", e.what());
    }
  }
  if (gameHost_) gameHost_->sendClientReply(addressed ? relayPort_ : 0);
}

bool Client::handleThreadMessage(const ui::Message& msg) {
  if (msg.window) return false;
  switch (msg.message) {
    case ReloadMessage:
      if (!launcher_.exists()) createLauncherWindow();
      startFileList();
      return true;
    case ClientHelloMessage:
      onClientHello();
      return true;
    case TraceResultMessage: {
      std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(msg.wParam));
      if (text && gameWindowExists()) gameHost_->sendBugReport(*text);
      return true;
    }
    case InvokeMessage: {
      std::unique_ptr<InvokerBase> work(reinterpret_cast<InvokerBase*>(msg.wParam));
      if (work) work->invoke();
      return true;
    }
  }
  return false;
}

int Client::runMessageLoop() {
  ui::Message msg;
  while (ui::getMessage(msg)) {
    try {
      if (!handleThreadMessage(msg)) ui::dispatchMessage(msg);
    } catch (...) {
      // Posted work that throws is dropped; the loop goes on.
      std::fprintf(stderr, "Vornask: %s\n", boost::current_exception_diagnostic_information().c_str());
    }
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace shell
