// Posted work through the UI thread's loop (headless back end).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <thread>

#include "platform/ui/MessageLoop.h"
#include "platform/ui/Window.h"
#include "shell/ThreadMessages.h"

namespace ui = platform::ui;

static const bool headless = (::setenv("VORNASK_UI", "headless", 1), true);

static void post(ui::ThreadId thread, std::function<void()> work) {
  shell::post(thread, shell::InvokeMessage{std::move(work)});
}

static void runNext(ui::Message& msg) {
  ui::getMessage(msg);
  std::get<shell::InvokeMessage>(*shell::takeThreadMessage(msg)).work();
}

// One job posted and run on the same thread: the cost of the hand-over itself.
static void BM_PostAndRunSameThread(benchmark::State& state) {
  ui::ensureMessageQueue();
  const ui::ThreadId me = ui::currentThreadId();
  long ran = 0;
  ui::Message msg;
  for (auto _ : state) {
    post(me, [&ran] { ++ran; });
    runNext(msg);
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
      for (int i = 0; i < batch; ++i) post(me, [&ran] { ++ran; });
    });
    for (int i = 0; i < batch; ++i) runNext(msg);
    poster.join();
  }
  state.SetItemsProcessed(ran);
}
BENCHMARK(BM_CrossThreadBatch)->Arg(1000)->UseRealTime();

BENCHMARK_MAIN();
