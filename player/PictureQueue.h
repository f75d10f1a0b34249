// Decoded pictures between the video decoder and the display: two places for pictures
// waiting to be shown, plus the picture on screen, which is kept for redraws and
// snapshots. One producer (the decoder) and one consumer (the display thread).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "FFmpegLoader/AVPtr.h"

struct TPicture {
  AVFrame *Frame = nullptr;
  double Pts = 0;       // seconds
  double Duration = 0;  // seconds, 0 when unknown
  int64_t Pos = -1;     // byte position in the file
  int Serial = 0;
};

class TPictureQueue {
 public:
  static constexpr int kPlaces = 2;

  TPictureQueue();
  ~TPictureQueue();
  TPictureQueue(const TPictureQueue &) = delete;
  TPictureQueue &operator=(const TPictureQueue &) = delete;

  // Producer: the place for the next picture, waiting while both places are taken.
  // nullptr when aborted.
  TPicture *PeekWritable();
  void Push();

  // Consumer.
  [[nodiscard]] int Pending() const;  // pictures waiting to be shown
  [[nodiscard]] bool HasShown() const;
  TPicture &Last();      // the picture on screen (valid with HasShown)
  TPicture &Next();      // the oldest waiting picture (valid with Pending() >= 1)
  TPicture &NextNext();  // the one after it (valid with Pending() >= 2)
  // Makes Next the picture on screen and frees the previous one.
  void Pop();

  void Abort();
  [[nodiscard]] bool Aborted() const;
  // Drops every picture and opens the queue again (no producer may be running).
  void Reset();

 private:
  static constexpr int kSlots = kPlaces + 1;
  mutable std::mutex FLock;  // guards FRead, FCount, FShown, FAbort; slot contents are
                             // handed over by Push/Pop under it
  std::condition_variable FCond;
  TPicture FSlots[kSlots];
  int FRead = 0;
  int FCount = 0;  // including the picture on screen
  bool FShown = false;
  bool FAbort = false;
};
