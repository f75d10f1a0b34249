#include "LogPipe.h"

#include "FFUtils/MainThread.h"

TLogPipe::TLogPipe(QObject *AReceiver, TWriter AWriter)
    : FReceiver(AReceiver), FWriter(std::move(AWriter)) {}

void TLogPipe::Push(QString ALine) {
  {
    std::lock_guard<std::mutex> guard(FLock);
    if (FReceiver == nullptr) return;
    FLines.push_back(std::move(ALine));
    if (!IsMainThread()) {
      if (!FDrainPosted) {
        FDrainPosted = true;
        // Posted under the lock: Close cannot slip between the check and the post, and
        // Qt discards the call if the receiver is deleted before it runs.
        QMetaObject::invokeMethod(
            FReceiver,
            [weak = weak_from_this()] {
              if (std::shared_ptr<TLogPipe> pipe = weak.lock()) pipe->Drain();
            },
            Qt::QueuedConnection);
      }
      return;
    }
  }
  Drain();
}

void TLogPipe::Drain() {
  if (!IsMainThread()) return;
  for (;;) {
    std::deque<QString> lines;
    TWriter writer;
    {
      std::lock_guard<std::mutex> guard(FLock);
      FDrainPosted = false;
      if (FReceiver == nullptr || FLines.empty()) return;
      lines.swap(FLines);
      writer = FWriter;
    }
    for (const QString &line : lines) writer(line);
  }
}

void TLogPipe::Close() {
  std::lock_guard<std::mutex> guard(FLock);
  FReceiver = nullptr;
  FLines.clear();
}
