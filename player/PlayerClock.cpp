#include "PlayerClock.h"

#include <chrono>

TPlayerClock::TPlayerClock(const std::atomic<int> *AQueueSerial)
    : FQueueSerial(AQueueSerial ? AQueueSerial : &FOwnSerial) {
  SetAt(NAN, -1, Now());
}

double TPlayerClock::Now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double TPlayerClock::GetLocked(double ANow) const {
  if (FQueueSerial->load() != FSerial) return NAN;
  if (FPaused) return FPts;
  return FDrift + ANow;
}

double TPlayerClock::Get() const {
  std::lock_guard<std::mutex> lock(FLock);
  return GetLocked(Now());
}

void TPlayerClock::SetAt(double APts, int ASerial, double ATime) {
  std::lock_guard<std::mutex> lock(FLock);
  FPts = APts;
  FLastUpdated = ATime;
  FDrift = APts - ATime;
  FSerial = ASerial;
  if (FQueueSerial == &FOwnSerial) FOwnSerial = ASerial;
}

void TPlayerClock::Set(double APts, int ASerial) {
  SetAt(APts, ASerial, Now());
}

void TPlayerClock::SetPaused(bool APaused) {
  std::lock_guard<std::mutex> lock(FLock);
  if (FPaused == APaused) return;
  double now = Now();
  if (APaused) {
    // Freeze at the current reading.
    FPts = FDrift + now;
  } else {
    FDrift = FPts - now;
  }
  FLastUpdated = now;
  FPaused = APaused;
}

bool TPlayerClock::Paused() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FPaused;
}

int TPlayerClock::Serial() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FSerial;
}

double TPlayerClock::LastUpdated() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FLastUpdated;
}

void TPlayerClock::SyncTo(const TPlayerClock &AMaster) {
  double master = AMaster.Get();
  int masterSerial = AMaster.Serial();
  double mine = Get();
  if (!std::isnan(master) && (std::isnan(mine) || std::fabs(mine - master) > 10.0))
    Set(master, masterSerial);
}
