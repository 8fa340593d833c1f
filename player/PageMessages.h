#pragma once

#include <string>

namespace player {

// What the page tells the view. Each message reaches the view as the text
// NAME ":" BODY; the page takes the names from `window.vornaskMessages`,
// which pageMessagesScript() defines before the page's own script runs.
enum class PageMessage {
  Call,   // BODY: the request XML of one ExternalInterface call of the movie
  Ready,  // the page can take calls into the movie
  Error,  // BODY: what went wrong in the page
  // The movie is gone: every call it made came before this message.
  Stopped,
  Failed,  // BODY: why the player failed; the movie is gone and the page needs loading anew
};

struct PageMessageName {
  PageMessage message;
  const char* name;
};

inline constexpr PageMessageName pageMessageNames[] = {
    {PageMessage::Call, "call"},       {PageMessage::Ready, "ready"},   {PageMessage::Error, "error"},
    {PageMessage::Stopped, "stopped"}, {PageMessage::Failed, "failed"},
};

// "window.vornaskMessages = Object.freeze({"call":"call",…});"
std::string pageMessagesScript();

// Splits a message text into its kind and body; false for an unknown name.
bool parsePageMessage(const std::string& text, PageMessage& message, std::string& body);

}  // namespace player
