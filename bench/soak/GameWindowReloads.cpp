#include "bench/soak/GameWindowReloads.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "tests/player/host/PlayerHost.h"

struct GameWindowReloads::Impl {
  std::string movie;
  std::mutex mutex;
  std::condition_variable changed;
  bool requested = false, done = false, ok = false, stop = false;
  std::thread thread;

  // Every GTK call stays on this thread.
  void run() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      changed.wait(lock, [&] { return requested || stop; });
      if (stop) return;
      requested = false;
      lock.unlock();
      bool loaded = false;
      {
        vtest::HostedControl control;
        if (control.created() && control.load(movie) == 0)
          loaded = vtest::pumpUntil([&] { return !control.calls().empty(); }, 60000);
      }
      lock.lock();
      ok = loaded;
      done = true;
      changed.notify_all();
    }
  }
};

GameWindowReloads::GameWindowReloads(std::string moviePath) : impl_(new Impl) {
  impl_->movie = std::move(moviePath);
  impl_->thread = std::thread([this] { impl_->run(); });
}

GameWindowReloads::~GameWindowReloads() {
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->stop = true;
  }
  impl_->changed.notify_all();
  impl_->thread.join();
}

bool GameWindowReloads::reload() {
  std::unique_lock<std::mutex> lock(impl_->mutex);
  impl_->requested = true;
  impl_->done = false;
  impl_->changed.notify_all();
  impl_->changed.wait(lock, [&] { return impl_->done; });
  return impl_->ok;
}
