// The preview window of a running conversion: pictures painted from a worker thread reach
// the window with their time as the caption, without the worker ever waiting for the UI.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <thread>

#include "FFmpeg/FFmpeg.h"
#include "FFmpegLoader/FFmpegLoader.h"
#include "FFmpegLogger/FFmpegLogger.h"
#include "MediaFixtures.h"
#include "PreviewWindow.h"
#include "QtMainThreadCaller.h"

namespace {

class PreviewWindow : public testing::Test {
 protected:
  void SetUp() override {
    FOwner = std::make_unique<QWidget>();
    FCaller = std::make_unique<TQtMainThreadCaller>(FOwner.get());
    SetMainThreadCaller(FCaller.get());
    SetPreviewWindowFactory(MakeQtPreviewWindowFactory(FOwner.get()));
  }
  void TearDown() override {
    SetPreviewWindowFactory(nullptr);
    QCoreApplication::processEvents();
    SetMainThreadCaller(nullptr);
    FCaller.reset();
    FOwner.reset();
  }
  // Serves the event loop until APred holds or the time is up.
  template <class P>
  static bool PumpUntil(P APred, int ASeconds = 2) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(ASeconds);
    while (!APred()) {
      if (std::chrono::steady_clock::now() > until) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
  }
  TPreviewWidget *Window() const { return FOwner->findChild<TPreviewWidget *>(); }
  // Runs AProc in a thread of its own while the main thread does not serve its loop.
  static void InWorker(const std::function<void()> &AProc) {
    std::thread t(AProc);
    t.join();
  }

  std::unique_ptr<QWidget> FOwner;
  std::unique_ptr<TQtMainThreadCaller> FCaller;
};

// Left half red, right half blue.
TFrameBitmap TwoColours(int AWidth, int AHeight) {
  TFrameBitmap b;
  b.Resize(AWidth, AHeight);
  for (int y = 0; y < AHeight; ++y)
    for (int x = 0; x < AWidth; ++x) {
      uint8_t *p = b.Row(y) + 3 * x;
      const bool left = x < AWidth / 2;
      p[0] = left ? 0 : 255;  // B
      p[1] = 0;               // G
      p[2] = left ? 255 : 0;  // R
    }
  return b;
}

}  // namespace

TEST_F(PreviewWindow, PictureFromAWorkerReachesTheWindowWithItsTimeAsCaption) {
  auto previewer = std::make_unique<TPreviewer>();
  const TFrameBitmap bitmap = TwoColours(62, 48);  // rows padded to 188 bytes
  bool painted = false;
  // The main thread is blocked in join meanwhile: the paint must not wait for it.
  InWorker([&] { painted = previewer->PaintFrame(bitmap, 1, 3723004000); });
  EXPECT_TRUE(painted);
  ASSERT_TRUE(PumpUntil([&] { return Window() != nullptr && Window()->isVisible(); }));
  TPreviewWidget *w = Window();
  EXPECT_EQ(w->windowTitle(), QString("01:02:03.004"));
  EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(w->isWindow());
  EXPECT_EQ(w->size(), QSize(62, 48));
  EXPECT_EQ(w->Picture().pixelColor(5, 40), QColor(255, 0, 0));
  EXPECT_EQ(w->Picture().pixelColor(57, 3), QColor(0, 0, 255));

  // Later pictures replace the caption; the window stays where it is.
  InWorker([&] { painted = previewer->PaintFrame(bitmap, 2, 61500000); });
  ASSERT_TRUE(PumpUntil([&] { return Window()->windowTitle() == "00:01:01.500"; }));
  EXPECT_EQ(Window(), w);

  // Dragging with the left button moves the window by the mouse's way.
  const QPoint start = w->pos();
  const QPoint grab = w->mapToGlobal(QPoint(10, 10));
  // Each event is made just before it is sent: events of one device share their point.
  {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10), QPointF(grab), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
  }
  {
    QMouseEvent move(QEvent::MouseMove, QPointF(50, 35), QPointF(grab + QPoint(40, 25)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
  }
  {
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(50, 35), QPointF(grab + QPoint(40, 25)),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
  }
  // The platform reports the new place through the event loop.
  EXPECT_TRUE(PumpUntil([&] { return w->pos() == start + QPoint(40, 25); }))
      << w->pos().x() << "," << w->pos().y();

  // Closed by the user: the next paint says so and the previewer stays closed.
  w->close();
  ASSERT_TRUE(PumpUntil([&] { return Window() == nullptr; }));
  InWorker([&] { painted = previewer->PaintFrame(bitmap, 3, 0); });
  EXPECT_FALSE(painted);
  EXPECT_TRUE(previewer->Closed());
  InWorker([&] { previewer.reset(); });
  QCoreApplication::processEvents();
  EXPECT_EQ(Window(), nullptr);
}

TEST_F(PreviewWindow, RunningConversionPaintsItsPicturesAndTheWindowGoesWithIt) {
  ASSERT_TRUE(FFLoader().Load(kQueueLibraries)) << FFLoader().LastErrMsg();
  ff::util.av_log_set_level(AV_LOG_QUIET);
  GlobalLogger().SetTriggerEventInMainThread(false);
  const std::string input = qvtest::Fixture(qvtest::TFixture::Mp4);
  const std::string output = qvtest::FixtureDir() + "/preview_window.avi";
  TCustomFFmpeg engine(20);
  engine.SetOption("re", "");  // 2 s at the source's pace: time to look at the window
  ASSERT_TRUE(engine.OpenInputFile(input)) << engine.LastErrMsg();
  engine.SetOption("vcodec", "mpeg4");
  engine.SetOption("an", "");
  ASSERT_EQ(engine.OpenOutputFile(output), 1) << engine.LastErrMsg();
  engine.SetPostHooks(phPreview);
  engine.PreviewInterval = 0;
  std::atomic<bool> ended{false};
  engine.OnTerminate = [&](TCustomFFmpeg *) { ended = true; };
  TConvertThread *t = engine.StartConvert(true);
  ASSERT_NE(t, nullptr);
  t->Resume();
  QString caption;
  QSize size;
  ASSERT_TRUE(PumpUntil(
      [&] {
        if (TPreviewWidget *w = Window(); w != nullptr && w->isVisible()) {
          caption = w->windowTitle();
          size = w->Picture().size();
        }
        return ended.load();
      },
      20));
  t->Join();
  EXPECT_FALSE(engine.FatalException()) << engine.FatalMessage();
  EXPECT_EQ(size, QSize(160, 120));
  EXPECT_TRUE(caption.startsWith("00:00:0")) << caption.toStdString();
  // The run released its previewer, which takes its window away.
  EXPECT_TRUE(PumpUntil([&] { return Window() == nullptr; }));
  GlobalLogger().SetTriggerEventInMainThread(true);
}
