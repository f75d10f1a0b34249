// Opening inputs and outputs: the write-back of input properties, durations and
// offsets, output format choice, stream types, join set-up and their errors.
#include <cmath>

#include "EngineTestSupport.h"

namespace {

class EngineFiles : public enginetest::EngineTest {
 protected:
  static std::string Clip(double ASeconds, bool AVideo = true, bool AAudio = true) {
    qvtest::TClipParams params;
    params.DurationSec = ASeconds;
    if (!AVideo) {
      params.VideoCodec.clear();
      params.Container = "matroska";
      params.Extension = "mka";
    }
    if (!AAudio) params.Audio.clear();
    return qvtest::MakeClip(params);
  }
};

}  // namespace

TEST_F(EngineFiles, InputPropertiesBecomeTheOutputDefaults) {
  TCustomFFmpeg &e = *FEngine;
  ASSERT_TRUE(e.OpenInputFile(Clip(1.0, false, true)));
  EXPECT_EQ(e.Fframe_rate.num, 0);  // audio only: no picture settings
  EXPECT_EQ(e.Fframe_rate.den, 0);
  EXPECT_EQ(e.Fframe_width, 0);
  EXPECT_EQ(e.Faudio_sample_rate, 44100);
  EXPECT_EQ(e.Faudio_channels, 2);

  ASSERT_TRUE(e.OpenInputFile(Clip(2.0)));
  EXPECT_EQ(e.Fframe_width, 160);
  EXPECT_EQ(e.Fframe_height, 120);
  EXPECT_FLOAT_EQ(e.Fframe_aspect_ratio, 160.0f / 120.0f);
  EXPECT_EQ(e.Fframe_rate.num, 25);
  EXPECT_EQ(e.Fframe_pix_fmt, AV_PIX_FMT_YUV420P);
  EXPECT_EQ(e.nb_input_files(), 2);
  EXPECT_NEAR(e.TotalOutputDuration(), 2000000, 50000);  // the longest input
}

TEST_F(EngineFiles, StartPositionAndOffsetsMakeTheOutputStartAtZero) {
  const std::string ts = qvtest::Fixture(qvtest::TFixture::MpegTs);
  const enginetest::TFileSummary src = enginetest::Summarize(ts);
  AVFormatContext *ic = nullptr;
  ASSERT_EQ(ff::format.avformat_open_input(&ic, ts.c_str(), nullptr, nullptr), 0);
  ASSERT_EQ(ff::format.avformat_find_stream_info(ic, nullptr), 0);
  const int64_t fileStart = ic->start_time;
  ff::format.avformat_close_input(&ic);
  ASSERT_GT(fileStart, 0);

  FEngine->SetOption("ss", "0.5");
  ASSERT_TRUE(FEngine->OpenInputFile(ts));
  EXPECT_EQ(FEngine->Fstart_time, 0);  // consumed by the seek
  EXPECT_EQ(FEngine->Finput_files_ts_offset[0], -(500000 + fileStart));

  TCustomFFmpeg copyTs(20);
  copyTs.SetOption("copyts", "");
  copyTs.SetOption("itsoffset", "2");
  copyTs.SetOption("itsscale", "1:2.5");
  ASSERT_TRUE(copyTs.OpenInputFile(ts));
  EXPECT_EQ(copyTs.Finput_files_ts_offset[0], 2000000);
  EXPECT_EQ(copyTs.Finput_files_ts_scale[0][1], 2.5);
  ASSERT_TRUE(copyTs.OpenInputFile(ts));
  EXPECT_EQ(copyTs.Finput_files_ts_scale[1][1], 0.0);  // the scale was for the first input only
}

TEST_F(EngineFiles, InputErrorsLeaveNothingOpen) {
  {
    TCustomFFmpeg forced(20);
    forced.SetOption("f", "no_such_demuxer");
    try {
      (void)forced.OpenInputFile(Clip(1.0));
      ADD_FAILURE() << "no error";
    } catch (const FFmpegException &x) {
      EXPECT_STREQ(x.what(), "Unknown input format: \"no_such_demuxer\"");
    }
  }
  TCustomFFmpeg &e = *FEngine;
  e.SetOption("programid", "77");
  EXPECT_FALSE(e.OpenInputFile(qvtest::Fixture(qvtest::TFixture::MpegTs)));
  EXPECT_EQ(e.LastErrMsg(), "Specified program id not found");
  EXPECT_EQ(e.Fopt_programid, 77);
  e.SetOption("programid", "0");
  e.SetOption("vcodec", "nosuchdecoder");
  EXPECT_FALSE(e.OpenInputFile(Clip(1.0)));
  EXPECT_EQ(e.LastErrMsg(), "Unknown decoder 'nosuchdecoder'");
  EXPECT_EQ(e.Fvideo_codec_name, "");
  EXPECT_FALSE(e.OpenInputFile(qvtest::Fixture(qvtest::TFixture::Truncated)));
  EXPECT_EQ(e.nb_input_files(), 0);
}

TEST_F(EngineFiles, OutputFormatAndStreamTypes) {
  TCustomFFmpeg &e = *FEngine;
  ASSERT_TRUE(e.OpenInputFile(Clip(1.0)));
  {
    TCustomFFmpeg forced(20);
    ASSERT_TRUE(forced.OpenInputFile(Clip(1.0)));
    forced.SetOption("f", "no_such_muxer");
    EXPECT_EQ(forced.OpenOutputFile(OutPath("a.mkv")), -1);
    EXPECT_EQ(forced.LastErrMsg(),
              "Requested output format 'no_such_muxer' is not a suitable output format");
    EXPECT_EQ(forced.nb_output_files(), 0);
  }
  EXPECT_EQ(e.OpenOutputFile(OutPath("a.unknownext")), -1);
  EXPECT_EQ(e.LastErrMsg(),
            "Unable to find a suitable output format for '" + OutPath("a.unknownext") + "'");
  EXPECT_EQ(e.nb_output_files(), 0);

  // "vn": audio only although the format has a default video codec.
  e.SetOption("vn", "");
  e.SetOption("acodec", "copy");
  ASSERT_EQ(e.OpenOutputFile(OutPath("audio.mp4")), 1) << e.LastErrMsg();
  ASSERT_EQ(e.Foutput_files[0]->ctx->nb_streams, 1u);
  EXPECT_EQ(e.Foutput_files[0]->ctx->streams[0]->codecpar->codec_type, AVMEDIA_TYPE_AUDIO);
  EXPECT_TRUE(e.Foutput_files[0]->streams[0].stream_copy);

  // An audio-only input gives no video stream even to a video format.
  TCustomFFmpeg audioOnly(20);
  ASSERT_TRUE(audioOnly.OpenInputFile(Clip(1.0, false, true)));
  audioOnly.SetOption("acodec", "copy");
  ASSERT_EQ(audioOnly.OpenOutputFile(OutPath("audio2.mp4")), 1);
  EXPECT_EQ(audioOnly.Foutput_files[0]->ctx->nb_streams, 1u);
}

TEST_F(EngineFiles, VideoCopyTakesTheAspectOfTheLastInput) {
  TCustomFFmpeg &e = *FEngine;
  ASSERT_TRUE(e.OpenInputFile(Clip(1.0)));
  e.SetOption("aspect", "16:9");
  e.SetOption("vcodec", "copy");
  e.SetOption("an", "");
  ASSERT_EQ(e.OpenOutputFile(OutPath("aspect.mkv")), 1);
  const AVRational sar = e.Foutput_files[0]->ctx->streams[0]->sample_aspect_ratio;
  EXPECT_NEAR(double(sar.num) / sar.den, (16.0 / 9.0) * 120 / 160, 0.01);
  EXPECT_EQ(e.Fvideo_stream_copy, 0);  // consumed by the stream
}

TEST_F(EngineFiles, JoinSetUpRepeatsTheOutputPerInput) {
  TCustomFFmpeg &e = *FEngine;
  for (double d : {1.0, 2.0, 3.0}) ASSERT_TRUE(e.OpenInputFile(Clip(d)));
  e.SetOption("vcodec", "copy");
  e.SetOption("acodec", "copy");
  EXPECT_EQ(e.OpenOutputFile(OutPath("join.mkv"), true), 3);
  EXPECT_NEAR(e.TotalOutputDuration(), 6000000, 100000);
  EXPECT_EQ(e.OpenOutputFile(OutPath("join2.mkv"), true), -1);
  EXPECT_EQ(e.LastErrMsg(), "Cannot join more than one output file.");
  EXPECT_EQ(e.nb_output_files(), 3);
}

TEST_F(EngineFiles, RunSetUpErrorsEndTheRunWithTheirMessages) {
  struct TCase {
    std::vector<std::pair<std::string, std::string>> Options;
    std::string Message;
  };
  const std::vector<TCase> cases = {
      {{{"vcodec", "copy"}, {"acodec", "copy"}, {"map", "0:0"}},
       "Number of stream maps must match number of output streams"},
      {{{"vcodec", "copy"}, {"acodec", "copy"}, {"map", "0:0"}, {"map", "0:0:3:0"}},
       "Could not find sync stream #3.0"},
      {{{"vcodec", "copy"}, {"acodec", "copy"}, {"map", "0:1"}, {"map", "0:0"}},
       "Codec type mismatch for mapping #0.1 (Audio) -> #0.0 (Video)"},
      {{{"vcodec", "copy"}, {"acodec", "copy"}, {"vol", "512"}},
       "-acodec copy and -vol are incompatible (frames are not decoded)"},
  };
  for (const TCase &c : cases) {
    TCustomFFmpeg e(20);
    ASSERT_TRUE(e.OpenInputFile(Clip(1.0)));
    for (const auto &[n, v] : c.Options) e.SetOption(n, v);
    const std::string out = OutPath("setup_error.mkv");
    ASSERT_EQ(e.OpenOutputFile(out), 1);
    EXPECT_EQ(e.StartConvert(false), nullptr);
    EXPECT_TRUE(e.FatalException());
    EXPECT_EQ(e.FatalMessage(), c.Message);
  }
  // Every type disabled: the output has no stream.
  TCustomFFmpeg e(20);
  ASSERT_TRUE(e.OpenInputFile(Clip(1.0)));
  e.SetOption("vn", "");
  e.SetOption("an", "");
  ASSERT_EQ(e.OpenOutputFile(OutPath("empty.mkv")), 1);
  (void)e.StartConvert(false);
  EXPECT_EQ(e.FatalMessage(), "Output file #0 does not contain any stream");
}

TEST_F(EngineFiles, RawInputsTakeSizeRateAndFormatAsDemuxerOptions) {
  const std::string yuv = qvtest::FixtureDir() + "/raw.yuv";
  {
    std::vector<char> frame(32 * 16 * 3 / 2, 16);
    FILE *f = std::fopen(yuv.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    for (int i = 0; i < 10; ++i) std::fwrite(frame.data(), 1, frame.size(), f);
    std::fclose(f);
  }
  TCustomFFmpeg &e = *FEngine;
  e.SetOption("f", "rawvideo");
  e.SetOption("s", "32x16");
  e.SetOption("pix_fmt", "gray");
  e.SetOption("r", "10");
  ASSERT_TRUE(e.OpenInputFile(yuv)) << e.LastErrMsg();
  EXPECT_EQ(e.Fframe_width, 32);
  EXPECT_EQ(e.Fframe_height, 16);
  EXPECT_EQ(e.Fframe_pix_fmt, AV_PIX_FMT_GRAY8);
  EXPECT_EQ(e.Fframe_rate.num, 10);

  const std::string pcm = qvtest::FixtureDir() + "/raw.pcm";
  {
    std::vector<char> samples(8000 * 2, 0);
    FILE *f = std::fopen(pcm.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(samples.data(), 1, samples.size(), f);
    std::fclose(f);
  }
  TCustomFFmpeg a(20);
  a.SetOption("f", "s16le");
  a.SetOption("ar", "8000");
  a.SetOption("ac", "1");
  ASSERT_TRUE(a.OpenInputFile(pcm)) << a.LastErrMsg();
  EXPECT_EQ(a.Faudio_sample_rate, 8000);
  EXPECT_EQ(a.Faudio_channels, 1);
}

TEST_F(EngineFiles, TimeStampJumpsInTransportStreamsAreCorrected) {
  // Two transport streams back to back: the second one's times jump back to the start.
  const std::string one = qvtest::Fixture(qvtest::TFixture::MpegTs);
  const std::string two = qvtest::FixtureDir() + "/twice.ts";
  {
    FILE *in = std::fopen(one.c_str(), "rb");
    FILE *out = std::fopen(two.c_str(), "wb");
    ASSERT_TRUE(in && out);
    std::vector<char> data(1 << 20);
    const size_t n = std::fread(data.data(), 1, data.size(), in);
    std::fwrite(data.data(), 1, n, out);
    std::fwrite(data.data(), 1, n, out);
    std::fclose(in);
    std::fclose(out);
  }
  const double single = enginetest::Summarize(one).Streams[0].LastEnd -
                        enginetest::Summarize(one).Streams[0].FirstPts;
  TCustomFFmpeg &e = *FEngine;
  e.SetOption("v", "3");
  ASSERT_TRUE(e.OpenInputFile(two));
  e.SetOption("vcodec", "copy");
  e.SetOption("an", "");
  const std::string out = OutPath("jump.mkv");
  ASSERT_EQ(e.OpenOutputFile(out), 1);
  (void)e.StartConvert(false);
  ASSERT_FALSE(e.FatalException()) << e.FatalMessage();
  const enginetest::TFileSummary s = enginetest::Summarize(out);
  ASSERT_EQ(s.Streams.size(), 1u);
  EXPECT_NEAR(s.Streams[0].LastEnd - s.Streams[0].FirstPts, 2 * single, 0.1);
  bool logged = false;
  {
    std::lock_guard<std::mutex> g(FLogLock);
    for (const auto &l : FLog)
      logged = logged || l.second.rfind("timestamp discontinuity ", 0) == 0;
  }
  EXPECT_TRUE(logged);
}

TEST_F(EngineFiles, AnOutputNeverOverwritesAnInput) {
  const std::string in = qvtest::FixtureDir() + "/precious.mkv";
  {
    qvtest::TClipParams params;
    params.Container = "matroska";
    params.Extension = "mkv";
    qvtest::WriteClip(params, in);
  }
  const enginetest::TFileSummary before = enginetest::Summarize(in);
  TCustomFFmpeg &e = *FEngine;
  ASSERT_TRUE(e.OpenInputFile(in));
  e.SetOption("vcodec", "copy");
  e.SetOption("acodec", "copy");
  EXPECT_EQ(e.OpenOutputFile(qvtest::FixtureDir() + "/./precious.mkv"), -1);
  EXPECT_EQ(e.LastErrMsg(),
            qvtest::FixtureDir() + "/./precious.mkv: the output file is input file #0");
  EXPECT_EQ(e.nb_output_files(), 0);
  EXPECT_EQ(enginetest::Summarize(in).Streams[0].Packets, before.Streams[0].Packets);
}
