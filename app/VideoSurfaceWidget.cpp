#include "VideoSurfaceWidget.h"

#include <QMetaObject>
#include <QPainter>
#include <QResizeEvent>
#include <cstring>

TVideoSurfaceWidget::TVideoSurfaceWidget(QWidget *AParent) : QWidget(AParent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  FWidth = width();
  FHeight = height();
}

void TVideoSurfaceWidget::ClientSize(int &AWidth, int &AHeight) {
  AWidth = FWidth;
  AHeight = FHeight;
}

void TVideoSurfaceWidget::Present(const TPlayerBitmap &APicture) {
  if (APicture.Width <= 0 || APicture.Height <= 0) return;
  {
    std::lock_guard<std::mutex> lock(FLock);
    if (FImage.width() != APicture.Width || FImage.height() != APicture.Height)
      FImage = QImage(APicture.Width, APicture.Height, QImage::Format_RGB888);
    for (int y = 0; y < APicture.Height; ++y)
      std::memcpy(FImage.scanLine(y), APicture.Row(y), static_cast<size_t>(APicture.Width) * 3);
  }
  ScheduleRepaint();
}

void TVideoSurfaceWidget::Clear() {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FImage = QImage();
  }
  ScheduleRepaint();
}

QImage TVideoSurfaceWidget::Picture() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FImage.copy();
}

void TVideoSurfaceWidget::ScheduleRepaint() {
  // One queued repaint at a time; the player is stopped before this widget goes away.
  if (FRepaintPending.exchange(true)) return;
  QMetaObject::invokeMethod(
      this,
      [this] {
        FRepaintPending = false;
        update();
      },
      Qt::QueuedConnection);
}

void TVideoSurfaceWidget::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  std::lock_guard<std::mutex> lock(FLock);
  if (FImage.isNull()) return;
  QPoint at((width() - FImage.width()) / 2, (height() - FImage.height()) / 2);
  painter.drawImage(at, FImage);
}

void TVideoSurfaceWidget::resizeEvent(QResizeEvent *AEvent) {
  FWidth = AEvent->size().width();
  FHeight = AEvent->size().height();
  QWidget::resizeEvent(AEvent);
}
