#include "player/PageMessages.h"

namespace player {

std::string pageMessagesScript() {
  std::string names;
  for (const PageMessageName& entry : pageMessageNames) {
    if (!names.empty()) names += ',';
    names += std::string("\"") + entry.name + "\":\"" + entry.name + '"';
  }
  return "window.vornaskMessages = Object.freeze({" + names + "});";
}

bool parsePageMessage(const std::string& text, PageMessage& message, std::string& body) {
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos) return false;
  for (const PageMessageName& entry : pageMessageNames) {
    if (text.compare(0, colon, entry.name) != 0) continue;
    message = entry.message;
    body = text.substr(colon + 1);
    return true;
  }
  return false;
}

}  // namespace player
