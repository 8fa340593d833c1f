#include "gamehost/GameHostImpl.h"

#include "gamehost/MovieCalls.h"
#include "logging/Log.h"
#include "logging/LogParticipant.h"
#include "platform/ui/Window.h"

namespace gamehost {
namespace {

MLOG_DEFINE_PARTICIPANT(portsLog, "game")

// Tells a new control, before its movie loads, which ports its sockets may reach.
void tellPorts(platform::com::IShockwaveFlash* control, const GameHostImpl::RelayPorts& relayPorts) {
  std::vector<std::uint16_t> ports;
  try {
    ports = relayPorts();
  } catch (const std::exception& e) {
    MLOG(portsLog(), mlog::Error) << "the relay's ports are not known, the movie gets none: " << e.what();
  }
  platform::com::ComPtr<platform::com::IControlAttach> attach;
  if (control->QueryInterface(platform::com::IID_IControlAttach, attach.out()) == platform::com::S_OK &&
      attach)
    attach->AllowSocketPorts(ports.data(), static_cast<int>(ports.size()));
}

}  // namespace

GameHostImpl::GameHostImpl(shell::Client& client, ControlFactory makeControl, RelayPorts relayPorts)
    : client_(client), relayPorts_(std::move(relayPorts)) {
  makeControl_ = [this, make = std::move(makeControl)]() -> platform::com::IShockwaveFlash* {
    platform::com::IShockwaveFlash* control = make ? make() : nullptr;
    if (control && relayPorts_) tellPorts(control, relayPorts_);
    return control;
  };
}

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

bool GameHostImpl::bringToFront(const std::string& activationToken) {
  return browser_ && platform::ui::bringToFront(browser_->window(), activationToken);
}

void GameHostImpl::sendClientReply(std::uint16_t port) {
  if (browser_) callMovie(browser_->control(), clientReplyRequest(port));
}

void GameHostImpl::sendBugReport(const std::string& text) {
  if (browser_) callMovie(browser_->control(), bugReportRequest(text));
}

}  // namespace gamehost
