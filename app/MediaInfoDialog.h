// TForm9, the media information dialog: file, video and audio facts of one source,
// copied from the main window's fields into the labels at every showing.
#pragma once

#include <QDialog>

#include "core/MediaInfo.h"

class QLabel;
class QPushButton;

class TForm9 : public QDialog {
  Q_OBJECT
 public:
  // AFields belongs to the main window and outlives the dialog.
  explicit TForm9(const TMediaInfoFields &AFields, QWidget *AParent = nullptr);

  // Copies the fields into the value labels (run by every showing).
  void Button2Click();
  // "确定".
  void suiButton1Click();

  // Value labels, in the dialog's order.
  QLabel *lblFileName = nullptr;
  QLabel *lblFormatName = nullptr;
  QLabel *lblFileTime = nullptr;
  QLabel *lblFileSize = nullptr;
  QLabel *lblFileBit = nullptr;
  QLabel *lblFormatLongName = nullptr;
  QLabel *lblExtension = nullptr;
  QLabel *lblResolution = nullptr;
  QLabel *lblFrameRate = nullptr;
  QLabel *lblVideoBitRate = nullptr;
  QLabel *lblVideoStream = nullptr;
  QLabel *lblSampleRate = nullptr;
  QLabel *lblChannels = nullptr;
  QLabel *lblAudioBitRate = nullptr;
  QLabel *lblAudioStream = nullptr;
  QPushButton *suiButton1 = nullptr;

 protected:
  void showEvent(QShowEvent *AEvent) override;

 private:
  const TMediaInfoFields &FFields;
};
