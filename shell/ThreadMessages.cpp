#include "shell/ThreadMessages.h"

#include "platform/ui/MessageLoop.h"

namespace shell {
namespace {

// The queue's message numbers, in the order of the variant; 1151 is not used.
constexpr unsigned numbers[] = {1148, 1149, 1150, 1152};
static_assert(std::size(numbers) == std::variant_size_v<ThreadMessage>);

bool isThreadMessage(const platform::ui::Message& msg) {
  if (msg.window || !msg.wParam) return false;
  for (unsigned n : numbers)
    if (msg.message == n) return true;
  return false;
}

}  // namespace

bool post(platform::ui::ThreadId thread, ThreadMessage message) {
  const unsigned number = numbers[message.index()];
  auto carried = std::make_unique<ThreadMessage>(std::move(message));
  if (!platform::ui::postThreadMessage(thread, number, reinterpret_cast<platform::ui::WParam>(carried.get()),
                                       0))
    return false;
  carried.release();  // the receiving loop owns it now
  return true;
}

std::unique_ptr<ThreadMessage> takeThreadMessage(const platform::ui::Message& msg) {
  if (!isThreadMessage(msg)) return nullptr;
  return std::unique_ptr<ThreadMessage>(reinterpret_cast<ThreadMessage*>(msg.wParam));
}

void disposeThreadMessage(const platform::ui::Message& msg) {
  takeThreadMessage(msg);
}

}  // namespace shell
