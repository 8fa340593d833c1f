#pragma once

#include <functional>
#include <memory>
#include <string>
#include <variant>

#include "platform/ui/Types.h"

namespace shell {

// Private thread messages of the UI thread (no target window), posted by value. The
// loop owns a message from a successful post on and frees it after handling it.

// The movie's "reload" command.
struct ReloadMessage {};
// The movie's "client" command, after the movie version was stored.
struct ClientHelloMessage {};
// A route trace's text report (UTF-8), from a pool thread.
struct TraceResultMessage {
  std::string text;
};
// Work to run once on the UI thread, from any thread.
struct InvokeMessage {
  std::function<void()> work;
};

using ThreadMessage = std::variant<ReloadMessage, ClientHelloMessage, TraceResultMessage, InvokeMessage>;

// Any thread. False when `thread` has no open queue; the message is then dropped.
bool post(platform::ui::ThreadId thread, ThreadMessage message);

// The message `msg` carries, now owned by the caller; null for any other message.
std::unique_ptr<ThreadMessage> takeThreadMessage(const platform::ui::Message& msg);

// Frees what a thread message carries without handling it (the queue's disposer).
void disposeThreadMessage(const platform::ui::Message& msg);

}  // namespace shell
