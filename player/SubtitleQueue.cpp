#include "SubtitleQueue.h"

bool TSubtitleQueue::Push(TSubtitle &&ASubtitle) {
  std::unique_lock<std::mutex> lock(FLock);
  FRoom.wait(lock, [this] { return FAbort || FItems.size() < kPlaces; });
  if (FAbort) return false;
  FItems.push_back(std::move(ASubtitle));
  return true;
}

const TSubtitle *TSubtitleQueue::Peek(int AIndex) const {
  std::lock_guard<std::mutex> lock(FLock);
  if (AIndex < 0 || static_cast<size_t>(AIndex) >= FItems.size()) return nullptr;
  return &FItems[static_cast<size_t>(AIndex)];
}

void TSubtitleQueue::Pop() {
  std::lock_guard<std::mutex> lock(FLock);
  if (FItems.empty()) return;
  FItems.pop_front();
  FRoom.notify_all();
}

void TSubtitleQueue::Abort() {
  std::lock_guard<std::mutex> lock(FLock);
  FAbort = true;
  FRoom.notify_all();
}

void TSubtitleQueue::Reset() {
  std::lock_guard<std::mutex> lock(FLock);
  FItems.clear();
  FAbort = false;
}
