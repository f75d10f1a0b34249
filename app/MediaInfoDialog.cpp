#include "MediaInfoDialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

namespace {

constexpr int kCaptionWidth = 96;
constexpr int kRowHeight = 20;

QString Q(const std::string &s) {
  return QString::fromStdString(s);
}

// One caption and its value label on row ARow of a group; the value starts out with
// its placeholder text until the dialog sets it.
// A stream description is long: it gets ALines rows and wraps.
QLabel *Row(QGroupBox *AGroup, int ARow, const QString &ACaption, const char *AName,
            const QString &APlaceholder = QStringLiteral("1111111"), int ALines = 1) {
  const int y = 22 + ARow * kRowHeight;
  auto *caption = new QLabel(ACaption, AGroup);
  caption->setGeometry(12, y, kCaptionWidth, kRowHeight);
  caption->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  auto *value = new QLabel(APlaceholder, AGroup);
  value->setObjectName(QString::fromLatin1(AName));
  value->setGeometry(12 + kCaptionWidth, y + 1, AGroup->width() - kCaptionWidth - 24,
                     kRowHeight * ALines);
  value->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  value->setWordWrap(ALines > 1);
  value->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return value;
}

QGroupBox *Group(QWidget *AParent, const QString &ATitle, int AY, int ARows) {
  auto *g = new QGroupBox(ATitle, AParent);
  g->setGeometry(10, AY, 520, 30 + ARows * kRowHeight);
  return g;
}

}  // namespace

TForm9::TForm9(const TMediaInfoFields &AFields, QWidget *AParent)
    : QDialog(AParent), FFields(AFields) {
  setObjectName(QStringLiteral("Form9"));
  setWindowTitle(QStringLiteral("视频和音频信息"));
  setModal(true);

  QGroupBox *file = Group(this, QStringLiteral("文件格式信息"), 8, 7);
  lblFileName = Row(file, 0, QStringLiteral("文件名："), "lblFileName");
  lblFormatName = Row(file, 1, QStringLiteral("文件格式："), "lblFormatName");
  lblFileTime = Row(file, 2, QStringLiteral("播放时长："), "lblFileTime");
  lblFileSize = Row(file, 3, QStringLiteral("文件大小："), "lblFileSize");
  lblFileBit = Row(file, 4, QStringLiteral("比特率："), "lblFileBit");
  lblFormatLongName = Row(file, 5, QStringLiteral("文件格式全名：   "), "lblFormatLongName");
  lblExtension = Row(file, 6, QStringLiteral("文件扩展名："), "lblExtension");

  QGroupBox *video = Group(this, QStringLiteral("视频格式信息"), file->geometry().bottom() + 8, 6);
  lblResolution = Row(video, 0, QStringLiteral("视频分辨率："), "lblResolution");
  lblFrameRate = Row(video, 1, QStringLiteral("视频帧率："), "lblFrameRate");
  lblVideoBitRate = Row(video, 2, QStringLiteral("视频比特率："), "lblVideoBitRate");
  lblVideoStream =
      Row(video, 3, QStringLiteral("视频流信息："), "lblVideoStream", QStringLiteral("1111111"), 3);

  QGroupBox *audio = Group(this, QStringLiteral("音频格式信息"), video->geometry().bottom() + 8, 6);
  lblSampleRate = Row(audio, 0, QStringLiteral("音频采样率："), "lblSampleRate");
  lblChannels =
      Row(audio, 1, QStringLiteral("音频声道："), "lblChannels", QStringLiteral("11111111111111"));
  lblAudioBitRate = Row(audio, 2, QStringLiteral("音频比特率："), "lblAudioBitRate");
  lblAudioStream =
      Row(audio, 3, QStringLiteral("音频流信息："), "lblAudioStream", QStringLiteral("1111111"), 3);

  const int bottom = audio->geometry().bottom();
  suiButton1 = new QPushButton(QStringLiteral("确定"), this);
  suiButton1->setObjectName(QStringLiteral("suiButton1"));
  suiButton1->setGeometry(230, bottom + 10, 80, 28);
  suiButton1->setDefault(true);
  connect(suiButton1, &QPushButton::clicked, this, &TForm9::suiButton1Click);
  setFixedSize(540, bottom + 48);
}

void TForm9::showEvent(QShowEvent *AEvent) {
  Button2Click();
  QDialog::showEvent(AEvent);
}

void TForm9::Button2Click() {
  const TMediaInfoLabels l = MediaInfoLabels(FFields);
  lblFileName->setText(Q(l.FileName));
  lblFormatName->setText(Q(l.FormatName));
  lblFileTime->setText(Q(l.FileTime));
  lblFileSize->setText(Q(l.FileSize));
  lblFileBit->setText(Q(l.FileBit));
  lblFormatLongName->setText(Q(l.FormatLongName));
  lblExtension->setText(Q(l.Extension));
  lblResolution->setText(Q(l.Resolution));
  lblFrameRate->setText(Q(l.FrameRate));
  lblVideoBitRate->setText(Q(l.VideoBitRate));
  lblVideoStream->setText(Q(l.VideoStream));
  lblSampleRate->setText(Q(l.SampleRate));
  // Only mono and stereo have a word; other counts leave the label as it was.
  if (l.Channels) lblChannels->setText(Q(*l.Channels));
  lblAudioBitRate->setText(Q(l.AudioBitRate));
  lblAudioStream->setText(Q(l.AudioStream));
}

void TForm9::suiButton1Click() {
  accept();
}
