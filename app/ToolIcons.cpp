#include "ToolIcons.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

constexpr int kSize = 48;

QBrush Shade(QColor ATop, QColor ABottom) {
  QLinearGradient g(0, 4, 0, kSize - 4);
  g.setColorAt(0, ATop);
  g.setColorAt(1, ABottom);
  return QBrush(g);
}

void DrawSheet(QPainter &p) {
  p.setPen(QPen(QColor(0x6d, 0x86, 0xa8), 1.5));
  p.setBrush(Shade(QColor(0xff, 0xff, 0xff), QColor(0xdd, 0xe7, 0xf3)));
  p.drawRoundedRect(QRectF(9, 5, 26, 36), 3, 3);
  p.setPen(QPen(QColor(0x9f, 0xb3, 0xcc), 2));
  for (int y = 13; y <= 31; y += 6) p.drawLine(14, y, 30, y);
}

void DrawBadge(QPainter &p, QColor AColour, bool APlus) {
  p.setPen(Qt::NoPen);
  p.setBrush(AColour);
  p.drawEllipse(QPointF(34, 34), 11, 11);
  p.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(28, 34), QPointF(40, 34));
  if (APlus) p.drawLine(QPointF(34, 28), QPointF(34, 40));
}

QPixmap Paint(TToolIcon AKind, bool ADisabled) {
  QPixmap pm(kSize, kSize);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  switch (AKind) {
    case TToolIcon::Add:
      DrawSheet(p);
      DrawBadge(p, QColor(0x2e, 0x9e, 0x44), true);
      break;
    case TToolIcon::Remove:
      DrawSheet(p);
      DrawBadge(p, QColor(0xd6, 0x45, 0x3d), false);
      break;
    case TToolIcon::Clear: {
      DrawSheet(p);
      p.setPen(QPen(QColor(0xd6, 0x45, 0x3d), 5, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(24, 24, 42, 42);
      p.drawLine(42, 24, 24, 42);
      break;
    }
    case TToolIcon::Start: {
      QPainterPath tri;
      tri.moveTo(12, 6);
      tri.lineTo(42, 24);
      tri.lineTo(12, 42);
      tri.closeSubpath();
      p.setPen(QPen(QColor(0x1f, 0x7a, 0x34), 1.5));
      p.setBrush(Shade(QColor(0x7c, 0xd8, 0x7f), QColor(0x2e, 0x9e, 0x44)));
      p.drawPath(tri);
      break;
    }
    case TToolIcon::Pause:
      p.setPen(QPen(QColor(0x9a, 0x6a, 0x10), 1.5));
      p.setBrush(Shade(QColor(0xff, 0xd8, 0x6b), QColor(0xe0, 0x9a, 0x1a)));
      p.drawRoundedRect(QRectF(10, 7, 11, 34), 2, 2);
      p.drawRoundedRect(QRectF(27, 7, 11, 34), 2, 2);
      break;
    case TToolIcon::Stop:
      p.setPen(QPen(QColor(0x8c, 0x22, 0x1c), 1.5));
      p.setBrush(Shade(QColor(0xf2, 0x83, 0x7b), QColor(0xc9, 0x32, 0x2a)));
      p.drawRoundedRect(QRectF(8, 8, 32, 32), 4, 4);
      break;
    case TToolIcon::Skin: {
      p.setPen(QPen(QColor(0x8a, 0x6d, 0x3b), 1.5));
      p.setBrush(Shade(QColor(0xfb, 0xf1, 0xdc), QColor(0xe8, 0xd3, 0xa8)));
      p.drawEllipse(QRectF(4, 6, 40, 36));
      const QColor dots[] = {QColor(0xd6, 0x45, 0x3d), QColor(0x2e, 0x9e, 0x44),
                             QColor(0x3b, 0x6f, 0xb6), QColor(0xe0, 0x9a, 0x1a)};
      const QPointF at[] = {{15, 17}, {25, 13}, {35, 19}, {33, 30}};
      p.setPen(Qt::NoPen);
      for (int i = 0; i < 4; ++i) {
        p.setBrush(dots[i]);
        p.drawEllipse(at[i], 4.5, 4.5);
      }
      p.setBrush(QColor(0xff, 0xff, 0xff));
      p.drawEllipse(QPointF(17, 31), 5, 5);
      break;
    }
    case TToolIcon::Help: {
      p.setPen(QPen(QColor(0x1d, 0x4f, 0x9a), 1.5));
      p.setBrush(Shade(QColor(0x7f, 0xb2, 0xf0), QColor(0x2c, 0x64, 0xc0)));
      p.drawEllipse(QRectF(5, 5, 38, 38));
      QFont f;
      f.setPixelSize(28);
      f.setBold(true);
      p.setFont(f);
      p.setPen(Qt::white);
      p.drawText(QRectF(5, 5, 38, 38), Qt::AlignCenter, QStringLiteral("?"));
      break;
    }
  }
  p.end();
  if (ADisabled) {
    QImage img = pm.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y) {
      auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
      for (int x = 0; x < img.width(); ++x) {
        const int g = qGray(line[x]);
        line[x] = qRgba(g, g, g, qAlpha(line[x]) / 2);
      }
    }
    pm = QPixmap::fromImage(img);
  }
  return pm;
}

}  // namespace

QIcon ToolIcon(TToolIcon AKind) {
  QIcon icon;
  icon.addPixmap(Paint(AKind, false), QIcon::Normal);
  icon.addPixmap(Paint(AKind, true), QIcon::Disabled);
  return icon;
}
