#include "gamehost/GameHostImpl.h"

#include "gamehost/MovieCalls.h"
#include "platform/ui/Window.h"

namespace gamehost {

GameHostImpl::GameHostImpl(shell::Client& client, ControlFactory makeControl)
    : client_(client), makeControl_(std::move(makeControl)) {}

GameHostImpl::~GameHostImpl() = default;

bool GameHostImpl::makeGameWindow() {
  if (browser_) closeGameWindow();
  browser_ = std::make_unique<Browser>(client_, file_, makeControl_);
  return browser_->create();
}

void GameHostImpl::closeGameWindow() {
  if (!browser_) return;
  browser_->close();
  browser_.reset();
}

bool GameHostImpl::gameWindowVisible() const {
  return browser_ && platform::ui::isWindowVisible(browser_->window());
}

void GameHostImpl::sendClientReply(std::uint16_t port) {
  if (browser_) callMovie(browser_->control(), clientReplyRequest(port));
}

void GameHostImpl::sendBugReport(const std::string& text) {
  if (browser_) callMovie(browser_->control(), bugReportRequest(text));
}

}  // namespace gamehost
