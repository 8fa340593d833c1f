#include "base/Singleton.h"

#include <cstdlib>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace mstd {
namespace {

struct ExitList {
  std::mutex lock;
  std::vector<std::function<void()>> functions;
};

std::atomic<int> listState{0};
ExitList* list = nullptr;

void runExitList() {
  ExitList* current = list;
  for (;;) {
    std::function<void()> destroy;
    {
      std::lock_guard<std::mutex> guard(current->lock);
      if (current->functions.empty()) break;
      destroy = std::move(current->functions.back());
      current->functions.pop_back();
    }
    try {
      if (destroy) destroy();
    } catch (...) {
      // Nothing below logging can write a record, and the rest of the list still runs.
    }
  }
  list = nullptr;
  listState.store(0, std::memory_order_release);
  delete current;
}

ExitList& exitList() {
  if (!detail::begin_build(listState)) return *list;
  ExitList* created = nullptr;
  try {
    created = new ExitList;
    if (std::atexit(runExitList) != 0) throw std::bad_alloc();
  } catch (...) {
    delete created;
    listState.store(0, std::memory_order_release);
    throw;
  }
  list = created;
  listState.exchange(1, std::memory_order_acq_rel);
  return *created;
}

}  // namespace

void at_exit_register(std::function<void()> destroy) {
  ExitList& target = exitList();
  std::lock_guard<std::mutex> guard(target.lock);
  target.functions.push_back(std::move(destroy));
}

}  // namespace mstd
