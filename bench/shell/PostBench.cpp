// Posted work through the UI thread's loop (headless back end).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <thread>

#include "platform/ui/MessageLoop.h"
#include "platform/ui/Window.h"
#include "shell/Invoker.h"

namespace ui = platform::ui;

static const bool headless = (::setenv("VORNASK_UI", "headless", 1), true);

// One job posted and run on the same thread: the cost of the hand-over itself.
static void BM_PostAndRunSameThread(benchmark::State& state) {
  ui::ensureMessageQueue();
  const ui::ThreadId me = ui::currentThreadId();
  long ran = 0;
  ui::Message msg;
  for (auto _ : state) {
    shell::postToThread(me, [&ran] { ++ran; });
    ui::getMessage(msg);
    std::unique_ptr<shell::InvokerBase>(reinterpret_cast<shell::InvokerBase*>(msg.wParam))->invoke();
  }
  state.SetItemsProcessed(ran);
}
BENCHMARK(BM_PostAndRunSameThread);

// Another thread posts a batch; the loop thread runs it all.
static void BM_CrossThreadBatch(benchmark::State& state) {
  ui::ensureMessageQueue();
  const ui::ThreadId me = ui::currentThreadId();
  const int batch = static_cast<int>(state.range(0));
  long ran = 0;
  ui::Message msg;
  for (auto _ : state) {
    std::thread poster([&] {
      for (int i = 0; i < batch; ++i) shell::postToThread(me, [&ran] { ++ran; });
    });
    for (int i = 0; i < batch; ++i) {
      ui::getMessage(msg);
      std::unique_ptr<shell::InvokerBase>(reinterpret_cast<shell::InvokerBase*>(msg.wParam))->invoke();
    }
    poster.join();
  }
  state.SetItemsProcessed(ran);
}
BENCHMARK(BM_CrossThreadBatch)->Arg(1000)->UseRealTime();

BENCHMARK_MAIN();
