#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "ConvertCommand.h"
#include "FFmpeg/FFmpeg.h"
#include "FFmpegLoader/FFmpegLoader.h"
#include "MediaFixtures.h"

namespace {

std::string Out(const std::string &AName) {
  std::string p = qvtest::FixtureDir() + "/" + AName;
  std::remove(p.c_str());
  return p;
}

bool Exists(const std::string &APath) {
  struct stat sb {};
  return ::stat(APath.c_str(), &sb) == 0;
}

}  // namespace

TEST(ConvertCommand, ArgumentsFollowTheEngineOrder) {
  ASSERT_TRUE(FFLoader().Load(kQueueLibraries));
  const std::string in = qvtest::Fixture(qvtest::TFixture::Mp4);
  struct TCase {
    std::vector<std::string> Args;
    TConvertExit Exit;
    std::string Error;
  };
  const std::vector<TCase> cases = {
      {{"-ss", "1", "-i", in, "-vcodec", "copy", "-an", Out("ok.mkv")}, ceFinished, ""},
      {{"-i", in, "-s", "abc", Out("bad.mkv")}, ceUsage, "Incorrect frame size"},
      {{"-i"}, ceUsage, "-i needs a file name"},
      {{"-i", in, "-vcodec"}, ceUsage, "-vcodec needs a value"},
      {{"-i", in}, ceUsage, "At least one output file must be specified"},
      {{Out("x.mkv")}, ceUsage, "At least one input file must be specified"},
      {{"-i", "/nonexistent-folder/a.mp4", Out("y.mkv")},
       ceFailed,
       "/nonexistent-folder/a.mp4: No such file or directory"},
  };
  for (const TCase &c : cases) {
    TCustomFFmpeg engine(20);
    std::string error;
    EXPECT_EQ(SetUpConvertTask(engine, c.Args, error), c.Exit) << c.Args.size();
    EXPECT_EQ(error, c.Error);
  }
  TCustomFFmpeg engine(20);
  std::string error;
  ASSERT_EQ(SetUpConvertTask(engine, {"-i", in, "-vn", "-acodec", "copy", Out("audio.mkv")}, error),
            ceFinished);
  EXPECT_EQ(engine.nb_output_files(), 1);
  ASSERT_EQ(engine.Foutput_files[0]->ctx->nb_streams,
            1u);  // "-vn" applied to the output it preceded
  EXPECT_EQ(engine.Foutput_files[0]->ctx->streams[0]->codecpar->codec_type, AVMEDIA_TYPE_AUDIO);
}

TEST(ConvertCommand, ProgressLineShowsTimeSizeAndShare) {
  EXPECT_EQ(ProgressLine(1500000, 6000000, 2048, 128.0f),
            "time=00:00:01.500 / 00:00:06.000 size=2.00 KB bitrate=128.0kbits/s  25.0%");
  EXPECT_EQ(ProgressLine(1500000, -1, 10, 0.0f),
            "time=00:00:01.500 size=10 Byte bitrate=0.0kbits/s");
}

TEST(ConvertCommand, ExitCodesOfFinishedFailedAndUsage) {
  const std::string in = qvtest::Fixture(qvtest::TFixture::Mp4);
  const std::string ok = Out("cli_ok.mkv");
  EXPECT_EQ(RunConvertCommand({"-i", in, "-vcodec", "copy", "-acodec", "copy", ok}), 0);
  EXPECT_TRUE(Exists(ok));
  EXPECT_EQ(RunConvertCommand({}), 2);
  EXPECT_EQ(RunConvertCommand({"-i", in, "-threads", "2", Out("u.mkv")}), 2);
  // A run that fails before writing anything leaves no file behind.
  const std::string failed = Out("cli_failed.mkv");
  EXPECT_EQ(RunConvertCommand({"-i", in, "-map", "0:7", "-map", "0:0", "-vcodec", "copy", "-acodec",
                               "copy", failed}),
            1);
  EXPECT_FALSE(Exists(failed));
}

TEST(ConvertCommand, InterruptStopsCleanlyWithAValidTrailer) {
  ASSERT_TRUE(FFLoader().Load(kQueueLibraries));
  qvtest::TClipParams params;
  params.DurationSec = 20;
  params.Width = 64;
  params.Height = 48;
  const std::string in = qvtest::MakeClip(params);
  const std::string out = Out("cli_interrupted.mp4");
  std::thread killer([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    ::kill(::getpid(), SIGINT);
  });
  const int code = RunConvertCommand({"-re", "-i", in, "-vcodec", "copy", "-acodec", "copy", out});
  killer.join();
  EXPECT_EQ(code, 1);
  // An MP4 opens only when its trailer (the index) was written.
  AVFormatContext *ic = nullptr;
  ASSERT_EQ(ff::format.avformat_open_input(&ic, out.c_str(), nullptr, nullptr), 0);
  ASSERT_EQ(ff::format.avformat_find_stream_info(ic, nullptr), 0);
  EXPECT_GT(ic->duration, 0);
  EXPECT_LT(ic->duration, 10 * AV_TIME_BASE);
  ff::format.avformat_close_input(&ic);
}
