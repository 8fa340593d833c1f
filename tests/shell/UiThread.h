#pragma once

#include <thread>

#include "platform/ui/MessageLoop.h"
#include "shell/ThreadMessages.h"

namespace vtest {

// Runs `body` on a new thread set up as a UI thread; its queue closes afterwards.
template <class F>
void onUiThread(F body) {
  std::thread t([&] {
    platform::ui::ensureMessageQueue();
    platform::ui::setMessageDisposer(shell::disposeThreadMessage);
    body();
    platform::ui::closeMessageQueue();
  });
  t.join();
}

}  // namespace vtest
