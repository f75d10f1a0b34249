#include "PlayerEventQueue.h"

void TPlayerEventQueue::Add(TKind AKind, int64_t AValue) {
  {
    std::lock_guard<std::mutex> lock(FLock);
    if (FCount > 0) {
      TEntry &newest = FRing[(FFirst + FCount - 1) % kCapacity];
      if (newest.Kind == AKind) {
        newest.Value = AValue;
        FSignal.notify_all();
        return;
      }
    }
    if (FCount == kCapacity) {  // full: the oldest entry makes room
      FFirst = (FFirst + 1) % kCapacity;
      --FCount;
    }
    FRing[(FFirst + FCount) % kCapacity] = TEntry{AKind, AValue};
    ++FCount;
  }
  FSignal.notify_all();
}

bool TPlayerEventQueue::Take(TEntry &AEntry, std::chrono::milliseconds ATimeout) {
  std::unique_lock<std::mutex> lock(FLock);
  if (!FSignal.wait_for(lock, ATimeout, [this] { return FCount > 0; })) return false;
  AEntry = FRing[FFirst];
  FFirst = (FFirst + 1) % kCapacity;
  --FCount;
  return true;
}

void TPlayerEventQueue::Clear() {
  std::lock_guard<std::mutex> lock(FLock);
  FFirst = 0;
  FCount = 0;
}

int TPlayerEventQueue::Count() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FCount;
}
