// Copies the streams of a 1280 × 720 clip (MP4 to Matroska and MP4 to MPEG-TS) through
// the engine and through the FFmpeg command-line tool, several times each, and prints
// the median wall time of both and their ratio.
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FFmpeg/FFmpeg.h"
#include "FFmpegLoader/FFmpegLoader.h"
#include "MediaFixtures.h"

namespace {

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double EngineCopy(const std::string &AIn, const std::string &AOut,
                  const std::string &AVideoFilter) {
  const auto t0 = std::chrono::steady_clock::now();
  TCustomFFmpeg e(20);
  e.SetOption("v", "-1");
  if (!e.OpenInputFile(AIn)) std::exit(1);
  e.SetOption("vcodec", "copy");
  e.SetOption("acodec", "copy");
  if (!AVideoFilter.empty()) e.SetOption("vbsf", AVideoFilter);
  if (e.OpenOutputFile(AOut) < 1) std::exit(1);
  (void)e.StartConvert(false);
  if (e.FatalException()) {
    std::fprintf(stderr, "%s\n", e.FatalMessage().c_str());
    std::exit(1);
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

long long FileSize(const std::string &APath) {
  struct stat sb {};
  return ::stat(APath.c_str(), &sb) == 0 ? static_cast<long long>(sb.st_size) : -1;
}

double ToolStart() {
  const auto t0 = std::chrono::steady_clock::now();
  if (std::system("ffmpeg -nostdin -v error -version > /dev/null") != 0) std::exit(1);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double ToolCopy(const std::string &AIn, const std::string &AOut) {
  const std::string cmd = "ffmpeg -nostdin -v error -y -i '" + AIn + "' -c copy '" + AOut + "'";
  const auto t0 = std::chrono::steady_clock::now();
  if (std::system(cmd.c_str()) != 0) std::exit(1);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main() {
  if (!FFLoader().Load(kQueueLibraries)) {
    std::fprintf(stderr, "%s\n", FFLoader().LastErrMsg().c_str());
    return 1;
  }
  ff::util.av_log_set_level(AV_LOG_QUIET);
  const std::string in = qvtest::Fixture(qvtest::TFixture::Large720p);
  const bool h264 = qvtest::HasEncoder("libx264");
  struct TJob {
    const char *Name, *Ext, *Filter;
  };
  const TJob jobs[] = {{"mp4 -> mkv", "mkv", ""},
                       {"mp4 -> ts", "ts", h264 ? "h264_mp4toannexb" : ""}};
  const int runs = 7;
  std::vector<double> starts;
  for (int i = 0; i < runs; ++i) starts.push_back(ToolStart());
  std::printf("input %s: %lld bytes; the tool's own start-up takes %.1f ms\n", in.c_str(),
              FileSize(in), Median(starts) * 1000);
  for (const TJob &j : jobs) {
    const std::string out = qvtest::FixtureDir() + "/bench." + j.Ext;
    std::vector<double> engine, tool;
    for (int i = 0; i < runs; ++i) {
      engine.push_back(EngineCopy(in, out, j.Filter));
      tool.push_back(ToolCopy(in, out));
    }
    const double me = Median(engine), mt = Median(tool);
    std::printf(
        "%-12s engine %.1f ms, ffmpeg %.1f ms, ratio %.2f (median of %d); output %lld bytes\n",
        j.Name, me * 1000, mt * 1000, me / mt, runs, FileSize(out));
  }
  return 0;
}
