// Synchronous calls into the main (UI) thread. A worker queues a call and waits until the
// main thread has run it; the main thread runs the queue when the host wakes it (the
// host's wake hook posts to its event loop) and whenever it waits for workers itself,
// so that a main thread waiting for a worker never deadlocks against that worker.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class TMainThreadCalls {
 public:
  // The process-wide queue. The thread that first asks for it is the main thread
  // unless SetMainThread names another.
  static TMainThreadCalls &Instance();

  void SetMainThread(std::thread::id AId);
  [[nodiscard]] bool InMainThread() const;

  // Called (from any thread) after a call was queued; the host schedules CheckSynchronize.
  void SetWakeHook(std::function<void()> AWake);

  // Runs AProc in the main thread and returns after it ran: at once when called there.
  // Returns false, without running it, when *ACancel becomes true before it started.
  bool Synchronize(const std::function<void()> &AProc, const std::atomic<bool> *ACancel = nullptr);

  // Runs every queued call; main thread only. Returns the number run.
  int CheckSynchronize();

 private:
  TMainThreadCalls();
  struct TCall {
    const std::function<void()> *Proc = nullptr;
    bool Started = false;
    bool Done = false;
  };
  std::atomic<std::thread::id> FMainThread;
  std::mutex FLock;  // guards FQueue, every TCall's flags and FWake
  std::condition_variable FDone;
  std::deque<std::shared_ptr<TCall>> FQueue;
  std::function<void()> FWake;
};
