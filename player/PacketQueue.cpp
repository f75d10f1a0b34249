#include "PacketQueue.h"

TPacketQueue::~TPacketQueue() {
  Flush();
}

void TPacketQueue::Start() {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FAbort = false;
  }
  PutFlush();
}

void TPacketQueue::Abort() {
  std::lock_guard<std::mutex> lock(FLock);
  FAbort = true;
  FCond.notify_all();
}

bool TPacketQueue::Aborted() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FAbort;
}

void TPacketQueue::ClearLocked() {
  for (TItem &item : FItems) {
    if (item.Packet) ff::codec.av_packet_free(&item.Packet);
  }
  FItems.clear();
  FBytes = 0;
}

void TPacketQueue::Flush() {
  std::lock_guard<std::mutex> lock(FLock);
  ClearLocked();
}

bool TPacketQueue::Put(AVPacket *APacket) {
  AVPacket *copy = ff::codec.av_packet_alloc();
  if (!copy) {
    ff::codec.av_packet_unref(APacket);
    return false;
  }
  ff::codec.av_packet_move_ref(copy, APacket);
  std::lock_guard<std::mutex> lock(FLock);
  if (FAbort) {
    ff::codec.av_packet_free(&copy);
    return false;
  }
  FItems.push_back(TItem{copy, FSerial.load()});
  FBytes += copy->size + kPacketOverhead;
  FCond.notify_one();
  return true;
}

bool TPacketQueue::PutNull(int AStreamIndex) {
  AVPacket *pkt = ff::codec.av_packet_alloc();
  if (!pkt) return false;
  pkt->stream_index = AStreamIndex;
  bool ok = Put(pkt);
  ff::codec.av_packet_free(&pkt);
  return ok;
}

void TPacketQueue::PutFlush() {
  std::lock_guard<std::mutex> lock(FLock);
  ClearLocked();
  if (FAbort) return;
  int serial = FSerial.load() + 1;
  FSerial = serial;
  FItems.push_back(TItem{nullptr, serial});
  FBytes += kPacketOverhead;
  FCond.notify_one();
}

TPacketQueue::TGetResult TPacketQueue::Get(AVPacket *APacket, bool ABlock, int *ASerial) {
  std::unique_lock<std::mutex> lock(FLock);
  for (;;) {
    if (FAbort) return grAborted;
    if (!FItems.empty()) break;
    if (!ABlock) return grNone;
    FCond.wait(lock);
  }
  TItem item = FItems.front();
  FItems.pop_front();
  if (ASerial) *ASerial = item.Serial;
  ff::codec.av_packet_unref(APacket);
  if (!item.Packet) {
    FBytes -= kPacketOverhead;
    return grFlush;
  }
  FBytes -= item.Packet->size + kPacketOverhead;
  ff::codec.av_packet_move_ref(APacket, item.Packet);
  ff::codec.av_packet_free(&item.Packet);
  return grPacket;
}

int TPacketQueue::Packets() const {
  std::lock_guard<std::mutex> lock(FLock);
  return static_cast<int>(FItems.size());
}

int64_t TPacketQueue::Bytes() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FBytes;
}
