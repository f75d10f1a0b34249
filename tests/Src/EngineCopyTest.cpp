// End-to-end stream copies on generated files, checked by reopening the outputs.
#include <sys/stat.h>

#include <cmath>

#include "EngineTestSupport.h"

using enginetest::Summarize;
using enginetest::TFileSummary;

namespace {

class EngineCopy : public enginetest::EngineTest {
 protected:
  // Runs one copy task in the calling thread: input options, input, output options, output.
  void Convert(const std::vector<std::pair<std::string, std::string>> &AInOpts,
               const std::vector<std::string> &AInputs,
               const std::vector<std::pair<std::string, std::string>> &AOutOpts,
               const std::string &AOutput, bool AJoin = false) {
    TCustomFFmpeg &e = *FEngine;
    for (const auto &[n, v] : AInOpts) e.SetOption(n, v);
    for (const std::string &in : AInputs) ASSERT_TRUE(e.OpenInputFile(in)) << e.LastErrMsg();
    for (const auto &[n, v] : AOutOpts) e.SetOption(n, v);
    ASSERT_GE(e.OpenOutputFile(AOutput, AJoin), 1) << e.LastErrMsg();
    int terminations = 0;
    e.OnTerminate = [&terminations](TCustomFFmpeg *) { ++terminations; };
    EXPECT_EQ(e.StartConvert(false), nullptr);
    EXPECT_EQ(terminations, 1);
    ASSERT_FALSE(e.FatalException()) << e.FatalMessage();
    EXPECT_TRUE(e.Finished());
  }
  static std::vector<std::pair<std::string, std::string>> Copy() {
    return {{"vcodec", "copy"}, {"acodec", "copy"}};
  }
};

struct TContainerCase {
  std::string Input;
  std::string Output, Format;
};

// MP4 takes AAC but not FLAC (the Mkv fixture's audio) without experimental mode.
std::string MkvWithAac() {
  qvtest::TClipParams params;
  params.Container = "matroska";
  params.Extension = "mkv";
  return qvtest::MakeClip(params);
}

}  // namespace

TEST_F(EngineCopy, CopiesBetweenContainersKeepEveryStreamAndTheDuration) {
  const std::vector<TContainerCase> cases = {
      {qvtest::Fixture(qvtest::TFixture::Mp4), "copy_mp4.mkv", "matroska,webm"},
      {MkvWithAac(), "copy_mkv.mp4", "mov,mp4,m4a,3gp,3g2,mj2"},
      {qvtest::Fixture(qvtest::TFixture::Avi), "copy_avi.mkv", "matroska,webm"},
  };
  for (const TContainerCase &c : cases) {
    SCOPED_TRACE(c.Output);
    FEngine = std::make_unique<TCustomFFmpeg>(20);
    const std::string &in = c.Input;
    const TFileSummary src = Summarize(in);
    const std::string out = OutPath(c.Output);
    Convert({}, {in}, Copy(), out);
    const TFileSummary dst = Summarize(out);
    ASSERT_TRUE(dst.Opened);
    EXPECT_EQ(dst.Format, c.Format);
    ASSERT_EQ(dst.Streams.size(), src.Streams.size());
    for (size_t i = 0; i < src.Streams.size(); ++i) {
      EXPECT_EQ(dst.Streams[i].Codec, src.Streams[i].Codec);
      EXPECT_EQ(dst.Streams[i].Packets, src.Streams[i].Packets);
      EXPECT_EQ(dst.Streams[i].Width, src.Streams[i].Width);
      EXPECT_EQ(dst.Streams[i].SampleRate, src.Streams[i].SampleRate);
    }
    EXPECT_NEAR(dst.Duration, src.Duration, 0.05);
    const std::string probed = enginetest::ProbeTool(out, "format=duration");
    if (!probed.empty()) {
      EXPECT_NEAR(std::stod(probed), src.Duration, 0.05);
    }
  }
}

TEST_F(EngineCopy, H264IntoTransportStreamThroughTheBitstreamFilter) {
  if (!qvtest::HasEncoder("libx264")) GTEST_SKIP() << "no libx264 encoder";
  qvtest::TClipParams params;
  params.VideoCodec = "libx264";
  const std::string in = qvtest::MakeClip(params);
  const std::string out = OutPath("h264.ts");
  auto opts = Copy();
  opts.emplace_back("vbsf", "h264_mp4toannexb");
  Convert({}, {in}, opts, out);
  const TFileSummary dst = Summarize(out);
  ASSERT_TRUE(dst.Opened);
  EXPECT_EQ(dst.Format, "mpegts");
  ASSERT_EQ(dst.Streams.size(), 2u);
  EXPECT_EQ(dst.Streams[0].Codec, AV_CODEC_ID_H264);
  EXPECT_EQ(dst.Streams[0].Width, 160);
  EXPECT_EQ(dst.Streams[0].Packets, Summarize(in).Streams[0].Packets);
  const std::string probed = enginetest::ProbeTool(out, "stream=codec_name");
  if (!probed.empty()) {
    EXPECT_EQ(probed.substr(0, 9), "h264\naac\n");
  }
}

TEST_F(EngineCopy, StartAndDurationCutAtTheRightTimes) {
  qvtest::TClipParams params;
  params.DurationSec = 4.0;
  params.Audio.clear();
  const std::string in = qvtest::MakeClip(params);
  // "ss" on the input seeks, "t" on the output limits; the output starts at zero.
  const std::string out = OutPath("cut.mkv");
  Convert({{"ss", "1"}}, {in}, {{"vcodec", "copy"}, {"t", "2"}}, out);
  const TFileSummary dst = Summarize(out);
  ASSERT_EQ(dst.Streams.size(), 1u);
  EXPECT_NEAR(dst.Streams[0].FirstPts, 0.0, 0.05);
  EXPECT_NEAR(dst.Streams[0].LastEnd, 2.0, 0.05);
  EXPECT_NEAR(dst.Streams[0].Packets, 50, 1);
}

TEST_F(EngineCopy, OutputStartTimeDropsEarlierPacketsAndShiftsTheRest) {
  qvtest::TClipParams params;
  params.DurationSec = 3.0;
  params.Audio.clear();
  const std::string in = qvtest::MakeClip(params);
  const std::string out = OutPath("ss_out.mkv");
  Convert({}, {in}, {{"vcodec", "copy"}, {"ss", "1"}}, out);
  const TFileSummary dst = Summarize(out);
  ASSERT_EQ(dst.Streams.size(), 1u);
  EXPECT_NEAR(dst.Streams[0].LastEnd, 2.0, 0.05);
  EXPECT_LE(dst.Streams[0].Packets, 50);
}

TEST_F(EngineCopy, ShortestEndsWithTheShortestInput) {
  qvtest::TClipParams video;
  video.DurationSec = 4.0;
  video.Audio.clear();
  qvtest::TClipParams audio;
  audio.Container = "matroska";
  audio.Extension = "mka";
  audio.VideoCodec.clear();
  audio.DurationSec = 1.0;
  const std::string out = OutPath("shortest.mkv");
  Convert({}, {qvtest::MakeClip(video), qvtest::MakeClip(audio)},
          {{"vcodec", "copy"}, {"acodec", "copy"}, {"shortest", ""}}, out);
  const TFileSummary dst = Summarize(out);
  ASSERT_EQ(dst.Streams.size(), 2u);
  EXPECT_LT(dst.Streams[0].LastEnd, 2.0);
  EXPECT_NEAR(dst.Streams[1].LastEnd, 1.0, 0.1);
}

TEST_F(EngineCopy, FileSizeLimitStopsPastTheLimitWithAValidTrailer) {
  qvtest::TClipParams params;
  params.DurationSec = 6.0;
  const std::string in = qvtest::MakeClip(params);
  const std::string out = OutPath("limited.mp4");
  Convert({}, {in}, {{"vcodec", "copy"}, {"acodec", "copy"}, {"fs", "60000"}}, out);
  struct stat sb {};
  ASSERT_EQ(::stat(out.c_str(), &sb), 0);
  EXPECT_GT(sb.st_size, 60000);
  const TFileSummary dst = Summarize(out);
  ASSERT_TRUE(dst.Opened);  // an MP4 without its trailer cannot be opened
  EXPECT_GT(dst.Duration, 0.5);
  EXPECT_LT(dst.Duration, 5.0);
}

TEST_F(EngineCopy, JoinModeContinuesWhereThePreviousInputEnded) {
  qvtest::TClipParams a;
  a.DurationSec = 2.0;
  qvtest::TClipParams b = a;
  b.DurationSec = 1.0;
  const std::string out = OutPath("joined.mkv");
  Convert({}, {qvtest::MakeClip(a), qvtest::MakeClip(b)}, Copy(), out, true);
  EXPECT_EQ(FEngine->nb_output_files(), 0);  // released after the run
  const TFileSummary dst = Summarize(out);
  ASSERT_EQ(dst.Streams.size(), 2u);
  EXPECT_EQ(dst.Streams[0].Packets, 75);
  EXPECT_NEAR(dst.Streams[0].LastEnd, 3.0, 0.05);
  EXPECT_NEAR(dst.Duration, 3.0, 0.1);
}
