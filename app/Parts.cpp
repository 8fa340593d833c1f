#include "app/Parts.h"

#include "app/ClientWorkflow.h"
#include "gamehost/FlashLoader.h"
#include "gamehost/GameHostImpl.h"
#include "installer/InstallCheck.h"
#include "net/HTTPContext.h"
#include "relay/Proxy.h"
#include "shell/ThreadMessages.h"

namespace app {
namespace {

void prepareHttp(const std::string& userAgent, platform::ui::ThreadId uiThread) {
  mnet::HTTPContext& http = mnet::HTTPContext::instance();
  http.setUserAgent(userAgent);
  http.setDispatcher(
      [uiThread](mnet::Job job) { shell::post(uiThread, shell::InvokeMessage{std::move(job)}); });
}

std::uint16_t startRelay(bool addressed) {
  relay::Proxy& relay = relay::Proxy::instance();
  relay.start(addressed);
  return relay.port();
}

}  // namespace

shell::ClientParts programParts() {
  shell::ClientParts parts;
  parts.installCheck = &installer::installCheck;
  parts.prepareHttp = &prepareHttp;
  parts.makeUpdateHandler = &makeClientWorkflow;
  parts.makeGameHost = [](shell::Client& client) {
    return std::make_unique<gamehost::GameHostImpl>(
        client, &gamehost::createFlashControl, [] { return relay::Proxy::instance().movieReachablePorts(); });
  };
  parts.startRelay = &startRelay;
  return parts;
}

}  // namespace app
