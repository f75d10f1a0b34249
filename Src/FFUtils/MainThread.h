// Calls into the program's main thread. The core knows only this interface; a window
// program installs its own caller (one that runs work in its event loop), programs
// without a UI use the direct caller that is installed by default.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

class TMainThreadCaller {
 public:
  virtual ~TMainThreadCaller() = default;
  // Runs AProc in the main thread and returns when it has run; called in the main
  // thread it runs AProc at once.
  virtual void Synchronize(const std::function<void()> &AProc) = 0;
  // Hands AProc to the main thread without waiting for it.
  virtual void Post(std::function<void()> AProc) = 0;
  // Runs whatever is waiting for the main thread. Called by the main thread while it
  // waits for a worker that may be blocked in Synchronize.
  virtual void PumpMessages() = 0;
};

// Runs every call at once in the calling thread, one call at a time. For programs
// that have no event loop: nothing ever waits for the main thread to come round.
class TDirectMainThreadCaller final : public TMainThreadCaller {
 public:
  void Synchronize(const std::function<void()> &AProc) override;
  void Post(std::function<void()> AProc) override;
  void PumpMessages() override {}
};

// Queues calls until the main thread runs PumpMessages. Useful for programs with their
// own loop and for tests that check what really reaches the main thread.
class TQueuedMainThreadCaller final : public TMainThreadCaller {
 public:
  TQueuedMainThreadCaller();
  ~TQueuedMainThreadCaller() override;
  void Synchronize(const std::function<void()> &AProc) override;
  void Post(std::function<void()> AProc) override;
  void PumpMessages() override;

 private:
  struct State;
  std::unique_ptr<State> FState;
};

// True in the thread that started the program.
[[nodiscard]] bool IsMainThread();
// The operating system's id of the calling thread.
[[nodiscard]] uint32_t CurrentThreadID();

// Installs the process's caller; nullptr restores the direct one. The caller must
// outlive its installation.
void SetMainThreadCaller(TMainThreadCaller *ACaller);
[[nodiscard]] TMainThreadCaller &MainThreadCaller();

// Runs AProc in the main thread and waits for it; in the main thread it runs at once.
void CallInMainThread(const std::function<void()> &AProc);
// Lets the main thread serve pending calls while it waits for another thread.
void PumpMessages();
