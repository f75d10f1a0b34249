#include "PictureQueue.h"

TPictureQueue::TPictureQueue() {
  for (TPicture &p : FSlots) p.Frame = ff::util.av_frame_alloc();
}

TPictureQueue::~TPictureQueue() {
  for (TPicture &p : FSlots) ff::util.av_frame_free(&p.Frame);
}

TPicture *TPictureQueue::PeekWritable() {
  std::unique_lock<std::mutex> lock(FLock);
  FCond.wait(lock, [this] { return FAbort || FCount - (FShown ? 1 : 0) < kPlaces; });
  if (FAbort) return nullptr;
  return &FSlots[(FRead + FCount) % kSlots];
}

void TPictureQueue::Push() {
  std::lock_guard<std::mutex> lock(FLock);
  ++FCount;
  FCond.notify_all();
}

int TPictureQueue::Pending() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FCount - (FShown ? 1 : 0);
}

bool TPictureQueue::HasShown() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FShown;
}

TPicture &TPictureQueue::Last() {
  std::lock_guard<std::mutex> lock(FLock);
  return FSlots[FRead];
}

TPicture &TPictureQueue::Next() {
  std::lock_guard<std::mutex> lock(FLock);
  return FSlots[(FRead + (FShown ? 1 : 0)) % kSlots];
}

TPicture &TPictureQueue::NextNext() {
  std::lock_guard<std::mutex> lock(FLock);
  return FSlots[(FRead + (FShown ? 1 : 0) + 1) % kSlots];
}

void TPictureQueue::Pop() {
  std::lock_guard<std::mutex> lock(FLock);
  if (FCount - (FShown ? 1 : 0) <= 0) return;
  if (!FShown) {
    FShown = true;
  } else {
    ff::util.av_frame_unref(FSlots[FRead].Frame);
    FRead = (FRead + 1) % kSlots;
    --FCount;
  }
  FCond.notify_all();
}

void TPictureQueue::Abort() {
  std::lock_guard<std::mutex> lock(FLock);
  FAbort = true;
  FCond.notify_all();
}

bool TPictureQueue::Aborted() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FAbort;
}

void TPictureQueue::Reset() {
  std::lock_guard<std::mutex> lock(FLock);
  for (TPicture &p : FSlots) ff::util.av_frame_unref(p.Frame);
  FRead = 0;
  FCount = 0;
  FShown = false;
  FAbort = false;
}
