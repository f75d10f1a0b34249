// A playback clock: a time stamp that runs on with the wall clock from the moment it
// was set, unless paused. It belongs to one serial; read against a newer serial it
// gives NaN, so nothing syncs to a position from before a seek.
#pragma once

#include <atomic>
#include <cmath>
#include <mutex>

class TPlayerClock {
 public:
  explicit TPlayerClock(const std::atomic<int> *AQueueSerial = nullptr);
  // Wall clock in seconds.
  [[nodiscard]] static double Now();

  [[nodiscard]] double Get() const;
  void Set(double APts, int ASerial);
  void SetAt(double APts, int ASerial, double ATime);
  void SetPaused(bool APaused);
  [[nodiscard]] bool Paused() const;
  [[nodiscard]] int Serial() const;
  [[nodiscard]] double LastUpdated() const;
  // Follows another clock when they drift apart by more than 10 s or this one is unset.
  void SyncTo(const TPlayerClock &AMaster);

 private:
  [[nodiscard]] double GetLocked(double ANow) const;
  mutable std::mutex FLock;  // guards every field below
  double FPts = NAN;
  double FDrift = NAN;
  double FLastUpdated = 0;
  int FSerial = -1;
  bool FPaused = false;
  const std::atomic<int> *FQueueSerial;  // itself when no queue is given
  std::atomic<int> FOwnSerial{-1};
};
