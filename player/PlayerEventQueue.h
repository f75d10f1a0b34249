// The player's event ring: position and state reports wait here for the event thread.
// Consecutive entries of one kind collapse into the newest, so a busy main thread gets
// the latest position once instead of a backlog.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class TPlayerEventQueue {
 public:
  enum TKind { ekPosition = 1, ekState = 2, ekEnd = 3 };
  struct TEntry {
    TKind Kind = ekPosition;
    int64_t Value = 0;
  };
  static constexpr int kCapacity = 10;

  void Add(TKind AKind, int64_t AValue);
  // Takes the oldest entry, waiting up to ATimeout for one. False when none came.
  bool Take(TEntry &AEntry, std::chrono::milliseconds ATimeout);
  void Clear();
  [[nodiscard]] int Count() const;

 private:
  mutable std::mutex FLock;  // guards FRing, FFirst, FCount
  std::condition_variable FSignal;
  std::array<TEntry, kCapacity> FRing{};
  int FFirst = 0;
  int FCount = 0;
};
