// Plays a 1280 × 720 H.264 clip in real time through the preview player for ten seconds,
// drawing into a surface of the preview panel's size, and compares the CPU time used
// with `ffmpeg -re` decoding the same clip to nowhere over the same time.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "FFUtils/MainThread.h"
#include "FFmpegLoader/FFmpegLoader.h"
#include "MediaFixtures.h"
#include "Player.h"

namespace {

double CpuSeconds(int AWho) {
  rusage u{};
  getrusage(AWho, &u);
  return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec +
         u.ru_stime.tv_usec / 1e6;
}

struct TCountingSurface : IVideoSurface {
  int Frames = 0;
  void ClientSize(int &AWidth, int &AHeight) override {
    AWidth = 254;
    AHeight = 173;
  }
  void Present(const TPlayerBitmap &) override { ++Frames; }
  void Clear() override {}
};

}  // namespace

int main() {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  if (!FFLoader().Load(kPlayerLibraries)) {
    std::fprintf(stderr, "%s\n", FFLoader().LastErrMsg().c_str());
    return 1;
  }
  ff::util.av_log_set_level(AV_LOG_QUIET);
  qvtest::TClipParams params;
  params.VideoCodec = qvtest::HasEncoder("libx264") ? "libx264" : "mpeg4";
  params.Width = 1280;
  params.Height = 720;
  params.DurationSec = 12;
  params.VideoBitRate = 3000000;
  const std::string clip = qvtest::MakeClip(params);
  const double seconds = 10;

  TFFPlayer player;
  TCountingSurface surface;
  double cpu0 = CpuSeconds(RUSAGE_SELF);
  auto t0 = std::chrono::steady_clock::now();
  if (!player.Open(clip, &surface, false)) {
    std::fprintf(stderr, "open: %s\n", player.LastErrMsg().c_str());
    return 1;
  }
  while (std::chrono::steady_clock::now() - t0 < std::chrono::duration<double>(seconds)) {
    PumpMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  int64_t reached = player.CurrentPTS();
  player.Stop(true);
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  double playerCpu = CpuSeconds(RUSAGE_SELF) - cpu0;

  // The same job for the command-line tool: decode in real time, no output.
  double child0 = CpuSeconds(RUSAGE_CHILDREN);
  auto f0 = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    execlp("ffmpeg", "ffmpeg", "-v", "error", "-re", "-t", "10", "-i", clip.c_str(), "-f", "null",
           "-", static_cast<char *>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  double ffWall = std::chrono::duration<double>(std::chrono::steady_clock::now() - f0).count();
  double ffCpu = CpuSeconds(RUSAGE_CHILDREN) - child0;

  std::printf("clip: %s 1280x720 25 fps, %s\n", params.VideoCodec.c_str(), clip.c_str());
  std::printf(
      "player: %.2f s wall, %.2f s CPU = %.0f %% of one core, %d pictures drawn, "
      "position %.2f s\n",
      wall, playerCpu, 100 * playerCpu / wall, surface.Frames, reached / 1e6);
  std::printf("ffmpeg -re: %.2f s wall, %.2f s CPU = %.0f %% of one core\n", ffWall, ffCpu,
              100 * ffCpu / ffWall);
  std::printf("ratio player/ffmpeg CPU per second: %.2f\n", (playerCpu / wall) / (ffCpu / ffWall));
  return 0;
}
