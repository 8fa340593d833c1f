#pragma once

#include <functional>

#include "platform/ui/Types.h"

namespace platform::ui {

// Identifier of the calling thread (stable, never 0).
ThreadId currentThreadId();

// Gives the calling thread a message queue (idempotent); posting to a thread
// without one fails.
void ensureMessageQueue();

// Any thread. False when the thread has no open queue; the caller keeps
// whatever the message carries.
bool postThreadMessage(ThreadId thread, unsigned message, WParam wParam, LParam lParam);
bool postMessage(WindowHandle window, unsigned message, WParam wParam, LParam lParam);

// The next getMessage on this thread, once posted messages are drained, reports quit.
void postQuitMessage(int exitCode);

// Waits for the next message, pumping the back end meanwhile. False on quit
// (msg.message is WmQuit, msg.wParam the exit code).
bool getMessage(Message& msg);
// Takes a message if one is ready, without waiting; pumps pending events.
bool peekMessage(Message& msg);
// Hands a window message to the window's handler; thread messages only reach
// the back end's own ones (console commands).
LResult dispatchMessage(const Message& msg);

// Called for each message still queued when the queue closes (and after, for
// posts that raced the close), so carried objects are freed.
void setMessageDisposer(std::function<void(const Message&)> disposer);
// Closes this thread's queue: later posts fail, pending messages are disposed.
void closeMessageQueue();

// Timers: WmTimer with wParam = id reaches the window every `ms` while the
// loop waits; a timer with the same id is replaced.
bool setTimer(WindowHandle window, unsigned id, unsigned ms);
bool killTimer(WindowHandle window, unsigned id);

}  // namespace platform::ui
