#include "QtMainThreadCaller.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <condition_variable>
#include <memory>

namespace {

// Signals the waiting thread when the last copy of the posted call is destroyed: after
// it has run, or when Qt discards it because the receiver died first.
struct TCompletion {
  std::mutex Lock;  // guards Done
  std::condition_variable Cond;
  bool Done = false;
};
struct TCompletionToken {
  std::shared_ptr<TCompletion> Completion;
  explicit TCompletionToken(std::shared_ptr<TCompletion> ACompletion)
      : Completion(std::move(ACompletion)) {}
  TCompletionToken(const TCompletionToken &) = delete;
  TCompletionToken &operator=(const TCompletionToken &) = delete;
  ~TCompletionToken() {
    std::lock_guard<std::mutex> guard(Completion->Lock);
    Completion->Done = true;
    Completion->Cond.notify_all();
  }
};

}  // namespace

TQtMainThreadCaller::TQtMainThreadCaller(QObject *AWindow) : FReceiver(new QObject(AWindow)) {
  FWatch = QObject::connect(
      FReceiver, &QObject::destroyed, FReceiver,
      [this] {
        std::lock_guard<std::mutex> guard(FLock);
        FReceiver = nullptr;
      },
      Qt::DirectConnection);
}

TQtMainThreadCaller::~TQtMainThreadCaller() {
  QObject::disconnect(FWatch);
  std::lock_guard<std::mutex> guard(FLock);
  delete FReceiver;
  FReceiver = nullptr;
}

bool TQtMainThreadCaller::Send(std::function<void()> AProc) {
  std::lock_guard<std::mutex> guard(FLock);
  if (FReceiver == nullptr) return false;
  // Queued, never blocking here: the main thread may be waiting for FLock to clear the
  // receiver.
  QMetaObject::invokeMethod(FReceiver, std::move(AProc), Qt::QueuedConnection);
  return true;
}

void TQtMainThreadCaller::Synchronize(const std::function<void()> &AProc) {
  if (IsMainThread()) {
    AProc();
    return;
  }
  auto completion = std::make_shared<TCompletion>();
  auto token = std::make_shared<TCompletionToken>(completion);
  const bool sent = Send([&AProc, token] { AProc(); });
  token.reset();
  if (!sent) return;
  std::unique_lock<std::mutex> lock(completion->Lock);
  completion->Cond.wait(lock, [&] { return completion->Done; });
}

void TQtMainThreadCaller::Post(std::function<void()> AProc) {
  Send(std::move(AProc));
}

void TQtMainThreadCaller::PumpMessages() {
  if (QCoreApplication::instance() != nullptr)
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}
