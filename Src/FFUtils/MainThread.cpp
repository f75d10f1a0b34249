#include "MainThread.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

// Static initialisation runs in the thread that starts the program.
const std::thread::id gMainThreadId = std::this_thread::get_id();

TDirectMainThreadCaller &DirectCaller() {
  static TDirectMainThreadCaller *caller = new TDirectMainThreadCaller;
  return *caller;
}

std::atomic<TMainThreadCaller *> gCaller{nullptr};

// Serialises direct calls so that handlers never run twice at once.
std::recursive_mutex &DirectLock() {
  static std::recursive_mutex *lock = new std::recursive_mutex;
  return *lock;
}

}  // namespace

void TDirectMainThreadCaller::Synchronize(const std::function<void()> &AProc) {
  std::lock_guard<std::recursive_mutex> guard(DirectLock());
  AProc();
}

void TDirectMainThreadCaller::Post(std::function<void()> AProc) {
  std::lock_guard<std::recursive_mutex> guard(DirectLock());
  AProc();
}

struct TQueuedMainThreadCaller::State {
  struct Item {
    std::function<void()> Proc;
    bool *Done = nullptr;  // set when the item has run (synchronous calls)
  };
  std::mutex Lock;  // guards Queue and every Done flag
  std::condition_variable Ran;
  std::deque<Item> Queue;
};

TQueuedMainThreadCaller::TQueuedMainThreadCaller() : FState(std::make_unique<State>()) {}
TQueuedMainThreadCaller::~TQueuedMainThreadCaller() = default;

void TQueuedMainThreadCaller::Synchronize(const std::function<void()> &AProc) {
  if (IsMainThread()) {
    AProc();
    return;
  }
  bool done = false;
  std::unique_lock<std::mutex> lock(FState->Lock);
  FState->Queue.push_back({AProc, &done});
  FState->Ran.wait(lock, [&] { return done; });
}

void TQueuedMainThreadCaller::Post(std::function<void()> AProc) {
  std::lock_guard<std::mutex> guard(FState->Lock);
  FState->Queue.push_back({std::move(AProc), nullptr});
}

void TQueuedMainThreadCaller::PumpMessages() {
  for (;;) {
    State::Item item;
    {
      std::lock_guard<std::mutex> guard(FState->Lock);
      if (FState->Queue.empty()) return;
      item = std::move(FState->Queue.front());
      FState->Queue.pop_front();
    }
    item.Proc();
    if (item.Done != nullptr) {
      std::lock_guard<std::mutex> guard(FState->Lock);
      *item.Done = true;
      FState->Ran.notify_all();
    }
  }
}

bool IsMainThread() {
  return std::this_thread::get_id() == gMainThreadId;
}

uint32_t CurrentThreadID() {
  return static_cast<uint32_t>(::syscall(SYS_gettid));
}

void SetMainThreadCaller(TMainThreadCaller *ACaller) {
  gCaller.store(ACaller);
}

TMainThreadCaller &MainThreadCaller() {
  TMainThreadCaller *caller = gCaller.load();
  return caller != nullptr ? *caller : DirectCaller();
}

void CallInMainThread(const std::function<void()> &AProc) {
  MainThreadCaller().Synchronize(AProc);
}

void PumpMessages() {
  MainThreadCaller().PumpMessages();
}
