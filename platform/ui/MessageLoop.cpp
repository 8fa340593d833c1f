#include "platform/ui/MessageLoop.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/ui/Backend.h"
#include "platform/ui/Window.h"

namespace platform::ui {
namespace {

using detail::Clock;

struct Timer {
  WindowHandle window;
  unsigned id;
  unsigned ms;
  Clock::time_point due;
};

struct Queue {
  ThreadId thread = 0;
  std::mutex mutex;
  std::condition_variable cv;
  std::deque<Message> messages;
  bool open = true;
  bool quit = false;
  int exitCode = 0;
  std::function<void(const Message&)> disposer;
  std::vector<Timer> timers;  // owner thread only
};

std::mutex registryMutex;
std::unordered_map<ThreadId, std::shared_ptr<Queue>>& registry() {
  static auto* map = new std::unordered_map<ThreadId, std::shared_ptr<Queue>>();
  return *map;
}
std::atomic<ThreadId> nextThreadId{1};

void closeQueue(const std::shared_ptr<Queue>& q) {
  {
    std::lock_guard<std::mutex> lock(registryMutex);
    registry().erase(q->thread);
  }
  std::deque<Message> left;
  std::function<void(const Message&)> disposer;
  {
    std::lock_guard<std::mutex> lock(q->mutex);
    q->open = false;
    left.swap(q->messages);
    disposer = q->disposer;
  }
  if (disposer)
    for (const Message& m : left) disposer(m);
}

struct QueueHolder {
  std::shared_ptr<Queue> queue;
  ~QueueHolder() {
    if (queue) closeQueue(queue);
  }
};

thread_local ThreadId thisThread = 0;
thread_local QueueHolder holder;

Queue& myQueue() {
  ensureMessageQueue();
  return *holder.queue;
}

bool onGtkThread() {
  detail::Backend& b = detail::backend();
  return b.kind() == BackendKind::Gtk && holder.queue && detail::gtkThreadId() == thisThread;
}

// The earliest timer that is due, moved to its next period.
bool takeDueTimer(Queue& q, Message& msg, Clock::time_point now) {
  Timer* best = nullptr;
  for (Timer& t : q.timers)
    if (t.due <= now && (!best || t.due < best->due)) best = &t;
  if (!best) return false;
  best->due = now + std::chrono::milliseconds(best->ms);
  msg = Message{best->window, WmTimer, best->id, 0};
  return true;
}

std::optional<Clock::time_point> nextDue(const Queue& q) {
  std::optional<Clock::time_point> due;
  for (const Timer& t : q.timers)
    if (!due || t.due < *due) due = t.due;
  return due;
}

// Takes a posted message, then quit, then a due timer.
bool take(Queue& q, Message& msg, bool& quit) {
  quit = false;
  {
    std::lock_guard<std::mutex> lock(q.mutex);
    if (!q.messages.empty()) {
      msg = q.messages.front();
      q.messages.pop_front();
      return true;
    }
    if (q.quit) {
      q.quit = false;
      quit = true;
      msg = Message{nullptr, WmQuit, static_cast<WParam>(q.exitCode), 0};
      return true;
    }
  }
  return takeDueTimer(q, msg, Clock::now());
}

}  // namespace

namespace detail {
std::atomic<ThreadId> gtkThread{0};
ThreadId gtkThreadId() {
  return gtkThread.load();
}
void killTimersOf(WindowHandle window) {
  if (!holder.queue) return;
  auto& t = holder.queue->timers;
  t.erase(std::remove_if(t.begin(), t.end(), [&](const Timer& x) { return x.window == window; }), t.end());
}
}  // namespace detail

ThreadId currentThreadId() {
  if (thisThread == 0) thisThread = nextThreadId++;
  return thisThread;
}

void ensureMessageQueue() {
  if (holder.queue) return;
  detail::backend();
  auto q = std::make_shared<Queue>();
  q->thread = currentThreadId();
  std::lock_guard<std::mutex> lock(registryMutex);
  registry()[q->thread] = q;
  holder.queue = q;
}

bool postThreadMessage(ThreadId thread, unsigned message, WParam wParam, LParam lParam) {
  return detail::postTo(thread, Message{nullptr, message, wParam, lParam});
}

namespace detail {
bool postTo(ThreadId thread, const Message& msg) {
  std::shared_ptr<Queue> q;
  {
    std::lock_guard<std::mutex> lock(registryMutex);
    auto it = registry().find(thread);
    if (it == registry().end()) return false;
    q = it->second;
  }
  {
    std::lock_guard<std::mutex> lock(q->mutex);
    if (!q->open) return false;
    q->messages.push_back(msg);
  }
  q->cv.notify_all();
  if (thread == gtkThread.load()) wakeBackend();
  return true;
}
}  // namespace detail

bool postMessage(WindowHandle window, unsigned message, WParam wParam, LParam lParam) {
  ThreadId thread = detail::threadOf(window);
  if (!thread) return false;
  return detail::postTo(thread, Message{window, message, wParam, lParam});
}

void postQuitMessage(int exitCode) {
  Queue& q = myQueue();
  {
    std::lock_guard<std::mutex> lock(q.mutex);
    q.quit = true;
    q.exitCode = exitCode;
  }
  q.cv.notify_all();
  if (q.thread == detail::gtkThreadId()) detail::wakeBackend();
}

bool getMessage(Message& msg) {
  Queue& q = myQueue();
  const bool gtk = onGtkThread();
  for (;;) {
    if (gtk) detail::backend().pump();
    bool quit = false;
    if (take(q, msg, quit)) return !quit;
    std::optional<Clock::time_point> due = nextDue(q);
    if (gtk) {
      detail::backend().wait(due);
      continue;
    }
    std::unique_lock<std::mutex> lock(q.mutex);
    auto ready = [&] { return !q.messages.empty() || q.quit; };
    if (due)
      q.cv.wait_until(lock, *due, ready);
    else
      q.cv.wait(lock, ready);
  }
}

bool peekMessage(Message& msg) {
  Queue& q = myQueue();
  if (onGtkThread()) detail::backend().pump();
  bool quit = false;
  return take(q, msg, quit);
}

LResult dispatchMessage(const Message& msg) {
  if (!msg.window) {
    if (msg.message == detail::ConsoleCommandMessage) detail::consoleDispatch(msg);
    return 0;
  }
  detail::WindowObject* w = detail::find(msg.window);
  if (!w) return 0;
  return detail::callHandler(*w, msg.message, msg.wParam, msg.lParam);
}

void setMessageDisposer(std::function<void(const Message&)> disposer) {
  Queue& q = myQueue();
  std::lock_guard<std::mutex> lock(q.mutex);
  q.disposer = std::move(disposer);
}

void closeMessageQueue() {
  if (!holder.queue) return;
  std::shared_ptr<Queue> q = std::move(holder.queue);
  closeQueue(q);
}

bool setTimer(WindowHandle window, unsigned id, unsigned ms) {
  if (!detail::find(window)) return false;
  Queue& q = myQueue();
  if (ms == 0) ms = 1;
  const auto due = Clock::now() + std::chrono::milliseconds(ms);
  for (Timer& t : q.timers)
    if (t.window == window && t.id == id) {
      t.ms = ms;
      t.due = due;
      return true;
    }
  q.timers.push_back(Timer{window, id, ms, due});
  if (onGtkThread()) detail::wakeBackend();
  return true;
}

bool killTimer(WindowHandle window, unsigned id) {
  if (!holder.queue) return false;
  auto& t = holder.queue->timers;
  auto it =
      std::find_if(t.begin(), t.end(), [&](const Timer& x) { return x.window == window && x.id == id; });
  if (it == t.end()) return false;
  t.erase(it);
  return true;
}

}  // namespace platform::ui
