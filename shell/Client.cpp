#include "shell/Client.h"

#include <boost/exception/diagnostic_information.hpp>
#include <exception>
#include <memory>

#include "logging/Log.h"
#include "platform/ui/MessageLoop.h"
#include "platform/ui/Window.h"
#include "shell/GameHost.h"
#include "shell/Log.h"
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

void Client::bringToFront(const std::string& activationToken) {
  if (gameHost_ && gameHost_->bringToFront(activationToken)) return;
  if (launcher_.exists()) ui::bringToFront(launcher_.window(), activationToken);
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

void Client::onProgressTimer() {
  updater_->onProgressTimer();
}

void Client::onRestartTimer() {
  updater_->onRestartTimer();
}

void Client::handle(ReloadMessage&) {
  if (!launcher_.exists()) createLauncherWindow();
  startFileList();
}

void Client::handle(ClientHelloMessage&) {
  const bool addressed = movieVersion_ >= 320;
  if (relayPort_ == 0 && parts_.startRelay) {
    try {
      relayPort_ = parts_.startRelay(addressed);
    } catch (const std::exception& e) {
      MLOG(clientLog(), mlog::Error) << "the relay did not start: " << e.what();
    }
  }
  if (gameHost_) gameHost_->sendClientReply(addressed ? relayPort_ : 0);
}

void Client::handle(TraceResultMessage& message) {
  if (gameWindowExists()) gameHost_->sendBugReport(message.text);
}

void Client::handle(InvokeMessage& message) {
  message.work();
}

bool Client::handleThreadMessage(const ui::Message& msg) {
  const std::unique_ptr<ThreadMessage> message = takeThreadMessage(msg);
  if (!message) return false;
  std::visit([this](auto& m) { handle(m); }, *message);
  return true;
}

int Client::runMessageLoop() {
  ui::Message msg;
  while (ui::getMessage(msg)) {
    try {
      if (!handleThreadMessage(msg)) ui::dispatchMessage(msg);
    } catch (...) {
      // Posted work that throws is dropped; the loop goes on.
      MLOG(clientLog(), mlog::Error) << "posted work failed: "
                                     << boost::current_exception_diagnostic_information();
    }
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace shell
