// The game host and the installer are switched on by the build (VORNASK_HAS_*).
#include "shell/Wiring.h"

#include <boost/bind/bind.hpp>

#include "shell/GameHost.h"
#include "shell/InstallCheck.h"
#include "shell/Invoker.h"
#include "shell/UpdateHandler.h"

#include "net/HTTPContext.h"
#include "relay/Proxy.h"

namespace shell {
namespace {

void prepareHttp(const std::string& userAgent, unsigned uiThread) {
  mnet::HTTPContext& http = mnet::HTTPContext::instance();
  http.setUserAgent(userAgent);
  http.setDispatcher(boost::bind(&postToThread, uiThread, boost::placeholders::_1));
}

std::uint16_t startRelay(bool addressed) {
  relay::Proxy& relay = relay::Proxy::instance();
  relay.start(addressed);
  return relay.port();
}

}  // namespace

Wiring programWiring() {
  Wiring w;
#ifdef VORNASK_HAS_INSTALLER
  w.installCheck = &installCheck;
#endif
  w.prepareHttp = &prepareHttp;
  return w;
}

ClientParts programParts() {
  ClientParts parts;
  parts.makeUpdateHandler = &createUpdateWorkflow;
#ifdef VORNASK_HAS_GAME_HOST
  parts.makeGameHost = &createGameHost;
#endif
  parts.startRelay = &startRelay;
  return parts;
}

}  // namespace shell
