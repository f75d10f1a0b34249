// Decoded subtitles between the subtitle decoder and the display: four places. The
// decoder turns every subtitle into text or 32-bit images at decoding time, so the
// display never touches the decoder's own structures.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

struct TSubtitleImage {
  int X = 0, Y = 0, Width = 0, Height = 0;  // on the subtitle's canvas
  std::vector<uint32_t> Pixels;             // 0xAARRGGBB, rows top to bottom
};

struct TSubtitle {
  double Start = 0;  // seconds, in the stream's time
  double End = 0;    // infinity: until the next subtitle
  int Serial = 0;
  int64_t Id = 0;  // running number, for telling subtitles apart
  int CanvasWidth = 0, CanvasHeight = 0;
  std::string Text;  // UTF-8, lines split by '\n'
  std::vector<TSubtitleImage> Images;
};

class TSubtitleQueue {
 public:
  static constexpr int kPlaces = 4;

  // Producer: waits for a free place; false when aborted.
  bool Push(TSubtitle &&ASubtitle);

  // Consumer: the AIndex-th waiting subtitle or nullptr. The entry stays valid until
  // the consumer pops it (the producer only appends).
  [[nodiscard]] const TSubtitle *Peek(int AIndex) const;
  void Pop();

  void Abort();
  // Empties the queue and opens it again (no producer may be running).
  void Reset();

 private:
  mutable std::mutex FLock;  // guards both fields
  std::condition_variable FRoom;
  std::deque<TSubtitle> FItems;
  bool FAbort = false;
};
