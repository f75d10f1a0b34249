#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <atomic>
#include <thread>

#include "QtMainThreadCaller.h"

namespace {

void EnsureApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  static int argc = 1;
  static char name[] = "test_app";
  static char *argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
}

}  // namespace

TEST(QtMainThreadCaller, WorkerCallsRunInTheEventLoopAndWait) {
  EnsureApplication();
  auto window = std::make_unique<QObject>();
  TQtMainThreadCaller caller(window.get());
  SetMainThreadCaller(&caller);
  std::atomic<bool> ranInMain{false}, returned{false};
  std::thread worker([&] {
    CallInMainThread([&] { ranInMain = IsMainThread(); });
    returned = true;
  });
  while (!returned) PumpMessages();
  worker.join();
  EXPECT_TRUE(ranInMain);
  SetMainThreadCaller(nullptr);
}

TEST(QtMainThreadCaller, CallsAfterTheWindowIsGoneAreDroppedWithoutHanging) {
  EnsureApplication();
  auto window = std::make_unique<QObject>();
  TQtMainThreadCaller caller(window.get());
  std::atomic<int> ran{0};
  // A call still queued when the window dies releases its waiting thread.
  std::atomic<bool> returned{false};
  std::thread pending([&] {
    caller.Synchronize([&] { ++ran; });
    returned = true;
  });
  // Give the worker time to queue its call, then close the window without pumping.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  window.reset();
  pending.join();
  EXPECT_TRUE(returned);
  std::thread late([&] { caller.Synchronize([&] { ++ran; }); });
  late.join();
  caller.Post([&] { ++ran; });
  PumpMessages();
  EXPECT_EQ(ran, 0);
}
