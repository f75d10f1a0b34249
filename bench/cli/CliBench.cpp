// quorvel-cli against the ffmpeg command-line tool: the same sources converted with the same
// settings, each run as its own process, measured by wait4 (wall time, user+system CPU time
// and peak resident memory of the process and everything it waited for).
//
//   bench_cli [repeats=3] [quorvel-cli path]
//
// Per preset (100, 2803, 200) one 1280x720 10 s source; then a batch of 8 clips through
// --jobs 1 and --jobs 2, and through the tool one file after another and two at a time.
// Where HandBrakeCLI is installed, preset 2803's settings (x264, 800x600, 1500 kbit/s,
// 29.97 fps, AAC 128 kbit/s 48 kHz stereo) are also run through it.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
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

// Runs one command and measures it. Called only in the launcher process (below).
TRun SpawnAndWait(const std::vector<std::string> &AArgs) {
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
    r.Status = -1;
    return r;
  }
  posix_spawn_file_actions_destroy(&actions);
  rusage u{};
  wait4(pid, &r.Status, 0, &u);
  r.Wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.Cpu = u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
  r.PeakKb = u.ru_maxrss;
  return r;
}

// A process's peak memory starts from the peak of the process it was forked from, so the
// commands are started by a launcher forked before this program loads the libraries and
// writes the sources: requests and results travel through two pipes.
int gToLauncher = -1, gFromLauncher = -1;

void StartLauncher() {
  int req[2], rep[2];
  if (pipe(req) != 0 || pipe(rep) != 0) std::exit(1);
  if (fork() == 0) {
    close(req[1]);
    close(rep[0]);
    for (;;) {
      uint32_t size = 0;
      if (read(req[0], &size, sizeof size) != sizeof size) _exit(0);
      std::string text(size, '\0');
      for (std::size_t got = 0; got < size;) {
        const ssize_t n = read(req[0], text.data() + got, size - got);
        if (n <= 0) _exit(1);
        got += static_cast<std::size_t>(n);
      }
      std::vector<std::string> args;
      for (std::size_t b = 0; b < text.size();) {
        const std::size_t e = text.find('\0', b);
        args.push_back(text.substr(b, e - b));
        b = e + 1;
      }
      const TRun r = SpawnAndWait(args);
      if (write(rep[1], &r, sizeof r) != sizeof r) _exit(1);
    }
  }
  close(req[0]);
  close(rep[1]);
  gToLauncher = req[1];
  gFromLauncher = rep[0];
}

TRun Spawn(const std::vector<std::string> &AArgs) {
  std::string text;
  for (const std::string &a : AArgs) text += a + '\0';
  const uint32_t size = static_cast<uint32_t>(text.size());
  TRun r;
  if (write(gToLauncher, &size, sizeof size) != sizeof size ||
      write(gToLauncher, text.data(), size) != static_cast<ssize_t>(size) ||
      read(gFromLauncher, &r, sizeof r) != sizeof r) {
    std::fprintf(stderr, "the launcher is gone\n");
    std::exit(1);
  }
  if (r.Status != 0) {
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
  StartLauncher();
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
  const bool handBrake = OnPath("HandBrakeCLI");
  if (!handBrake) std::printf("HandBrakeCLI: not installed, not measured\n");
  Heading();
  for (const TPresetJob &j : jobs) {
    const TRun qv = Median(repeats, qvOut, {cli, "convert", "-p", j.Id, "-o", qvOut, source});
    std::vector<std::string> tool = {"ffmpeg", "-nostdin", "-loglevel", "error",
                                     "-y",     "-i",       source};
    tool.insert(tool.end(), j.Tool.begin(), j.Tool.end());
    tool.push_back(ffOut + "/out." + j.Ext);
    const TRun ff = Median(repeats, ffOut, tool);
    Row((std::string("preset ") + j.Id).c_str(), qv, ff);
    if (handBrake && std::string(j.Id) == "2803") {
      const TRun hb =
          Median(repeats, ffOut, {"HandBrakeCLI", "-i",   source,   "-o",    ffOut + "/hb.mp4",
                                  "-e",           "x264", "-b",     "1500",  "-w",
                                  "800",          "-l",   "600",    "-r",    "29.97",
                                  "--cfr",        "-E",   "av_aac", "-B",    "128",
                                  "-R",           "48",   "-6",     "stereo"});
      Row("preset 2803, HandBrakeCLI", qv, hb);
    }
  }

  // The batch: 8 clips of 640x360, 6 s each, preset 2803.
  const std::string batch = work + "/batch";
  fs::create_directories(batch);
  qvtest::TClipParams params;
  params.Width = 640;
  params.Height = 360;
  params.DurationSec = 6;
  params.VideoBitRate = 1000000;
  const std::string clip = qvtest::MakeClip(params);
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
