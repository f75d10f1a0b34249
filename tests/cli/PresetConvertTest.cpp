#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

#include "AVProbe.h"
#include "CliCommands.h"
#include "FFmpegQueue/FFmpegQueue.h"
#include "JsonParse.h"
#include "MediaFixtures.h"
#include "OutputNaming.h"
#include "PresetConvert.h"
#include "TempDir.h"

extern char **environ;

namespace {

struct TResult {
  int Code;
  std::string Out, Err;
};

TResult RunCli(const std::vector<std::string> &AArgs) {
  std::ostringstream out, err;
  const int code = cli::Run(AArgs, out, err);
  return {code, out.str(), err.str()};
}

std::vector<std::string> Lines(const std::string &AText) {
  std::vector<std::string> lines;
  std::istringstream in(AText);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

bool Exists(const std::string &APath) {
  struct stat sb {};
  return ::stat(APath.c_str(), &sb) == 0;
}

int64_t FileSize(const std::string &APath) {
  struct stat sb {};
  return ::stat(APath.c_str(), &sb) == 0 ? sb.st_size : -1;
}

qvtest::TClipParams Clip(const std::string &AContainer, const std::string &AExt, double ASeconds) {
  qvtest::TClipParams params;
  params.Container = AContainer;
  params.Extension = AExt;
  params.DurationSec = ASeconds;
  params.Width = 96;
  params.Height = 64;
  params.Audio = {qvtest::Track("mp2", 44100, 2, 64000)};
  return params;
}

}  // namespace

TEST(PresetConvertArgs, EachChoiceMustBeAnItemOfThePreset) {
  struct TCase {
    std::vector<std::string> Args;
    std::string Error;                             // empty: accepted
    std::string TChosenOptions::*Field = nullptr;  // where the item lands
    std::string Item = {};
  };
  const std::vector<TCase> cases = {
      {{"-p", "100", "--size", "640x480", "f"}, "", &TChosenOptions::Resolution, "640*480"},
      {{"-p", "100", "--size", "keep", "f"}, "", &TChosenOptions::Resolution, "保持原分辨率"},
      {{"-p", "100", "--vb", "816", "f"}, "", &TChosenOptions::VideoBitrate, "816 kbps"},
      {{"-p", "100", "--fps", "25", "f"}, "", &TChosenOptions::FrameRate, "25.00"},
      {{"-p", "100", "--aspect", "16:9", "f"}, "", &TChosenOptions::Aspect, "宽屏视频16:9模式"},
      {{"-p", "100", "--ab", "128k", "f"}, "", &TChosenOptions::AudioBitrate, "128 kbps"},
      {{"-p", "212", "--ab", "12.2", "f"}, "", &TChosenOptions::AudioBitrate, "12.2 kbps"},
      {{"f", "--ar", "48000", "-p", "2803"}, "", &TChosenOptions::SampleRate, "48000"},
      {{"-p", "100", "--ac", "1", "f"}, "", &TChosenOptions::Channels, "单声道"},
      {{"-p", "100", "--vb", "900", "f"},
       "--vb 900 is not offered by preset 100; allowed: 128, 288, 528, 816, 1200, 1600, 1800, "
       "2000"},
      {{"-p", "2803", "--fps", "25.5", "f"},
       "--fps 25.5 is not offered by preset 2803; allowed: keep, 10.00, 12.00, 15.00, 20.00, "
       "23.98, 24.00, 25.00, 29.97, 30.00"},
      {{"-p", "212", "--ac", "2", "f"}, "--ac 2 is not offered by preset 212; allowed: 1"},
      {{"-p", "200", "--size", "320*240", "f"},
       "--size 320*240 is not offered by preset 200; it takes no --size"},
      {{"-p", "100", "--size", "320*241", "f"}, "--size 320*241 is not offered by preset 100"},
      {{"-p", "99999", "f"}, "unknown preset \"99999\""},
      {{"-p", "abc", "f"}, "unknown preset \"abc\""},
      {{"f"}, "-p ID is required"},
      {{"-p", "100"}, "no FILE or FOLDER to convert"},
      {{"-p", "100", "--size"}, "--size needs a value"},
      {{"-p", "100", "--jobs", "0", "f"}, "--jobs needs a number from 1 to 64"},
      {{"-p", "100", "--bogus", "f"}, "unknown option --bogus"},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Args[0] + " " + (c.Args.size() > 2 ? c.Args[2] : ""));
    cli::TPresetConvertArgs args;
    std::string error;
    const bool ok = cli::ParsePresetConvertArgs(c.Args, args, error);
    if (c.Error.empty()) {
      ASSERT_TRUE(ok) << error;
      EXPECT_EQ(args.Choices.*(c.Field), c.Item);
      EXPECT_EQ(args.Sources, std::vector<std::string>{"f"});
    } else {
      EXPECT_FALSE(ok);
      EXPECT_EQ(error.rfind(c.Error, 0), 0u) << error;
    }
  }
  // Through the command: a usage error is exit status 2 and lists what is allowed.
  const TResult r = RunCli({"convert", "-p", "200", "--ar", "8000", "x.wav"});
  EXPECT_EQ(r.Code, cli::kExitUsage);
  EXPECT_NE(r.Err.find("allowed: 11025, 16000, 22050, 32000, 44100, 48000"), std::string::npos)
      << r.Err;
  EXPECT_EQ(r.Out, "");
}

TEST(PresetsCommand, ListsEveryPresetAsTextAndAsJson) {
  const TResult text = RunCli({"presets"});
  ASSERT_EQ(text.Code, cli::kExitOk);
  const std::vector<std::string> lines = Lines(text.Out);
  ASSERT_EQ(lines.size(), 147u);  // heading + 146
  bool found = false;
  for (const std::string &l : lines)
    if (l.rfind("2803 ", 0) == 0) {
      found = true;
      EXPECT_NE(l.find("libx264"), std::string::npos);
      EXPECT_NE(l.find("size=800*600 vb=1500 fps=29.97 aspect=keep ab=128 ar=48000 ac=2"),
                std::string::npos);
    }
  EXPECT_TRUE(found);

  const TResult json = RunCli({"presets", "--json"});
  ASSERT_EQ(json.Code, cli::kExitOk);
  const qvtest::TJson all = qvtest::ParseJson(json.Out);
  ASSERT_EQ(all.A.size(), 146u);
  std::map<int, const qvtest::TJson *> byId;
  for (const qvtest::TJson &p : all.A) byId[static_cast<int>(p["id"].N)] = &p;
  const qvtest::TJson &mp3 = *byId.at(200);
  EXPECT_EQ(mp3["extension"].S, ".mp3");
  EXPECT_EQ(mp3["video_codec"].S, "-");
  EXPECT_EQ(mp3["audio_codec"].S, "libmp3lame");
  EXPECT_FALSE(mp3["options"].Has("size"));  // audio only: no video choices
  EXPECT_EQ(mp3["options"]["ab"].S, "128");
  EXPECT_EQ(byId.at(100)->operator[]("allowed")["vb"].A.size(), 8u);

  EXPECT_EQ(RunCli({"presets", "--text"}).Code, cli::kExitUsage);
}

// The window's naming: "(New_n)" for existing names unless overwriting, never a source,
// and two sources of one name never share an output.
TEST(PresetConvertNaming, NewNamesOverwriteAndSourceProtection) {
  ASSERT_TRUE(FFLoader().Load(kQueueLibraries));
  TTempDir dir;
  const std::string out = dir / "out", src = dir / "src";
  ::mkdir(out.c_str(), 0755);
  ::mkdir(src.c_str(), 0755);
  ::mkdir((src + "/a").c_str(), 0755);
  ::mkdir((src + "/b").c_str(), 0755);
  const auto params = Clip("avi", "avi", 0.4);
  qvtest::WriteClip(params, src + "/a/clip.avi");
  qvtest::WriteClip(params, src + "/b/clip.avi");
  qvtest::WriteClip(Clip("mp4", "mp4", 0.4), out + "/own.mp4");
  WriteFileBytes(out + "/clip.mp4", "existing");
  WriteFileBytes(out + "/clip(New_1).mp4", "existing too");
  const std::string ownBytes = ReadFileBytes(out + "/own.mp4");

  struct TCase {
    std::vector<std::string> Sources;
    bool Overwrite;
    std::vector<std::string> Outputs;
  };
  const std::vector<TCase> cases = {
      {{src + "/a/clip.avi"}, false, {out + "/clip(New_2).mp4"}},
      {{src + "/a/clip.avi"}, true, {out + "/clip.mp4"}},
      // The source itself is never overwritten.
      {{out + "/own.mp4"}, true, {out + "/own(New_1).mp4"}},
      // A group: the second source of the same name gets the next free number.
      {{src + "/a/clip.avi", src + "/b/clip.avi"},
       false,
       {out + "/clip(New_2).mp4", out + "/clip(New_3).mp4"}},
      {{src + "/a/clip.avi", src + "/b/clip.avi"},
       true,
       {out + "/clip.mp4", out + "/clip(New_2).mp4"}},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Sources.back() + (c.Overwrite ? " overwrite" : ""));
    WriteFileBytes(out + "/clip.mp4", "existing");
    cli::TPresetConvertArgs args;
    std::string error;
    std::vector<std::string> words = {"-p", "2803"};
    words.insert(words.end(), c.Sources.begin(), c.Sources.end());
    ASSERT_TRUE(cli::ParsePresetConvertArgs(words, args, error)) << error;
    TConversionProfile profile;
    ASSERT_TRUE(cli::ConfigureBatchProfile(args, c.Sources, out, profile, error)) << error;
    std::vector<std::string> outputs;
    {
      TFFmpegQueue queue;
      for (const cli::TBatchItem &item :
           cli::QueueBatch(queue, profile, c.Sources, out, c.Overwrite)) {
        EXPECT_EQ(item.State, cli::TItemState::Queued) << item.Error;
        outputs.push_back(item.Output);
      }
    }  // the unstarted tasks leave no empty file
    EXPECT_EQ(outputs, c.Outputs);
    for (const std::string &o : c.Outputs) {
      if (o.find("(New_") != std::string::npos && o.find("New_1") == std::string::npos) {
        EXPECT_FALSE(Exists(o));
      }
    }
  }
  EXPECT_EQ(ReadFileBytes(out + "/own.mp4"), ownBytes);
  EXPECT_EQ(ReadFileBytes(out + "/clip(New_1).mp4"), "existing too");
}

// A folder of mixed clips, one of them unreadable: one valid output per readable clip,
// the unreadable one skipped with its reason, exit status 1, and JSON lines that parse
// and end every file exactly once.
TEST(PresetConvertRun, FolderOfMixedClipsWithOneUnreadable) {
  ASSERT_TRUE(FFLoader().Load(kQueueLibraries));
  TTempDir dir;
  const std::string in = dir / "in", out = dir / "out";
  ::mkdir(in.c_str(), 0755);
  ::mkdir((in + "/sub").c_str(), 0755);  // folders inside are not searched
  qvtest::WriteClip(Clip("mp4", "mp4", 1.0), in + "/one.mp4");
  qvtest::WriteClip(Clip("avi", "avi", 1.0), in + "/two.avi");
  auto audioOnly = Clip("wav", "wav", 1.0);
  audioOnly.VideoCodec.clear();
  audioOnly.Audio = {qvtest::Track("pcm_s16le", 22050, 1)};
  qvtest::WriteClip(audioOnly, in + "/three.wav");
  WriteFileBytes(in + "/notes.txt", "not a media file\n");
  qvtest::WriteClip(Clip("mp4", "mp4", 0.4), in + "/sub/deeper.mp4");

  const TResult r = RunCli({"convert", "-p", "2803", "-o", out, "--jobs", "2", "--json", in});
  EXPECT_EQ(r.Code, cli::kExitFailed) << r.Err;
  EXPECT_NE(r.Err.find(in + "/notes.txt: 无法识别的音频或视频文件！"), std::string::npos) << r.Err;
  EXPECT_EQ(Lines(r.Err).size(), 1u) << r.Err;

  std::map<std::string, int> ends;
  std::map<std::string, std::string> states, outputs;
  int summaries = 0;
  for (const std::string &line : Lines(r.Out)) {
    SCOPED_TRACE(line);
    const qvtest::TJson j = qvtest::ParseJson(line);
    const std::string event = j["event"].S;
    if (event == "progress") {
      EXPECT_EQ(j["state"].S, "running");
      EXPECT_EQ(ends[j["file"].S], 0) << "progress after the end";
    } else if (event == "end") {
      ++ends[j["file"].S];
      states[j["file"].S] = j["state"].S;
      outputs[j["file"].S] = j["output"].S;
    } else {
      ASSERT_EQ(event, "summary");
      ++summaries;
      EXPECT_EQ(j["files"].N, 4);
      EXPECT_EQ(j["finished"].N, 3);
      EXPECT_EQ(j["skipped"].N, 1);
    }
  }
  EXPECT_EQ(summaries, 1);
  EXPECT_EQ(ends, (std::map<std::string, int>{{in + "/one.mp4", 1},
                                              {in + "/two.avi", 1},
                                              {in + "/three.wav", 1},
                                              {in + "/notes.txt", 1}}));
  EXPECT_EQ(states[in + "/notes.txt"], "skipped");
  for (const auto &[file, hasVideo] :
       {std::pair{"one.mp4", true}, std::pair{"two.avi", true}, std::pair{"three.wav", false}}) {
    const std::string source = in + "/" + file;
    SCOPED_TRACE(source);
    EXPECT_EQ(states[source], "finished");
    EXPECT_EQ(outputs[source], out + "/" + StripFileExt(file) + ".mp4");
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(outputs[source])) << probe.LastErrMsg();
    EXPECT_EQ(probe.FirstAudioStreamInfo().SampleRate, 48000);
    EXPECT_GT(probe.FileStreamInfo().Duration, 700000);
    if (hasVideo) {
      const TVideoStreamInfo v = probe.FirstVideoStreamInfo();
      EXPECT_EQ(v.CodecName.rfind("h264", 0), 0u) << v.CodecName;
      EXPECT_EQ(v.Width, 800);
      EXPECT_EQ(v.Height, 600);
    }
  }
  EXPECT_FALSE(Exists(out + "/notes.mp4"));
  EXPECT_FALSE(Exists(out + "/deeper.mp4"));
}

// One file in text mode: exit status 0, a finished line and the summary; a file that
// does not exist fails the batch without stopping the others.
TEST(PresetConvertRun, TextReportAndExitStatuses) {
  ASSERT_TRUE(FFLoader().Load(kQueueLibraries));
  TTempDir dir;
  const std::string clip = dir / "song.wav", out = dir / "out";
  auto params = Clip("wav", "wav", 0.5);
  params.VideoCodec.clear();
  params.Audio = {qvtest::Track("pcm_s16le", 22050, 1)};
  qvtest::WriteClip(params, clip);

  TResult r = RunCli({"convert", "-p", "200", "-o", out, "--ar", "22050", "--ac", "1", clip});
  EXPECT_EQ(r.Code, cli::kExitOk) << r.Err;
  EXPECT_EQ(r.Err, "");
  EXPECT_NE(r.Out.find("finished: " + clip + " -> " + out + "/song.mp3"), std::string::npos)
      << r.Out;
  EXPECT_NE(r.Out.find("1 file(s): 1 finished in "), std::string::npos) << r.Out;
  TAVProbe probe;
  ASSERT_TRUE(probe.LoadFile(out + "/song.mp3"));
  EXPECT_EQ(probe.FirstAudioStreamInfo().SampleRate, 22050);
  EXPECT_EQ(probe.FirstAudioStreamInfo().Channels, 1);

  r = RunCli({"convert", "-p", "200", "-o", out, dir / "missing.wav", clip});
  EXPECT_EQ(r.Code, cli::kExitFailed);
  EXPECT_EQ(r.Err, "quorvel-cli: " + (dir / "missing.wav") + ": No such file or directory\n");
  EXPECT_TRUE(Exists(out + "/song(New_1).mp3"));  // the other file still converted
}

#ifdef QUORVEL_CLI_PATH
// Ctrl+C stops the running conversion cleanly: exit status 130, every file ended exactly
// once, the running one's output closed (it opens), the unstarted one leaves no file.
TEST(PresetConvertRun, InterruptStopsTheBatchCleanly) {
  ASSERT_TRUE(FFLoader().Load(kQueueLibraries));
  TTempDir dir;
  const std::string in = dir / "in", out = dir / "out";
  ::mkdir(in.c_str(), 0755);
  qvtest::WriteClip(Clip("mp4", "mp4", 30.0), in + "/long1.mp4");
  qvtest::WriteClip(Clip("mp4", "mp4", 30.0), in + "/long2.mp4");

  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  std::vector<std::string> words = {QUORVEL_CLI_PATH, "convert", "-p",     "2803", "-o", out,
                                    "--jobs",         "1",       "--json", in};
  std::vector<char *> argv;
  for (std::string &w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  ASSERT_EQ(posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);

  FILE *from = ::fdopen(pipeFds[0], "r");
  std::vector<std::string> lines;
  char buf[4096];
  bool signalled = false;
  while (std::fgets(buf, sizeof buf, from)) {
    lines.emplace_back(buf);
    if (!signalled && lines.back().find("\"event\":\"progress\"") != std::string::npos) {
      ::kill(child, SIGINT);
      signalled = true;
    }
  }
  std::fclose(from);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(signalled);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);

  std::map<std::string, std::string> states;
  for (const std::string &line : lines) {
    const qvtest::TJson j = qvtest::ParseJson(line);
    if (j["event"].S != "end") continue;
    EXPECT_EQ(states.count(j["file"].S), 0u) << "ended twice: " << line;
    states[j["file"].S] = j["state"].S;
  }
  ASSERT_EQ(states.size(), 2u);
  int stopped = 0;
  for (const auto &[source, state] : states) {
    if (state != "stopped") continue;
    ++stopped;
    const std::string output = out + "/" + ExtractFileName(StripFileExt(source)) + ".mp4";
    if (Exists(output)) {
      EXPECT_GT(FileSize(output), 0);
      TAVProbe probe;
      EXPECT_TRUE(probe.LoadFile(output)) << probe.LastErrMsg();
    }
  }
  EXPECT_GE(stopped, 1);
  for (const auto &entry : std::filesystem::directory_iterator(out))
    EXPECT_GT(entry.file_size(), 0u) << entry.path() << " left empty";
  EXPECT_TRUE(qvtest::ParseJson(lines.back())["interrupted"].B);
}
#endif

// More files than are set up at once: the list runs in rounds, every file still ends
// once with its own "task" number, and names stay unique across the rounds.
TEST(PresetConvertRun, LongListsRunInRounds) {
  ASSERT_TRUE(FFLoader().Load(kQueueLibraries));
  TTempDir dir;
  const std::string in = dir / "in", out = dir / "out";
  ::mkdir(in.c_str(), 0755);
  ::mkdir(out.c_str(), 0755);
  auto params = Clip("wav", "wav", 0.1);
  params.VideoCodec.clear();
  params.Audio = {qvtest::Track("pcm_s16le", 8000, 1)};
  constexpr int kFiles = 19;
  for (int i = 0; i < kFiles; ++i) qvtest::WriteClip(params, in + "/s" + std::to_string(i) + ".wav");
  WriteFileBytes(out + "/s3.wav", "keep me");

  const TResult r = RunCli({"convert", "-p", "202", "-o", out, "--jobs", "2", "--json", in});
  EXPECT_EQ(r.Code, cli::kExitOk) << r.Err;
  std::map<int, std::string> ends;
  for (const std::string &line : Lines(r.Out)) {
    const qvtest::TJson j = qvtest::ParseJson(line);
    if (j["event"].S != "end") continue;
    EXPECT_EQ(j["state"].S, "finished") << line;
    EXPECT_TRUE(ends.emplace(static_cast<int>(j["task"].N), j["output"].S).second) << line;
  }
  ASSERT_EQ(ends.size(), static_cast<std::size_t>(kFiles));
  EXPECT_EQ(ends.begin()->first, 0);
  EXPECT_EQ(ends.rbegin()->first, kFiles - 1);
  EXPECT_EQ(ReadFileBytes(out + "/s3.wav"), "keep me");
  EXPECT_TRUE(Exists(out + "/s3(New_1).wav"));
}
