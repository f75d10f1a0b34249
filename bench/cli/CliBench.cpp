// quorvel-cli against the ffmpeg command-line tool: the same sources converted with the same
// settings, each run as its own process, measured by wait4 (wall time, user+system CPU time
// and peak resident memory of the process and everything it waited for).
//
//   bench_cli [repeats=3] [quorvel-cli path]
//
// Per preset (100, 2803, 200) one 1280x720 10 s source; then a batch of 8 clips through
// --jobs 1 and --jobs 2, and through the tool one file after another and two at a time.
// HandBrakeCLI is used where it is installed and the settings can be expressed.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FFmpegLoader/FFmpegLoader.h"
#include "MediaFixtures.h"

extern char **environ;
namespace fs = std::filesystem;

namespace {

struct TRun {
  double Wall = 0, Cpu = 0;
  long PeakKb = 0;
  int Status = 0;
};

TRun Spawn(const std::vector<std::string> &AArgs) {
  std::vector<char *> argv;
  std::vector<std::string> words = AArgs;
  for (std::string &w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  TRun r;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
    std::fprintf(stderr, "cannot start %s\n", argv[0]);
    std::exit(1);
  }
  posix_spawn_file_actions_destroy(&actions);
  rusage u{};
  wait4(pid, &r.Status, 0, &u);
  r.Wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.Cpu = u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
  r.PeakKb = u.ru_maxrss;
  if (!WIFEXITED(r.Status) || WEXITSTATUS(r.Status) != 0) {
    std::fprintf(stderr, "failed (status %d):", r.Status);
    for (const std::string &a : AArgs) std::fprintf(stderr, " %s", a.c_str());
    std::fprintf(stderr, "\n");
    std::exit(1);
  }
  return r;
}

// The median run by wall time of ARepeats, after emptying AOutDir before each.
TRun Median(int ARepeats, const std::string &AOutDir, const std::vector<std::string> &AArgs) {
  std::vector<TRun> runs;
  for (int i = 0; i < ARepeats; ++i) {
    fs::remove_all(AOutDir);
    fs::create_directories(AOutDir);
    runs.push_back(Spawn(AArgs));
  }
  std::sort(runs.begin(), runs.end(), [](const TRun &a, const TRun &b) { return a.Wall < b.Wall; });
  return runs[runs.size() / 2];
}

bool OnPath(const char *AName) {
  const char *path = std::getenv("PATH");
  std::string p = path ? path : "";
  for (std::size_t b = 0; b <= p.size();) {
    std::size_t e = p.find(':', b);
    if (e == std::string::npos) e = p.size();
    if (fs::exists(p.substr(b, e - b) + "/" + AName)) return true;
    b = e + 1;
  }
  return false;
}

void Row(const char *AName, const TRun &AQv, const TRun &ATool) {
  std::printf("%-26s %8.2f %8.2f %8.3f | %8.2f %8.2f %8.3f | %8.0f %8.0f %8.3f\n", AName, AQv.Wall,
              ATool.Wall, AQv.Wall / ATool.Wall, AQv.Cpu, ATool.Cpu, AQv.Cpu / ATool.Cpu,
              AQv.PeakKb / 1024.0, ATool.PeakKb / 1024.0, double(AQv.PeakKb) / ATool.PeakKb);
}

void Heading() {
  std::printf("%-26s %8s %8s %8s | %8s %8s %8s | %8s %8s %8s\n", "job", "qv wall", "ff wall",
              "ratio", "qv cpu", "ff cpu", "ratio", "qv MiB", "ff MiB", "ratio");
}

std::string ReadAll(const std::string &APath) {
  std::ifstream f(APath);
  return {std::istreambuf_iterator<char>(f), {}};
}

}  // namespace

int main(int argc, char **argv) {
  const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const std::string cli = argc > 2 ? argv[2] : QUORVEL_CLI_PATH;
  if (!FFLoader().Load(kQueueLibraries)) {
    std::fprintf(stderr, "%s\n", FFLoader().LastErrMsg().c_str());
    return 1;
  }
  const std::string source = qvtest::Fixture(qvtest::TFixture::Large720p);
  const std::string work = qvtest::FixtureDir() + "/bench";
  const std::string qvOut = work + "/qv", ffOut = work + "/ff";

  // The preset's settings written as tool arguments: the program's "libx264-default" is
  // x264's medium preset, the tool's default; libfaac is served by the built-in aac encoder.
  struct TPresetJob {
    const char *Id;
    const char *Ext;
    std::vector<std::string> Tool;
  };
  const std::vector<TPresetJob> jobs = {
      {"100",
       "avi",
       {"-c:v", "mpeg4", "-vtag", "XVID", "-b:v", "816k", "-r", "25", "-c:a", "libmp3lame", "-b:a",
        "128k", "-ar", "44100", "-ac", "2"}},
      {"2803",
       "mp4",
       {"-c:v", "libx264", "-s", "800x600", "-b:v", "1500k", "-r", "29.97", "-c:a", "aac", "-b:a",
        "128k", "-ar", "48000", "-ac", "2"}},
      {"200", "mp3", {"-vn", "-c:a", "libmp3lame", "-b:a", "128k", "-ar", "44100", "-ac", "2"}},
  };
  std::string load = ReadAll("/proc/loadavg");
  std::printf("quorvel-cli against the ffmpeg tool; median of %d runs; load before: %s", repeats,
              load.c_str());
  std::printf("source: %s (1280x720, 10 s)\n", source.c_str());
  if (!OnPath("HandBrakeCLI")) std::printf("HandBrakeCLI: not installed, not measured\n");
  Heading();
  for (const TPresetJob &j : jobs) {
    const TRun qv = Median(repeats, qvOut, {cli, "convert", "-p", j.Id, "-o", qvOut, source});
    std::vector<std::string> tool = {"ffmpeg", "-nostdin", "-loglevel", "error",
                                     "-y",     "-i",       source};
    tool.insert(tool.end(), j.Tool.begin(), j.Tool.end());
    tool.push_back(ffOut + "/out." + j.Ext);
    const TRun ff = Median(repeats, ffOut, tool);
    Row((std::string("preset ") + j.Id).c_str(), qv, ff);
  }

  // The batch: 8 clips of 640x360, 6 s each, preset 2803.
  const std::string batch = work + "/batch";
  fs::create_directories(batch);
  qvtest::TClipSpec spec;
  spec.Width = 640;
  spec.Height = 360;
  spec.DurationSec = 6;
  spec.VideoBitRate = 1000000;
  const std::string clip = qvtest::MakeClip(spec);
  std::vector<std::string> files;
  for (int i = 0; i < 8; ++i) {
    files.push_back(batch + "/clip" + std::to_string(i) + ".mp4");
    fs::copy_file(clip, files.back(), fs::copy_options::overwrite_existing);
  }
  const TPresetJob &j = jobs[1];
  std::string toolArgs;
  for (const std::string &a : j.Tool) toolArgs += " " + a;
  const auto toolBatch = [&](int AParallel) {
    return std::vector<std::string>{"sh", "-c",
                                    "ls " + batch + "/*.mp4 | xargs -P " +
                                        std::to_string(AParallel) +
                                        " -I{} sh -c 'ffmpeg -nostdin -loglevel error -y -i {} " +
                                        toolArgs + " " + ffOut + "/$(basename {} .mp4).mp4'"};
  };
  const TRun qv1 =
      Median(repeats, qvOut, {cli, "convert", "-p", "2803", "-o", qvOut, "--jobs", "1", batch});
  const TRun ff1 = Median(repeats, ffOut, toolBatch(1));
  const TRun qv2 =
      Median(repeats, qvOut, {cli, "convert", "-p", "2803", "-o", qvOut, "--jobs", "2", batch});
  const TRun ff2 = Median(repeats, ffOut, toolBatch(2));
  Row("batch 8, 2803, 1 at once", qv1, ff1);
  Row("batch 8, 2803, 2 at once", qv2, ff2);
  std::printf("batch cpu/wall: quorvel-cli --jobs 1 %.2f, --jobs 2 %.2f; tool 1 %.2f, 2 %.2f\n",
              qv1.Cpu / qv1.Wall, qv2.Cpu / qv2.Wall, ff1.Cpu / ff1.Wall, ff2.Cpu / ff2.Wall);
  std::printf("--jobs 2 wall / --jobs 1 wall: %.3f\n", qv2.Wall / qv1.Wall);
  load = ReadAll("/proc/loadavg");
  std::printf("load after: %s", load.c_str());
  return 0;
}
