#include "MainThreadCall.h"

#include <algorithm>
#include <chrono>

TMainThreadCalls &TMainThreadCalls::Instance() {
  static TMainThreadCalls instance;
  return instance;
}

TMainThreadCalls::TMainThreadCalls() : FMainThread(std::this_thread::get_id()) {}

void TMainThreadCalls::SetMainThread(std::thread::id AId) {
  FMainThread = AId;
}

bool TMainThreadCalls::InMainThread() const {
  return std::this_thread::get_id() == FMainThread.load();
}

void TMainThreadCalls::SetWakeHook(std::function<void()> AWake) {
  std::lock_guard<std::mutex> lock(FLock);
  FWake = std::move(AWake);
}

bool TMainThreadCalls::Synchronize(const std::function<void()> &AProc,
                                   const std::atomic<bool> *ACancel) {
  if (InMainThread()) {
    AProc();
    return true;
  }
  auto call = std::make_shared<TCall>();
  call->Proc = &AProc;
  std::function<void()> wake;
  {
    std::lock_guard<std::mutex> lock(FLock);
    FQueue.push_back(call);
    wake = FWake;
  }
  if (wake) wake();
  std::unique_lock<std::mutex> lock(FLock);
  while (!call->Done) {
    if (ACancel && ACancel->load() && !call->Started) {
      FQueue.erase(std::remove(FQueue.begin(), FQueue.end(), call), FQueue.end());
      return false;
    }
    // Timed so that a cancel without notification is still seen.
    FDone.wait_for(lock, std::chrono::milliseconds(20));
  }
  return true;
}

int TMainThreadCalls::CheckSynchronize() {
  if (!InMainThread()) return 0;
  int count = 0;
  for (;;) {
    std::shared_ptr<TCall> call;
    {
      std::lock_guard<std::mutex> lock(FLock);
      if (FQueue.empty()) break;
      call = FQueue.front();
      FQueue.pop_front();
      call->Started = true;
    }
    try {
      (*call->Proc)();
    } catch (...) {
      // A failing handler must not leave its caller waiting forever.
    }
    {
      std::lock_guard<std::mutex> lock(FLock);
      call->Done = true;
    }
    FDone.notify_all();
    ++count;
  }
  return count;
}
