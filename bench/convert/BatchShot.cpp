// Screenshot of the main window in the middle of a batch of three rows: the first one
// finished, the second converting, the third waiting. Run under a display (xvfb-run).
//   batch_screenshot <output folder>
#include <QApplication>
#include <QComboBox>
#include <QScreen>
#include <chrono>
#include <filesystem>
#include <thread>

#include "FFmpegLoader/FFmpegLoader.h"
#include "JobListView.h"
#include "MainWindow.h"
#include "MediaFixtures.h"
#include "ScriptedPlatform.h"

namespace {

void Wait(int AMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(AMs);
  while (std::chrono::steady_clock::now() < end) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) return 2;
  const std::string out = argv[1];
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  QApplication app(argc, argv);
  const std::string root = out + "/batch-home";
  std::filesystem::create_directories(root + "/bin");
  TAppPaths paths;
  paths.ProgramDir = root + "/bin";
  paths.HomeDir = root;
  paths.ConfigHome = root + "/.config";
  TScriptedPlatform platform;
  TForm1 form(platform, paths);
  form.show();
  if (!form.FFmpegQueue1.LoadAVLib(DefaultLibraryPath())) return 1;

  qvtest::TClipParams params;
  params.DurationSec = 4;
  for (const char *name : {"holiday", "concert", "lecture"}) {
    const std::string clip = root + "/" + name + ".mp4";
    qvtest::WriteClip(params, clip);
    TInputOptions in;
    InitInputOptions(in);
    in.FileName = clip;
    in.ExtOptions = "re";  // read at the clip's own pace, so the batch can be watched
    TOutputOptions o;
    InitOutputOptions(o);
    o.FileName = form.FileOutPutPath + "/" + name + ".mkv";
    o.VideoCodec = "copy";
    o.AudioCodec = "copy";
    form.AddListRow(clip, in, o);
  }
  form.AdvListView1->Renumber();
  form.cbCompletionAction->setCurrentIndex(0);
  form.btnStartClick();
  Wait(6000);
  QPixmap pm = form.screen()->grabWindow(form.winId());
  if (pm.isNull()) pm = form.grab();
  pm.save(QString::fromStdString(out + "/batch-running.png"));
  form.FormCloseQuery();
  return 0;
}
