// The window program's main-thread caller: work from other threads runs in the Qt event
// loop. Calls go to a receiver that is a child of the window, so a call that arrives
// after the window is gone (a late event of a stopped task) is dropped, and a thread
// waiting for it is released.
#pragma once

#include <QObject>
#include <mutex>

#include "FFUtils/MainThread.h"

class TQtMainThreadCaller final : public TMainThreadCaller {
 public:
  // AWindow lives in the main thread; the caller must outlive its installation
  // (SetMainThreadCaller).
  explicit TQtMainThreadCaller(QObject *AWindow);
  ~TQtMainThreadCaller() override;

  void Synchronize(const std::function<void()> &AProc) override;
  void Post(std::function<void()> AProc) override;
  void PumpMessages() override;

 private:
  // Posts AProc to the receiver unless it is gone; false when it is.
  bool Send(std::function<void()> AProc);

  std::mutex FLock;                // guards FReceiver
  QObject *FReceiver = nullptr;    // child of the window; null once destroyed
  QMetaObject::Connection FWatch;  // clears FReceiver when it is destroyed
};
