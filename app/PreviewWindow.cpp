#include "PreviewWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <QWindow>
#include <atomic>
#include <memory>
#include <mutex>

#include "FFUtils/FFUtils.h"
#include "FFUtils/MainThread.h"

TPreviewWidget::TPreviewWidget(QWidget *AOwner, std::function<void()> AOnClose)
    : QWidget(AOwner, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      FOnClose(std::move(AOnClose)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPreviewWidget::ShowPicture(const QImage &APicture, const QString &ACaption) {
  FPicture = APicture;
  if (size() != FPicture.size()) setFixedSize(FPicture.size());
  setWindowTitle(ACaption);
  if (!FPlaced) {
    // Centred on the screen the first time; after that it stays where the user put it.
    FPlaced = true;
    if (const QScreen *s = QGuiApplication::primaryScreen())
      move(s->availableGeometry().center() - rect().center());
  }
  if (!isVisible()) show();
  update();
}

void TPreviewWidget::paintEvent(QPaintEvent *) {
  QPainter p(this);
  if (FPicture.isNull())
    p.fillRect(rect(), Qt::black);
  else
    p.drawImage(0, 0, FPicture);
}

void TPreviewWidget::mousePressEvent(QMouseEvent *AEvent) {
  if (AEvent->button() != Qt::LeftButton) return QWidget::mousePressEvent(AEvent);
  // A window without much of a caption moves wherever it is grabbed; the window manager
  // does it when it can, else the window follows the mouse itself.
  if (windowHandle() != nullptr && windowHandle()->startSystemMove()) return;
  FDragging = true;
  FDragOffset = AEvent->globalPosition().toPoint() - pos();
}

void TPreviewWidget::mouseMoveEvent(QMouseEvent *AEvent) {
  if (FDragging && (AEvent->buttons() & Qt::LeftButton))
    move(AEvent->globalPosition().toPoint() - FDragOffset);
  else
    QWidget::mouseMoveEvent(AEvent);
}

void TPreviewWidget::mouseReleaseEvent(QMouseEvent *AEvent) {
  if (AEvent->button() == Qt::LeftButton) FDragging = false;
  QWidget::mouseReleaseEvent(AEvent);
}

void TPreviewWidget::closeEvent(QCloseEvent *AEvent) {
  if (FOnClose) FOnClose();
  AEvent->accept();
}

namespace {

// Shared by the engine-side window object (worker thread) and the repaints it posts.
struct TPreviewState {
  QPointer<QWidget> Owner;  // read in the main thread only
  std::atomic<bool> Closed{false};

  std::mutex Lock;  // guards the pending picture and RepaintQueued
  TFrameBitmap Pending;
  int64_t PendingPts = 0;
  bool RepaintQueued = false;

  QPointer<TPreviewWidget> Widget;  // main thread only
};

bool InGuiThread() {
  const QCoreApplication *app = QCoreApplication::instance();
  return app != nullptr && QThread::currentThread() == app->thread();
}

// Main thread: shows the latest stored picture, creating the window on first use.
void Repaint(const std::shared_ptr<TPreviewState> &AState) {
  if (!InGuiThread()) {
    // Only a program without an event loop ends up here; it gets no window.
    AState->Closed = true;
    return;
  }
  QImage picture;
  int64_t pts = 0;
  {
    std::lock_guard<std::mutex> g(AState->Lock);
    AState->RepaintQueued = false;
    const TFrameBitmap &b = AState->Pending;
    if (b.Width > 0 && b.Height > 0)
      picture = QImage(b.Pixels.data(), b.Width, b.Height, b.Stride, QImage::Format_BGR888).copy();
    pts = AState->PendingPts;
  }
  if (AState->Closed || picture.isNull()) return;
  if (AState->Widget.isNull()) {
    std::weak_ptr<TPreviewState> weak = AState;
    AState->Widget = new TPreviewWidget(AState->Owner.data(), [weak] {
      if (auto s = weak.lock()) s->Closed = true;
    });
    AState->Widget->setAttribute(Qt::WA_DeleteOnClose);
  }
  AState->Widget->ShowPicture(picture, QString::fromStdString(TimeToStr(pts)));
}

class TQtPreviewWindow final : public IPreviewWindow {
 public:
  explicit TQtPreviewWindow(QPointer<QWidget> AOwner) : FState(std::make_shared<TPreviewState>()) {
    FState->Owner = std::move(AOwner);
  }
  ~TQtPreviewWindow() override {
    FState->Closed = true;
    MainThreadCaller().Post([state = FState] {
      if (InGuiThread()) delete state->Widget.data();
    });
  }

  bool Paint(const TFrameBitmap &ABitmap, int, int64_t APTS) override {
    if (FState->Closed) return false;
    bool post = false;
    {
      std::lock_guard<std::mutex> g(FState->Lock);
      FState->Pending = ABitmap;
      FState->PendingPts = APTS;
      post = !FState->RepaintQueued;
      FState->RepaintQueued = true;
    }
    // One repaint in flight at a time: a busy UI sees the latest picture, not a backlog.
    if (post) MainThreadCaller().Post([state = FState] { Repaint(state); });
    return !FState->Closed;
  }

 private:
  std::shared_ptr<TPreviewState> FState;
};

}  // namespace

TPreviewWindowFactory MakeQtPreviewWindowFactory(QWidget *AOwner) {
  QPointer<QWidget> owner(AOwner);
  return [owner]() -> std::unique_ptr<IPreviewWindow> {
    return std::make_unique<TQtPreviewWindow>(owner);
  };
}
