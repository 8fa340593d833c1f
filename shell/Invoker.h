#pragma once

#include <boost/function.hpp>
#include <string>
#include <utility>

#include "platform/ui/MessageLoop.h"
#include "shell/ThreadMessages.h"

namespace shell {

// Work carried to the UI thread by InvokeMessage.
class InvokerBase {
 public:
  virtual void invoke() = 0;
  virtual ~InvokerBase() = default;
};

template <class F>
class Invoker : public InvokerBase {
 public:
  explicit Invoker(F f) : f_(std::move(f)) {}
  void invoke() override { f_(); }

 private:
  F f_;
};

// Posts `invoker` as InvokeMessage; on failure it is deleted and false returned.
bool postInvoker(platform::ui::ThreadId thread, InvokerBase* invoker);

// Runs `job` once on `thread`'s message loop; any thread may call it.
bool postToThread(platform::ui::ThreadId thread, boost::function<void()> job);

// Same for any callable, e.g. a bound member call with its argument values.
template <class F>
bool postCall(platform::ui::ThreadId thread, F f) {
  return postInvoker(thread, new Invoker<F>(std::move(f)));
}

// Posts TraceResultMessage with a heap copy of `text`; freed when the post fails.
bool postTraceResult(platform::ui::ThreadId thread, const std::string& text);

// Frees what a thread message carries without running it.
void disposeThreadMessage(const platform::ui::Message& msg);

}  // namespace shell
