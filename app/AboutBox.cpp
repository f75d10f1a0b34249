#include "AboutBox.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/Platform.h"

namespace {

// The box's picture: a film frame with a play mark, drawn rather than shipped.
QPixmap AboutPicture() {
  QPixmap pm(96, 96);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(0, 0, 0, 96);
  g.setColorAt(0, QColor(0x4a, 0x8b, 0xdf));
  g.setColorAt(1, QColor(0x1d, 0x4f, 0x9a));
  p.setBrush(g);
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(4, 12, 88, 72, 10, 10);
  p.setBrush(QColor(255, 255, 255, 210));
  for (int i = 0; i < 5; ++i) {
    p.drawRect(12 + i * 16, 16, 8, 6);
    p.drawRect(12 + i * 16, 74, 8, 6);
  }
  QPainterPath tri;
  tri.moveTo(40, 34);
  tri.lineTo(40, 62);
  tri.lineTo(64, 48);
  tri.closeSubpath();
  p.setBrush(Qt::white);
  p.drawPath(tri);
  return pm;
}

}  // namespace

TForm4::TForm4(IPlatform &APlatform, QWidget *AParent) : QDialog(AParent), FPlatform(APlatform) {
  setObjectName(QStringLiteral("Form4"));
  setWindowTitle(QStringLiteral("关于"));
  setModal(true);
  auto *picture = new QLabel(this);
  picture->setObjectName(QStringLiteral("Image1"));
  picture->setPixmap(AboutPicture());

  auto *name = new QLabel(QStringLiteral("Quorvel手机视频格式转换器"), this);
  QFont f = name->font();
  f.setPointSizeF(f.pointSizeF() * 1.3);
  f.setBold(true);
  name->setFont(f);
  auto *version = new QLabel(QString::fromLatin1(kProductVersion), this);

  const QString site = QString::fromUtf8(kProductWebSite);
  const QString mail = QString::fromUtf8(kProductSupportMail);
  auto *siteLink = new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(site), this);
  auto *mailLink = new QLabel(QStringLiteral("<a href=\"mailto:%1\">%1</a>").arg(mail), this);
  for (QLabel *link : {siteLink, mailLink}) {
    link->setTextFormat(Qt::RichText);
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    link->setOpenExternalLinks(false);  // through the platform, like every other "open"
    connect(link, &QLabel::linkActivated, this,
            [this](const QString &AUrl) { FPlatform.OpenWithDefaultHandler(AUrl.toStdString()); });
  }
  siteLink->setObjectName(QStringLiteral("LinkSite"));
  mailLink->setObjectName(QStringLiteral("LinkMail"));

  auto *grid = new QGridLayout;
  grid->addWidget(name, 0, 0, 1, 2);
  grid->addWidget(version, 1, 0, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("官方网站："), this), 2, 0);
  grid->addWidget(siteLink, 2, 1);
  grid->addWidget(new QLabel(QStringLiteral("联系信箱："), this), 3, 0);
  grid->addWidget(mailLink, 3, 1);

  auto *top = new QHBoxLayout;
  top->addWidget(picture, 0, Qt::AlignTop);
  top->addSpacing(12);
  top->addLayout(grid, 1);

  auto *ok = new QPushButton(QStringLiteral("确定"), this);
  ok->setObjectName(QStringLiteral("Button1"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto *bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bottom->addWidget(ok);

  auto *layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addSpacing(8);
  layout->addLayout(bottom);
  setFixedSize(sizeHint().expandedTo(QSize(380, 180)));
}
