#include "VideoSurfaceWidget.h"

#include <QMetaObject>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>
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
    FSubtitle.clear();
  }
  ScheduleRepaint();
}

void TVideoSurfaceWidget::SubtitleText(const std::string &AText) {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FSubtitle = QString::fromStdString(AText);
  }
  ScheduleRepaint();
}

QString TVideoSurfaceWidget::Subtitle() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FSubtitle;
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
  if (FSubtitle.isEmpty()) return;
  // White text with a dark outline near the bottom of the picture, readable on any scene.
  QRect area(at, FImage.size());
  area.adjust(4, 0, -4, -std::max(4, FImage.height() / 20));
  QFont font = painter.font();
  font.setPixelSize(std::max(10, FImage.height() / 12));
  painter.setFont(font);
  const int flags = Qt::AlignHCenter | Qt::AlignBottom | Qt::TextWordWrap;
  painter.setPen(Qt::black);
  for (const QPoint d : {QPoint(-1, 0), QPoint(1, 0), QPoint(0, -1), QPoint(0, 1)})
    painter.drawText(area.translated(d), flags, FSubtitle);
  painter.setPen(Qt::white);
  painter.drawText(area, flags, FSubtitle);
}

void TVideoSurfaceWidget::resizeEvent(QResizeEvent *AEvent) {
  FWidth = AEvent->size().width();
  FHeight = AEvent->size().height();
  QWidget::resizeEvent(AEvent);
}
