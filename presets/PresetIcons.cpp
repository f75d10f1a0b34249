#include "PresetIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QString>

#include "PresetCatalogue.h"
#include "PresetRows.h"

namespace {

enum class Shape {
  SmartPhone,
  Android,
  IPhone,
  FeaturePhone,
  Tablet,
  Handheld,
  MusicPlayer,
  TvBox,
  FilmStrip,
  Monitor,
  Note,
  HdScreen,
  Disc
};

struct Family {
  Shape shape;
  QColor colour;
  const char *label;  // short text on the category icon; empty for self-explaining shapes
};

Family FamilyOf(int categoryNumber) {
  switch (categoryNumber) {
    case 27:
      return {Shape::SmartPhone, QColor(0x1e, 0x88, 0xe5), ""};
    case 19:
      return {Shape::Android, QColor(0x43, 0xa0, 0x47), ""};
    case 4:
      return {Shape::IPhone, QColor(0x45, 0x5a, 0x64), ""};
    case 6:
      return {Shape::FeaturePhone, QColor(0xfb, 0x8c, 0x00), "3GP"};
    case 12:
      return {Shape::Tablet, QColor(0x78, 0x90, 0x9c), ""};
    case 5:
      return {Shape::Handheld, QColor(0x39, 0x49, 0xab), ""};
    case 3:
      return {Shape::MusicPlayer, QColor(0xd8, 0x1b, 0x60), ""};
    case 7:
      return {Shape::TvBox, QColor(0x4e, 0x34, 0x2e), ""};
    case 26:
      return {Shape::FilmStrip, QColor(0x8e, 0x24, 0xaa), "H.264"};
    case 15:
      return {Shape::FilmStrip, QColor(0xe5, 0x39, 0x35), "AVI"};
    case 10:
      return {Shape::FilmStrip, QColor(0x00, 0x89, 0x7b), "MP4"};
    case 0:
      return {Shape::Monitor, QColor(0x54, 0x6e, 0x7a), ""};
    case 1:
      return {Shape::Note, QColor(0xf4, 0x51, 0x1e), ""};
    case 2:
      return {Shape::HdScreen, QColor(0xf9, 0xa8, 0x25), "HD"};
    default:
      return {Shape::FilmStrip, QColor(0x75, 0x75, 0x75), ""};
  }
}

// Badge colour of an output extension: containers look alike across categories.
QColor ExtensionColour(const QString &ext) {
  if (ext == "mp4" || ext == "m4a") return QColor(0x00, 0x79, 0x6b);
  if (ext == "avi") return QColor(0xc6, 0x28, 0x28);
  if (ext == "mkv") return QColor(0x6a, 0x1b, 0x9a);
  if (ext == "mov") return QColor(0x37, 0x47, 0x4f);
  if (ext == "flv") return QColor(0xd8, 0x43, 0x15);
  if (ext == "3gp" || ext == "3g2" || ext == "amr") return QColor(0xef, 0x6c, 0x00);
  if (ext == "wmv" || ext == "asf" || ext == "wma") return QColor(0x15, 0x65, 0xc0);
  if (ext == "mpg" || ext == "vob") return QColor(0x28, 0x35, 0x93);
  if (ext == "rm" || ext == "ra") return QColor(0x4e, 0x34, 0x2e);
  return QColor(0x2e, 0x7d, 0x32);  // the plain audio formats
}

const QColor kScreen(0x12, 0x1c, 0x2b);
const QColor kGlass(0x3a, 0x5f, 0x8f);

void ScreenFill(QPainter &p, const QRectF &r, qreal radius = 1.5) {
  QLinearGradient g(r.topLeft(), r.bottomRight());
  g.setColorAt(0, kGlass);
  g.setColorAt(1, kScreen);
  p.setPen(Qt::NoPen);
  p.setBrush(g);
  p.drawRoundedRect(r, radius, radius);
}

void Body(QPainter &p, const QRectF &r, qreal radius, const QColor &c) {
  p.setPen(QPen(c.darker(150), 1.2));
  QLinearGradient g(r.topLeft(), r.bottomLeft());
  g.setColorAt(0, c.lighter(125));
  g.setColorAt(1, c);
  p.setBrush(g);
  p.drawRoundedRect(r, radius, radius);
}

void Text(QPainter &p, const QRectF &r, const QString &text, qreal pixelSize, const QColor &c) {
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setBold(true);
  f.setPixelSize(qRound(pixelSize));
  p.setFont(f);
  p.setPen(c);
  p.drawText(r, Qt::AlignCenter, text);
}

// Everything below draws into a 48 × 48 box.
void DrawShape(QPainter &p, Shape shape, const QColor &c, const QString &label) {
  switch (shape) {
    case Shape::SmartPhone:
      Body(p, {13, 3, 22, 42}, 4, c);
      ScreenFill(p, {15.5, 8, 17, 30});
      p.setBrush(c.darker(160));
      p.drawRoundedRect(QRectF(20, 5, 8, 1.5), 0.7, 0.7);
      break;
    case Shape::Android: {
      Body(p, {13, 3, 22, 42}, 4, c);
      ScreenFill(p, {15.5, 7, 17, 32});
      const QColor robot(0xa4, 0xe0, 0x6b);
      p.setBrush(robot);
      p.setPen(Qt::NoPen);
      p.drawChord(QRectF(18, 14, 12, 11), 0, 180 * 16);     // head
      p.drawRoundedRect(QRectF(18, 21, 12, 10), 1.5, 1.5);  // torso
      p.setPen(QPen(robot, 1.2));
      p.drawLine(QPointF(20, 15), QPointF(18.5, 12.5));
      p.drawLine(QPointF(28, 15), QPointF(29.5, 12.5));
      p.setPen(Qt::NoPen);
      p.setBrush(kScreen);
      p.drawEllipse(QPointF(21.5, 17.5), 0.9, 0.9);
      p.drawEllipse(QPointF(26.5, 17.5), 0.9, 0.9);
      p.setBrush(c.darker(140));
      p.drawEllipse(QPointF(24, 42), 1.3, 1.3);
      break;
    }
    case Shape::IPhone:
      Body(p, {13, 2, 22, 44}, 5, c);
      ScreenFill(p, {15, 7, 18, 31}, 1);
      p.setBrush(c.lighter(170));
      p.setPen(QPen(c.darker(150), 0.8));
      p.drawEllipse(QPointF(24, 42), 2.2, 2.2);  // home button
      p.setPen(Qt::NoPen);
      p.setBrush(c.darker(170));
      p.drawRoundedRect(QRectF(21, 4, 6, 1.2), 0.6, 0.6);
      break;
    case Shape::FeaturePhone:
      Body(p, {14, 3, 20, 42}, 3, c);
      ScreenFill(p, {16.5, 7, 15, 12}, 1);
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(0xff, 0xf3, 0xe0));
      for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 3; ++col)
          p.drawRoundedRect(QRectF(17 + col * 5, 23 + row * 5, 3.6, 3), 0.8, 0.8);
      break;
    case Shape::Tablet:
      Body(p, {7, 4, 34, 41}, 4, c);
      ScreenFill(p, {10, 7, 28, 32}, 1);
      p.setBrush(c.lighter(160));
      p.setPen(Qt::NoPen);
      p.drawEllipse(QPointF(24, 42), 1.6, 1.6);
      break;
    case Shape::Handheld: {
      Body(p, {2, 13, 44, 22}, 10, c);
      ScreenFill(p, {13, 16, 22, 16}, 1);
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(0xe8, 0xea, 0xf6));
      p.drawRect(QRectF(5, 22.8, 6, 2.4));  // cross pad
      p.drawRect(QRectF(6.8, 21, 2.4, 6));
      for (const QPointF &b :
           {QPointF(40, 20.5), QPointF(40, 27.5), QPointF(36.5, 24), QPointF(43.5, 24)})
        p.drawEllipse(b, 1.5, 1.5);
      break;
    }
    case Shape::MusicPlayer:
      Body(p, {12, 2, 24, 44}, 5, c);
      ScreenFill(p, {15, 5, 18, 15}, 1);
      p.setPen(QPen(c.darker(140), 1));
      p.setBrush(QColor(0xfc, 0xe4, 0xec));
      p.drawEllipse(QPointF(24, 33), 9, 9);  // click wheel
      p.setBrush(c);
      p.drawEllipse(QPointF(24, 33), 3.2, 3.2);
      break;
    case Shape::TvBox:
      Body(p, {4, 4, 40, 25}, 2, QColor(0x26, 0x32, 0x38));
      ScreenFill(p, {6.5, 6.5, 35, 20}, 0.5);
      p.setPen(QPen(QColor(0x26, 0x32, 0x38), 2));
      p.drawLine(QPointF(24, 29), QPointF(24, 33));
      Body(p, {12, 35, 24, 9}, 2.5, c);  // the box under the set
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(0x76, 0xff, 0x03));
      p.drawEllipse(QPointF(31.5, 39.5), 1.1, 1.1);
      break;
    case Shape::FilmStrip: {
      Body(p, {5, 3, 38, 42}, 2, QColor(0x21, 0x21, 0x21));
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(0xee, 0xee, 0xee));
      for (int i = 0; i < 6; ++i) {
        p.drawRect(QRectF(7, 6 + i * 6.6, 3.4, 3.4));
        p.drawRect(QRectF(37.6, 6 + i * 6.6, 3.4, 3.4));
      }
      p.setBrush(c);
      p.drawRect(QRectF(13, 7, 22, 15));
      p.drawRect(QRectF(13, 26, 22, 15));
      if (!label.isEmpty())
        Text(p, QRectF(11, 7, 26, 34), label, label.size() > 3 ? 7.5 : 10, Qt::white);
      return;
    }
    case Shape::Monitor:
      Body(p, {3, 5, 42, 29}, 2, c);
      ScreenFill(p, {6, 8, 36, 23}, 0.5);
      p.setPen(Qt::NoPen);
      p.setBrush(c.darker(130));
      p.drawPolygon(
          QPolygonF({QPointF(20, 34), QPointF(28, 34), QPointF(30, 40), QPointF(18, 40)}));
      p.drawRoundedRect(QRectF(13, 40, 22, 3.5), 1.5, 1.5);
      break;
    case Shape::Note: {
      p.setPen(Qt::NoPen);
      p.setBrush(c);
      p.save();
      p.translate(14, 37);
      p.rotate(-20);
      p.drawEllipse(QPointF(0, 0), 6, 4.3);
      p.restore();
      p.save();
      p.translate(34, 33);
      p.rotate(-20);
      p.drawEllipse(QPointF(0, 0), 6, 4.3);
      p.restore();
      p.drawRect(QRectF(18, 9, 2.6, 28));
      p.drawRect(QRectF(38, 5, 2.6, 28));
      p.drawPolygon(
          QPolygonF({QPointF(18, 9), QPointF(40.6, 5), QPointF(40.6, 11), QPointF(18, 15)}));
      break;
    }
    case Shape::HdScreen:
      Body(p, {2, 8, 44, 28}, 2, QColor(0x26, 0x32, 0x38));
      ScreenFill(p, {4.5, 10.5, 39, 23}, 0.5);
      p.setPen(QPen(QColor(0x26, 0x32, 0x38), 2.2));
      p.drawLine(QPointF(12, 36), QPointF(9, 42));
      p.drawLine(QPointF(36, 36), QPointF(39, 42));
      Text(p, QRectF(4.5, 10.5, 39, 23), label, 13, c);
      return;
    case Shape::Disc: {
      QRadialGradient g(QPointF(24, 24), 21);
      g.setColorAt(0, QColor(0xf5, 0xf5, 0xf5));
      g.setColorAt(0.7, QColor(0xb0, 0xbe, 0xc5));
      g.setColorAt(1, QColor(0xe1, 0xf5, 0xfe));
      p.setPen(QPen(QColor(0x78, 0x90, 0x9c), 1));
      p.setBrush(g);
      p.drawEllipse(QPointF(24, 24), 21, 21);
      p.setBrush(c);
      p.setPen(Qt::NoPen);
      p.drawEllipse(QPointF(24, 24), 8, 8);
      p.setBrush(Qt::white);
      p.drawEllipse(QPointF(24, 24), 3, 3);
      return;
    }
  }
  // Devices with a screen carry the category's short label on it.
  if (!label.isEmpty()) Text(p, QRectF(14, 8, 20, 12), label, 7, Qt::white);
}

QPixmap Canvas(int size) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  return pm;
}

}  // namespace

QPixmap CategoryIcon(int categoryNumber, int size) {
  QPixmap pm = Canvas(size);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 48.0, size / 48.0);
  const Family f = FamilyOf(categoryNumber);
  DrawShape(p, f.shape, f.colour, QString::fromLatin1(f.label));
  return pm;
}

QPixmap PresetIcon(int presetId, int size) {
  QPixmap pm = Canvas(size);
  const auto ref = FindPreset(presetId);
  const TPresetRow *row = FindPresetRow(presetId);
  if (!ref || !row) return pm;

  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 48.0, size / 48.0);
  const Family f = FamilyOf(ref->Category->Number);
  const QString ext = QString::fromUtf8(row->Ext).mid(1);
  Shape shape = f.shape;
  if (row->AudioOnly) shape = Shape::Note;
  if (row->Target != TDiscTarget::None || ext == "vob") shape = Shape::Disc;

  // The device sits a little smaller and to the upper left so the badge stays clear of it.
  p.save();
  p.translate(1, 0);
  p.scale(0.86, 0.86);
  DrawShape(p, shape, f.colour, QString::fromLatin1(shape == f.shape ? f.label : ""));
  p.restore();

  const QRectF badge(21, 33, 27, 14);
  const QColor bc = ExtensionColour(ext);
  p.setPen(QPen(bc.darker(140), 0.8));
  p.setBrush(bc);
  p.drawRoundedRect(badge, 3, 3);
  Text(p, badge, ext.toUpper(), ext.size() > 3 ? 7 : 8.5, Qt::white);
  return pm;
}
