// Encoding jobs run by the engine (through quorvel-cli convert) and by the FFmpeg
// command-line tool with the same settings, alternately, each as a child process. Prints
// the median wall time and the peak resident memory of both, and their ratios.
//
//   bench_encode [runs]      (default 3 runs per job and program)
//
// Sources are written by the fixtures code into a temporary folder: a 6 s 1280 × 720
// clip of raw pictures and PCM (about 200 MB) for the stream copy, the 10 s 1280 × 720
// H.264/AAC fixture for the transcodes and a 60 s stereo WAV for the MP3 encode.
//
// Peak memory is the children's own: the kernel folds the launching process's high-water
// mark into a child that it starts, so the sources are written by a child as well and the
// measuring process never loads the media libraries.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "FFmpegLoader/FFmpegLoader.h"
#include "MediaFixtures.h"

extern char **environ;

namespace {

struct TRun {
  double Seconds = 0;
  double CpuSeconds = 0;  // user + system: steadier than the wall time on a busy machine
  long PeakKB = 0;
};

// Runs a program with its output thrown away; the child's wall time and peak memory.
TRun RunChild(const std::vector<std::string> &AArgs) {
  std::vector<char *> argv;
  for (const std::string &a : AArgs) argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const auto t0 = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
    std::fprintf(stderr, "cannot start %s\n", argv[0]);
    std::exit(1);
  }
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::string cmd;
    for (const std::string &a : AArgs) cmd += a + " ";
    std::fprintf(stderr, "failed: %s\n", cmd.c_str());
    std::exit(1);
  }
  TRun r;
  r.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  r.PeakKB = usage.ru_maxrss;
  r.CpuSeconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                 (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  return r;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

long long FileSize(const std::string &APath) {
  struct stat sb {};
  return ::stat(APath.c_str(), &sb) == 0 ? static_cast<long long>(sb.st_size) : -1;
}

std::vector<std::string> Split(const std::string &AText) {
  std::vector<std::string> r;
  size_t i = 0;
  while (i < AText.size()) {
    const size_t j = AText.find(' ', i);
    r.push_back(AText.substr(i, j == std::string::npos ? std::string::npos : j - i));
    if (j == std::string::npos) break;
    i = j + 1;
  }
  return r;
}

// The settings of the engine's "libx264-default" preset as options of the tool.
const char *const kX264Default =
    "-coder 1 -flags +loop -cmp +chroma -partitions i8x8,i4x4,p8x8,b8x8 -me_method hex "
    "-subq 7 -me_range 16 -g 250 -keyint_min 25 -sc_threshold 40 -i_qfactor 0.71 "
    "-b_strategy 1 -qcomp 0.6 -qmin 10 -qmax 51 -qdiff 4 -bf 3 -refs 3 -direct-pred spatial "
    "-trellis 1 -mixed-refs 1 -weightb 1 -8x8dct 1 -fast-pskip 1 -wpredp 2";

struct TJob {
  std::string Name, Input, Ext;
  std::string Engine;  // output options of the engine
  std::string Tool;    // output options of the tool
};

}  // namespace

// Child mode: writes the sources and prints their paths, one a line.
int WriteSources() {
  if (!FFLoader().Load(kQueueLibraries)) {
    std::fprintf(stderr, "%s\n", FFLoader().LastErrMsg().c_str());
    return 1;
  }
  ff::util.av_log_set_level(AV_LOG_QUIET);
  if (!qvtest::HasEncoder("libmp3lame") || !qvtest::HasEncoder("libx264")) {
    std::fprintf(stderr, "libmp3lame and libx264 are needed\n");
    return 1;
  }
  qvtest::TClipParams big;
  big.Container = "matroska";
  big.Extension = "mkv";
  big.DurationSec = 6;
  big.Width = 1280;
  big.Height = 720;
  big.VideoCodec = "rawvideo";
  big.Audio = {qvtest::Track("pcm_s16le", 48000, 2)};
  qvtest::TClipParams wav;
  wav.Container = "wav";
  wav.DurationSec = 60;
  wav.VideoCodec.clear();
  wav.Audio = {qvtest::Track("pcm_s16le", 44100, 2)};
  std::printf("%s\n%s\n%s\n", qvtest::MakeClip(big).c_str(),
              qvtest::Fixture(qvtest::TFixture::Large720p).c_str(), qvtest::MakeClip(wav).c_str());
  return 0;
}

int main(int argc, char **argv) {
  if (argc > 1 && std::string(argv[1]) == "--write-sources") return WriteSources();
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  std::printf("writing the sources...\n");
  std::fflush(stdout);
  setenv("QUORVEL_KEEP_FIXTURES", "1", 1);
  std::vector<std::string> sources;
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  if (FILE *f = popen(("'" + self + "' --write-sources").c_str(), "r")) {
    char line[4096];
    while (std::fgets(line, sizeof line, f)) {
      std::string l(line);
      while (!l.empty() && l.back() == '\n') l.pop_back();
      sources.push_back(l);
    }
    if (pclose(f) != 0) sources.clear();
  }
  if (sources.size() != 3) {
    std::fprintf(stderr, "cannot write the sources\n");
    return 1;
  }
  const std::string bigClip = sources[0], clip720 = sources[1], wavClip = sources[2];
  const std::string dir = std::filesystem::path(bigClip).parent_path().string();
  std::printf("copy source %lld bytes\n", FileSize(bigClip));

  const std::vector<TJob> jobs = {
      {"copy 200 MB mkv -> avi", bigClip, "avi", "-vcodec copy -acodec copy", "-c copy"},
      {"mpeg4/mp3 avi 720p", clip720, "avi",
       "-vcodec mpeg4 -b 1500k -acodec libmp3lame -ab 128k -ar 44100 -ac 2",
       "-c:v mpeg4 -b:v 1500k -c:a libmp3lame -b:a 128k -ar 44100 -ac 2"},
      {"h264/aac mp4 720p", clip720, "mp4",
       "-vcodec libx264 -vpre libx264-default -b 2000k -acodec aac -ab 128k -ar 44100 -ac 2",
       std::string("-c:v libx264 ") + kX264Default +
           " -b:v 2000k -c:a aac -b:a 128k -ar 44100 -ac 2"},
      {"mp3 from 60 s wav", wavClip, "mp3", "-acodec libmp3lame -ab 128k",
       "-c:a libmp3lame -b:a 128k"},
  };

  std::printf("%-30s %8s %8s %6s | %7s %7s %6s | %7s %7s %6s | sizes (engine/tool)\n", "job",
              "engine s", "tool s", "time", "eng cpu", "tool cpu", "cpu", "eng MB", "tool MB",
              "mem");
  for (const TJob &j : jobs) {
    const std::string engineOut = dir + "/bench_engine." + j.Ext;
    const std::string toolOut = dir + "/bench_tool." + j.Ext;
    std::vector<std::string> engineArgs{QV_CLI, "convert", "-i", j.Input};
    for (const std::string &a : Split(j.Engine)) engineArgs.push_back(a);
    engineArgs.push_back(engineOut);
    std::vector<std::string> toolArgs{"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", j.Input};
    for (const std::string &a : Split(j.Tool)) toolArgs.push_back(a);
    toolArgs.push_back(toolOut);
    std::vector<double> et, tt, ec, tc;
    long em = 0, tm = 0;
    for (int i = 0; i < runs; ++i) {
      const TRun e = RunChild(engineArgs);
      const TRun t = RunChild(toolArgs);
      et.push_back(e.Seconds);
      tt.push_back(t.Seconds);
      ec.push_back(e.CpuSeconds);
      tc.push_back(t.CpuSeconds);
      em = std::max(em, e.PeakKB);
      tm = std::max(tm, t.PeakKB);
    }
    const double me = Median(et), mt = Median(tt), ce = Median(ec), ct = Median(tc);
    std::printf("%-30s %8.3f %8.3f %6.3f | %7.3f %7.3f %6.3f | %7.1f %7.1f %6.3f | %lld/%lld\n",
                j.Name.c_str(), me, mt, me / mt, ce, ct, ce / ct, em / 1024.0, tm / 1024.0,
                double(em) / double(tm), FileSize(engineOut), FileSize(toolOut));
    std::fflush(stdout);
    std::remove(engineOut.c_str());
    std::remove(toolOut.c_str());
  }
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}
