// Screenshots of the main window's preview panel: a listed clip with a text subtitle
// opened paused on its first picture, then after play and a snapshot. Run under a display
// (xvfb-run).
//   preview_screenshot <output folder>
#include <QApplication>
#include <QScreen>
#include <QThread>
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
void Shot(QWidget &AWindow, const std::string &AFile) {
  QPixmap pm = AWindow.screen()->grabWindow(AWindow.winId());
  if (pm.isNull()) pm = AWindow.grab();
  pm.save(QString::fromStdString(AFile));
}
}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) return 2;
  const std::string out = argv[1];
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  QApplication app(argc, argv);
  if (!FFLoader().Load(kPlayerLibraries)) return 1;
  qvtest::TClipParams params;
  params.Width = 320;
  params.Height = 240;
  params.DurationSec = 4;
  params.Audio = {qvtest::Track("pcm_s16le", 22050, 1)};
  // A text subtitle over the whole clip, to see it drawn over the picture.
  params.Container = "matroska";
  params.Extension = "mkv";
  params.Subtitles = {qvtest::TSubtitleTrack{"subrip", {{0.0, 4.0, "预览字幕 Preview subtitle"}}}};
  const std::string clip = qvtest::MakeClip(params);

  const std::string root = out + "/shot-home";
  std::filesystem::create_directories(root + "/bin");
  TAppPaths paths;
  paths.ProgramDir = root + "/bin";
  paths.HomeDir = root;
  paths.ConfigHome = root + "/.config";
  TScriptedPlatform platform;
  TForm1 form(platform, paths);
  form.show();
  TInputOptions in;
  in.FileName = clip;
  TOutputOptions o;
  o.FileName = root + "/clip.mp4";
  form.AddListRow(clip, in, o);
  form.AdvListView1->SelectRow(0);
  Wait(1500);
  Shot(form, out + "/preview-paused.png");
  form.bsSkinButton13Click();
  Wait(1500);
  form.bsSkinButton22Click();
  Wait(300);
  Shot(form, out + "/preview-playing.png");
  std::printf("snapshot: %s\n", form.LastSnapshotFile().c_str());
  return 0;
}
