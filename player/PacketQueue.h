// Packets of one stream between the read thread and a decoder. Sizes count each
// packet's data plus 72 bytes of bookkeeping; a seek bumps the serial and queues a
// flush marker so the decoder drops what it holds from before the seek.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

#include "FFmpegLoader/AVPtr.h"

class TPacketQueue {
 public:
  static constexpr int64_t kPacketOverhead = 72;

  TPacketQueue() = default;
  ~TPacketQueue();
  TPacketQueue(const TPacketQueue &) = delete;
  TPacketQueue &operator=(const TPacketQueue &) = delete;

  // Opens the queue for use: clears the abort flag and queues a flush marker.
  void Start();
  // Wakes and refuses every waiter from now on.
  void Abort();
  // Drops every queued packet.
  void Flush();
  // Takes the packet's reference. False (and the packet unreferenced) when aborted.
  bool Put(AVPacket *APacket);
  // An empty packet tells the decoder to give out what it still holds.
  bool PutNull(int AStreamIndex);
  // Drops the queued packets, bumps the serial and queues the flush marker.
  void PutFlush();

  enum TGetResult { grAborted = -1, grNone = 0, grPacket = 1, grFlush = 2 };
  // Moves the oldest packet into APacket (unreferenced first). With ABlock waits for one.
  TGetResult Get(AVPacket *APacket, bool ABlock, int *ASerial);

  [[nodiscard]] int Packets() const;
  [[nodiscard]] int64_t Bytes() const;
  [[nodiscard]] bool Empty() const { return Packets() == 0; }
  // Serial of the newest flush; decoders compare against it without the lock.
  [[nodiscard]] const std::atomic<int> &Serial() const { return FSerial; }
  [[nodiscard]] bool Aborted() const;

 private:
  struct TItem {
    AVPacket *Packet = nullptr;  // nullptr marks a flush
    int Serial = 0;
  };
  void ClearLocked();
  mutable std::mutex FLock;  // guards FItems, FBytes, FAbort
  std::condition_variable FCond;
  std::deque<TItem> FItems;
  int64_t FBytes = 0;
  bool FAbort = true;
  std::atomic<int> FSerial{0};
};
