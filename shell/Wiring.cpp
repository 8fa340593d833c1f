// Which libraries are linked in is decided by the build (VORNASK_HAS_*).
#include "shell/Wiring.h"

#include <boost/bind/bind.hpp>

#include "shell/GameHost.h"
#include "shell/InstallCheck.h"
#include "shell/Invoker.h"
#include "shell/UpdateHandler.h"

#ifdef VORNASK_HAS_NET
#include "net/HTTPContext.h"
#endif
#ifdef VORNASK_HAS_RELAY
#include "relay/Proxy.h"
#endif

namespace shell {
namespace {

#ifdef VORNASK_HAS_NET
void prepareHttp(const std::string& userAgent, unsigned uiThread) {
  mnet::HTTPContext& http = mnet::HTTPContext::instance();
  http.setUserAgent(userAgent);
  http.setDispatcher(boost::bind(&postToThread, uiThread, boost::placeholders::_1));
}
#endif

#ifdef VORNASK_HAS_RELAY
std::uint16_t startRelay(bool addressed) {
  Proxy& relay = Proxy::instance();
  relay.start(addressed);
  return relay.port();
}
#endif

}  // namespace

Wiring programWiring() {
  Wiring w;
#ifdef VORNASK_HAS_INSTALLER
  w.installCheck = &installCheck;
#endif
#ifdef VORNASK_HAS_NET
  w.prepareHttp = &prepareHttp;
#endif
  return w;
}

ClientParts programParts() {
  ClientParts parts;
#ifdef VORNASK_HAS_UPDATE_WORKFLOW
  parts.makeUpdateHandler = &createUpdateWorkflow;
#endif
#ifdef VORNASK_HAS_GAME_HOST
  parts.makeGameHost = &createGameHost;
#endif
#ifdef VORNASK_HAS_RELAY
  parts.startRelay = &startRelay;
#endif
  return parts;
}

}  // namespace shell
