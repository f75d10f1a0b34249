#include "AudioRing.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

void TAudioRing::Configure(int ABytesPerSecond, size_t ACapacity) {
  std::lock_guard<std::mutex> lock(FLock);
  FData.assign(std::max<size_t>(ACapacity, 4096), 0);
  FHead = 0;
  FSize = 0;
  FBlocks.clear();
  FBytesPerSecond = std::max(1, ABytesPerSecond);
  FAbort = false;
}

bool TAudioRing::Write(const uint8_t *AData, size_t ABytes, double APts, int ASerial) {
  std::unique_lock<std::mutex> lock(FLock);
  size_t cap = FData.size();
  if (ABytes > cap) ABytes = cap;
  // Timed wait: a cleared ring after a seek must be seen even without a notification.
  while (!FAbort && cap - FSize < ABytes) FRoom.wait_for(lock, std::chrono::milliseconds(10));
  if (FAbort) return false;
  size_t tail = (FHead + FSize) % cap;
  size_t first = std::min(ABytes, cap - tail);
  std::memcpy(FData.data() + tail, AData, first);
  std::memcpy(FData.data(), AData + first, ABytes - first);
  FSize += ABytes;
  FBlocks.push_back(TBlock{ABytes, 0, APts, ASerial});
  return true;
}

size_t TAudioRing::Read(uint8_t *AData, size_t ABytes, double *AEndPts, int *ASerial) {
  std::lock_guard<std::mutex> lock(FLock);
  size_t cap = FData.size();
  size_t n = std::min(ABytes, FSize);
  if (n == 0 || cap == 0) return 0;
  size_t first = std::min(n, cap - FHead);
  std::memcpy(AData, FData.data() + FHead, first);
  std::memcpy(AData + first, FData.data(), n - first);
  FHead = (FHead + n) % cap;
  FSize -= n;
  size_t left = n;
  double endPts = NAN;
  int serial = -1;
  while (left > 0 && !FBlocks.empty()) {
    TBlock &b = FBlocks.front();
    size_t take = std::min(left, b.Bytes);
    b.Bytes -= take;
    b.Offset += take;
    left -= take;
    endPts = b.Pts + static_cast<double>(b.Offset) / FBytesPerSecond;
    serial = b.Serial;
    if (b.Bytes == 0) FBlocks.pop_front();
  }
  if (AEndPts) *AEndPts = endPts;
  if (ASerial) *ASerial = serial;
  FRoom.notify_all();
  return n;
}

void TAudioRing::Clear() {
  std::lock_guard<std::mutex> lock(FLock);
  FHead = 0;
  FSize = 0;
  FBlocks.clear();
  FRoom.notify_all();
}

void TAudioRing::Abort() {
  std::lock_guard<std::mutex> lock(FLock);
  FAbort = true;
  FRoom.notify_all();
}

size_t TAudioRing::Buffered() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FSize;
}
