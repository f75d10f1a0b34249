#include "OptionsDialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "FormatChooser.h"
#include "PresetsHost.h"

namespace {

void ReadCombo(const QComboBox *combo, TSelectorState &state) {
  state.Items.clear();
  for (int i = 0; i < combo->count(); ++i) state.Items.push_back(combo->itemText(i).toStdString());
  state.Index = combo->currentIndex();
  state.Enabled = combo->isEnabled();
}

void WriteCombo(QComboBox *combo, const TSelectorState &state) {
  combo->clear();
  for (const std::string &item : state.Items) combo->addItem(QString::fromStdString(item));
  combo->setCurrentIndex(state.Index);
  combo->setEnabled(state.Enabled);
}

QComboBox *NewCombo(QWidget *parent) {
  auto *combo = new QComboBox(parent);
  combo->setEditable(false);
  combo->setMinimumWidth(150);
  combo->setMaxVisibleItems(16);
  return combo;
}

}  // namespace

TForm8::TForm8(TConversionProfile &profile, TPresetsHost &host, TForm7 *chooser, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      FProfile(profile),
      FHost(host),
      FChooser(chooser) {
  setWindowTitle(QStringLiteral("选项设置"));
  setFixedSize(576, 316);
  setModal(true);

  VideoBox = new QGroupBox(QStringLiteral("视频选项"), this);
  VideoBox->setGeometry(12, 8, 552, 112);
  auto *video = new QGridLayout(VideoBox);
  video->setHorizontalSpacing(10);
  video->setVerticalSpacing(12);
  suiComboBox3 = NewCombo(VideoBox);
  suiComboBox2 = NewCombo(VideoBox);
  suiComboBox4 = NewCombo(VideoBox);
  suiComboBox8 = NewCombo(VideoBox);
  video->addWidget(new QLabel(QStringLiteral("视频分辨率："), VideoBox), 0, 0, Qt::AlignRight);
  video->addWidget(suiComboBox3, 0, 1);
  video->addWidget(new QLabel(QStringLiteral("视频比特率："), VideoBox), 0, 2, Qt::AlignRight);
  video->addWidget(suiComboBox2, 0, 3);
  video->addWidget(new QLabel(QStringLiteral("视频帧率："), VideoBox), 1, 0, Qt::AlignRight);
  video->addWidget(suiComboBox4, 1, 1);
  video->addWidget(new QLabel(QStringLiteral("视频缩放比："), VideoBox), 1, 2, Qt::AlignRight);
  video->addWidget(suiComboBox8, 1, 3);
  video->setColumnStretch(1, 1);
  video->setColumnStretch(3, 1);

  AudioBox = new QGroupBox(QStringLiteral("音频选项"), this);
  AudioBox->setGeometry(12, 130, 552, 118);
  auto *audio = new QGridLayout(AudioBox);
  audio->setHorizontalSpacing(24);
  suiComboBox6 = NewCombo(AudioBox);
  suiComboBox7 = NewCombo(AudioBox);
  suiComboBox10 = NewCombo(AudioBox);
  const std::pair<const char16_t *, QComboBox *> columns[] = {{u"音频比特率：", suiComboBox6},
                                                              {u"音频采样率：", suiComboBox7},
                                                              {u"声道设置：", suiComboBox10}};
  for (int c = 0; c < 3; ++c) {
    audio->addWidget(new QLabel(QString::fromUtf16(columns[c].first), AudioBox), 0, c);
    audio->addWidget(columns[c].second, 1, c);
    audio->setColumnStretch(c, 1);
  }

  suiComboBox1 = NewCombo(this);
  suiComboBox1->hide();

  suiButton1 = new QPushButton(QStringLiteral("确定"), this);
  suiButton2 = new QPushButton(QStringLiteral("取消"), this);
  suiButton1->setGeometry(384, 266, 84, 30);
  suiButton2->setGeometry(480, 266, 84, 30);
  suiButton1->setDefault(true);
  connect(suiButton1, &QPushButton::clicked, this, &TForm8::suiButton1Click);
  connect(suiButton2, &QPushButton::clicked, this, &TForm8::suiButton2Click);

  if (FChooser) FChooser->SetOptionsDialog(this);
}

std::string TForm8::OutputFolder() const {
  return FHost.OutputFolderText().toStdString();
}

TOptionSelectors TForm8::Selectors() const {
  TOptionSelectors s;
  ReadCombo(suiComboBox3, s.Resolution);
  ReadCombo(suiComboBox2, s.VideoBitrate);
  ReadCombo(suiComboBox4, s.FrameRate);
  ReadCombo(suiComboBox8, s.Aspect);
  ReadCombo(suiComboBox6, s.AudioBitrate);
  ReadCombo(suiComboBox7, s.SampleRate);
  ReadCombo(suiComboBox10, s.Channels);
  ReadCombo(suiComboBox1, s.Target);
  return s;
}

void TForm8::ShowSelectors(const TOptionSelectors &s) {
  WriteCombo(suiComboBox3, s.Resolution);
  WriteCombo(suiComboBox2, s.VideoBitrate);
  WriteCombo(suiComboBox4, s.FrameRate);
  WriteCombo(suiComboBox8, s.Aspect);
  WriteCombo(suiComboBox6, s.AudioBitrate);
  WriteCombo(suiComboBox7, s.SampleRate);
  WriteCombo(suiComboBox10, s.Channels);
  WriteCombo(suiComboBox1, s.Target);
}

void TForm8::FormShow() {
  Button3Click();
  Button1Click();
}

void TForm8::Button3Click() {
  SourceFileName.clear();
  TOptionSelectors s = Selectors();
  ClearOptionSelectors(s, FProfile);
  ShowSelectors(s);
}

void TForm8::Button7Click() {
  TOptionSelectors s = Selectors();
  EnableVideoOptions(s, FProfile);
  ShowSelectors(s);
}

void TForm8::Button1Click() {
  SourceFileName = QString::fromStdString(FProfile.AFileName);
  Button7Click();
  TOptionSelectors s = Selectors();
  ApplyPresetRow(s, FProfile, OutputFolder());
  ShowSelectors(s);
}

void TForm8::Button4Click() {
  ConfirmOptions(FProfile, ChosenOptions(Selectors()), OutputFolder());
  // Both dialogs end; the chooser's modal loop returns once this one has.
  if (FChooser) FChooser->done(QDialog::Accepted);
  accept();
}

void TForm8::suiButton1Click() {
  Button4Click();
  if (FChooser) FChooser->NextorCancel = QStringLiteral("1");
}

void TForm8::suiButton2Click() {
  reject();
}

void TForm8::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  if (const QWidget *main = parentWidget(); main && main->isVisible()) {
    move(main->frameGeometry().center() - rect().center());
  } else if (const QScreen *s = screen()) {
    move(s->availableGeometry().center() - rect().center());
  }
  FormShow();
}
