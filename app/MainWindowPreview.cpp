// The preview panel of the main window: the preview player opens the selected row's
// source paused on its first picture; play, pause, stop, mute, the seek bar and
// snapshots drive it. The rules (bar arithmetic, snapshot names, GIF encoding) live in
// app/core.
#include <QEvent>
#include <QImage>
#include <QMouseEvent>
#include <QProxyStyle>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <cstring>
#include <filesystem>

#include "JobListView.h"
#include "MainWindow.h"
#include "QtMainThreadCaller.h"
#include "Settings.h"
#include "VideoSurfaceWidget.h"
#include "core/GifWriter.h"
#include "core/PreviewRules.h"

namespace {

// A click on the bar puts the handle there instead of paging towards it.
class TJumpSliderStyle final : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  int styleHint(StyleHint AHint, const QStyleOption *AOption, const QWidget *AWidget,
                QStyleHintReturn *AReturn) const override {
    if (AHint == SH_Slider_AbsoluteSetButtons) return Qt::LeftButton;
    return QProxyStyle::styleHint(AHint, AOption, AWidget, AReturn);
  }
};

// Reports presses and releases of the left button on the seek bar; the release is
// reported once the bar has taken its final position.
class TSliderWatcher final : public QObject {
 public:
  TSliderWatcher(QObject *AParent, std::function<void()> ADown, std::function<void()> AUp)
      : QObject(AParent), FDown(std::move(ADown)), FUp(std::move(AUp)) {}
  bool eventFilter(QObject *AWatched, QEvent *AEvent) override {
    if (AEvent->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent *>(AEvent)->button() == Qt::LeftButton)
      FDown();
    else if (AEvent->type() == QEvent::MouseButtonRelease &&
             static_cast<QMouseEvent *>(AEvent)->button() == Qt::LeftButton)
      QTimer::singleShot(0, this, [this] { FUp(); });
    return QObject::eventFilter(AWatched, AEvent);
  }

 private:
  std::function<void()> FDown, FUp;
};

const char *StateName(TPlayState AState) {
  switch (AState) {
    case psPlay:
      return "Play";
    case psPause:
      return "Pause";
    case psResume:
      return "Resume";
    case psStep:
      return "Step";
    case psStop:
      return "Stop";
    case psEnd:
      return "End";
  }
  return "";
}

}  // namespace

void TForm1::BuildPreviewPlayer() {
  VideoSurface = new TVideoSurfaceWidget(PanelVideo);
  VideoSurface->setObjectName(QStringLiteral("VideoSurface"));
  VideoSurface->setGeometry(0, 0, PanelVideo->width(), PanelVideo->height());

  // The player's events come from its own threads; they reach this window through its
  // event loop unless the program already installed a caller of its own.
  if (dynamic_cast<TDirectMainThreadCaller *>(&MainThreadCaller()) != nullptr) {
    FMainThreadCaller = std::make_unique<TQtMainThreadCaller>(this);
    SetMainThreadCaller(FMainThreadCaller.get());
  }

  // A proxy of its own base style: a proxy owns its base, so it must not wrap the
  // application's.
  auto *style = new TJumpSliderStyle();
  style->setParent(bsSkinSlider1);
  bsSkinSlider1->setStyle(style);
  bsSkinSlider1->installEventFilter(new TSliderWatcher(
      bsSkinSlider1, [this] { bsSkinSlider1MouseDown(); }, [this] { bsSkinSlider1MouseUp(); }));

  connect(bsSkinButton13, &QPushButton::clicked, this, &TForm1::bsSkinButton13Click);
  connect(bsSkinButton14, &QPushButton::clicked, this, &TForm1::bsSkinButton14Click);
  connect(bsSkinButton15, &QPushButton::clicked, this, &TForm1::bsSkinButton15Click);
  connect(bsSkinButton16, &QPushButton::clicked, this, &TForm1::bsSkinButton16Click);
  connect(bsSkinButton20, &QPushButton::clicked, this, &TForm1::bsSkinButton20Click);
  connect(bsSkinButton22, &QPushButton::clicked, this, &TForm1::bsSkinButton22Click);

  FFPlayer.OnFileOpen = [this](TFFPlayer *, int64_t ADuration, int AFrameWidth, int AFrameHeight,
                               int &AScreenWidth, int &AScreenHeight) {
    FFPlayerFileOpen(ADuration, AFrameWidth, AFrameHeight, AScreenWidth, AScreenHeight);
  };
  FFPlayer.OnPosition = [this](TFFPlayer *, int64_t APTS) { FFPlayerPosition(APTS); };
  FFPlayer.OnState = [this](TFFPlayer *, TPlayState AState) { FFPlayerState(AState); };
}

void TForm1::ShutdownPreviewPlayer() {
  PlayerDetachHandlers();
  if (FMainThreadCaller) {
    SetMainThreadCaller(nullptr);
    FMainThreadCaller.reset();
  }
}

void TForm1::PlayerDetachHandlers() {
  FFPlayer.OnFileOpen = nullptr;
  FFPlayer.OnPosition = nullptr;
  FFPlayer.OnState = nullptr;
  FFPlayer.OnHook = nullptr;
  // Closing the window also ends the preview.
  FFPlayer.Stop(true);
}

void TForm1::PlayerStop() {
  FFPlayer.Stop(true);
}

void TForm1::Button31Click() {
  if (!FFPlayer.AVLibLoaded()) {
    // "LibAV" beside the program when it is there, the system's libraries otherwise.
    std::string folder = FPaths.ProgramFile("LibAV");
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) folder.clear();
    if (!FFPlayer.LoadAVLib(folder)) {
      AddLog(QString::fromStdString(FFPlayer.LastErrMsg()));
      return;
    }
  }
  FFPlayer.VideoDriver = vdDefault;
  FFPlayer.AudioDriver = adDefault;
  if (!FFPlayer.Open(T_Movie_PLayer_FileName, VideoSurface, true))
    AddLog(QString::fromStdString(FFPlayer.LastErrMsg()));
}

void TForm1::FFPlayerFileOpen(int64_t ADuration, int AFrameWidth, int AFrameHeight, int &, int &) {
  FDuration = ADuration;
  bsSkinSlider1->setSingleStep(5);
  bsSkinSlider1->setMaximum(bsSkinSlider1->width());
  bsSkinSlider1->setValue(0);
  // The source's information text, then its duration and picture size.
  const std::string info = FFPlayer.AVProbe()->FileInfoText();
  if (!info.empty()) AddLog(QString::fromStdString(info).trimmed());
  AddLog(QString::asprintf("duration: %f, frame size: %dx%d", ADuration / 1e6, AFrameWidth,
                           AFrameHeight));
}

void TForm1::FFPlayerPosition(int64_t APTS) {
  if (bsSkinSlider1_down_UP != "UP") return;
  int pos = SeekBarPosition(APTS, FDuration, bsSkinSlider1->maximum());
  if (pos >= 0) bsSkinSlider1->setValue(pos);
}

void TForm1::FFPlayerState(TPlayState AState) {
  AddLog(QString::fromLatin1(StateName(AState)));
  if (AState == psStop) {
    VideoSurface->update();
  } else if (AState == psEnd) {
    // A source played to its end waits at its beginning.
    FFPlayer.Seek(int64_t{0}, sfAny);
    FFPlayer.Pause();
  }
}

void TForm1::bsSkinButton13Click() {
  FFPlayer.Resume();
  AdvListView1->setFocus();
}

void TForm1::bsSkinButton14Click() {
  FFPlayer.Pause();
  AdvListView1->setFocus();
}

void TForm1::bsSkinButton15Click() {
  if (AdvListView1->SelectedRow() < 0) return;
  try {
    FFPlayer.Stop(true);
    if (!FFPlayer.Open(T_Movie_PLayer_FileName, VideoSurface, true))
      AddLog(QString::fromStdString(FFPlayer.LastErrMsg()));
    AdvListView1->setFocus();
  } catch (...) {
    FFPlayer.Stop(true);
  }
}

void TForm1::bsSkinButton16Click() {
  FFPlayer.SetMute(true);
  bsSkinButton16->hide();
  bsSkinButton20->show();
}

void TForm1::bsSkinButton20Click() {
  FFPlayer.SetMute(false);
  bsSkinButton20->hide();
  bsSkinButton16->show();
}

void TForm1::bsSkinSlider1MouseDown() {
  bsSkinSlider1_down_UP = "Down";
  FFPlayer.Pause();
}

void TForm1::bsSkinSlider1MouseUp() {
  FFPlayer.Pause();
  FFPlayer.Seek(SeekBarTarget(bsSkinSlider1->value(), bsSkinSlider1->maximum(), FDuration), 0);
  // Playback runs after a seek, also when the preview was paused before.
  FFPlayer.Resume();
  bsSkinSlider1_down_UP = "UP";
}

void TForm1::bsSkinButton22Click() {
  FLastSnapshot.clear();
  // The picture on screen, copied before anything else can change it.
  const TPlayerBitmap &frame = FFPlayer.CurrentFrame();
  QImage picture;
  if (frame.Width > 0 && frame.Height > 0) {
    picture = QImage(frame.Width, frame.Height, QImage::Format_RGB888);
    for (int y = 0; y < frame.Height; ++y)
      std::memcpy(picture.scanLine(y), frame.Row(y), static_cast<size_t>(frame.Width) * 3);
  }
  // Folder and type are read anew every time, so an edited settings file counts at once.
  const std::string folder = SnapshotFolder();
  const std::string type = ReadSnapshotPicture(FIni);
  SetSnapshotType(type);
  if (picture.width() < 1) return;

  const std::string file =
      NextSnapshotFile(folder, T_Movie_PLayer_FileName, SnapshotExtension(type));
  bool saved = false;
  if (type == "GIF") {
    saved = WriteGif(file, picture.constBits(), picture.width(), picture.height(),
                     static_cast<int>(picture.bytesPerLine()));
  } else {
    const char *format = type == "JPG" ? "JPG" : type == "PNG" ? "PNG" : "BMP";
    saved = picture.save(QString::fromStdString(file), format, type == "JPG" ? 90 : -1);
  }
  if (saved)
    FLastSnapshot = file;
  else
    AddLog(QString::fromStdString("cannot write snapshot " + file));

  const std::string sound = FPaths.ProgramFile("sounds/cam.wav");
  std::error_code ec;
  if (std::filesystem::exists(sound, ec)) (void)FPlatform.PlaySoundAsync(sound);
}
