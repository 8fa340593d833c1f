#include "shell/Invoker.h"

#include <memory>
#include <string>

namespace shell {

const char* const clientVersion = "1.7.0";

bool postInvoker(platform::ui::ThreadId thread, InvokerBase* invoker) {
  if (platform::ui::postThreadMessage(thread, InvokeMessage, reinterpret_cast<platform::ui::WParam>(invoker),
                                      0))
    return true;
  delete invoker;
  return false;
}

bool postToThread(platform::ui::ThreadId thread, boost::function<void()> job) {
  return postInvoker(thread, new Invoker<boost::function<void()>>(std::move(job)));
}

bool postTraceResult(platform::ui::ThreadId thread, const std::string& text) {
  auto copy = std::make_unique<std::string>(text);
  if (!platform::ui::postThreadMessage(thread, TraceResultMessage,
                                       reinterpret_cast<platform::ui::WParam>(copy.get()), 0))
    return false;
  copy.release();
  return true;
}

void disposeThreadMessage(const platform::ui::Message& msg) {
  if (msg.window) return;
  if (msg.message == InvokeMessage)
    delete reinterpret_cast<InvokerBase*>(msg.wParam);
  else if (msg.message == TraceResultMessage)
    delete reinterpret_cast<std::string*>(msg.wParam);
}

}  // namespace shell
