// Carries log lines from any thread to the window's log, in the order they were logged.
// A thread other than the UI thread only queues its line and asks the UI thread to
// drain the queue later: it never waits for the UI thread, which may itself be waiting
// for that thread (stopping the player or the queue). A line logged in the UI thread
// is written at once, after every line still queued.
#pragma once

#include <QObject>
#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class TLogPipe : public std::enable_shared_from_this<TLogPipe> {
 public:
  using TWriter = std::function<void(const QString &ALine)>;
  // AReceiver lives in the UI thread; AWriter runs there, once per line.
  TLogPipe(QObject *AReceiver, TWriter AWriter);

  // Any thread.
  void Push(QString ALine);
  // UI thread: writes whatever is queued.
  void Drain();
  // UI thread, before the receiver goes: later lines are dropped.
  void Close();

 private:
  std::mutex FLock;  // guards everything below
  QObject *FReceiver;
  TWriter FWriter;
  std::deque<QString> FLines;
  bool FDrainPosted = false;
};
