// Converted 16-bit audio between the audio decoder and SDL's callback. The callback
// only reads from here; each block remembers the time of its first sample so the
// reader knows the time of what it just took.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

class TAudioRing {
 public:
  // ABytesPerSecond of the output format; the ring holds ACapacity bytes.
  void Configure(int ABytesPerSecond, size_t ACapacity);
  // Waits for room; false when aborted.
  bool Write(const uint8_t *AData, size_t ABytes, double APts, int ASerial);
  // Copies up to ABytes; returns the count. *AEndPts: time just after the last byte
  // read (NaN when the block had no time), *ASerial its serial.
  size_t Read(uint8_t *AData, size_t ABytes, double *AEndPts, int *ASerial);
  void Clear();
  void Abort();
  [[nodiscard]] size_t Buffered() const;

 private:
  struct TBlock {
    size_t Bytes = 0;   // still unread
    size_t Offset = 0;  // bytes already read from it
    double Pts = 0;
    int Serial = 0;
  };
  mutable std::mutex FLock;  // guards everything below
  std::condition_variable FRoom;
  std::vector<uint8_t> FData;
  size_t FHead = 0;  // read position
  size_t FSize = 0;
  std::deque<TBlock> FBlocks;
  int FBytesPerSecond = 1;
  bool FAbort = false;
};
