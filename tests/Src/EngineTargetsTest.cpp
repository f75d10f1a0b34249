// Targets and presets: the options they expand into, norm detection and preset errors.
#include <fstream>

#include "EngineTestSupport.h"

namespace {

class EngineTargets : public enginetest::EngineTest {
 protected:
  static std::string ErrorOf(const std::function<void()> &AStep) {
    try {
      AStep();
    } catch (const FFmpegException &e) {
      return e.what();
    }
    return "(no error)";
  }
  int Gop() const { return FEngine->FOptions.avcodec_opts[AVMEDIA_TYPE_VIDEO]->gop_size; }
};

struct TTargetCase {
  std::string Value;
  int Width, Height;
  AVRational Rate;
  int Gop;
  std::string VideoCodec, AudioCodec, Format;
  int SampleRate;
};

}  // namespace

TEST_F(EngineTargets, TargetsSetSizeRateGopCodecsAndFormatByNorm) {
  const std::vector<TTargetCase> cases = {
      {"pal-dvd", 720, 576, {25, 1}, 15, "mpeg2video", "ac3", "dvd", 48000},
      {"ntsc-vcd", 352, 240, {30000, 1001}, 18, "mpeg1video", "mp2", "vcd", 44100},
      {"film-svcd", 480, 480, {24000, 1001}, 18, "mpeg2video", "mp2", "svcd", 44100},
      {" pal-vcd ", 352, 288, {25, 1}, 15, "mpeg1video", "mp2", "vcd", 44100},
  };
  for (const TTargetCase &c : cases) {
    SCOPED_TRACE(c.Value);
    FEngine = std::make_unique<TCustomFFmpeg>(20);
    FEngine->SetOption("target", c.Value);
    EXPECT_EQ(FEngine->Fframe_width, c.Width);
    EXPECT_EQ(FEngine->Fframe_height, c.Height);
    EXPECT_EQ(FEngine->Fframe_rate.num, c.Rate.num);
    EXPECT_EQ(FEngine->Fframe_rate.den, c.Rate.den);
    EXPECT_EQ(Gop(), c.Gop);
    EXPECT_EQ(FEngine->Fvideo_codec_name, c.VideoCodec);
    EXPECT_EQ(FEngine->Faudio_codec_name, c.AudioCodec);
    EXPECT_EQ(FEngine->Flast_asked_format, c.Format);
    EXPECT_EQ(FEngine->Faudio_sample_rate, c.SampleRate);
  }
  FEngine = std::make_unique<TCustomFFmpeg>(20);
  FEngine->SetOption("target", "pal-dvd");
  EXPECT_FLOAT_EQ(FEngine->Fframe_aspect_ratio, 16.0f / 9.0f);
  EXPECT_TRUE(Logged("Assuming 16:9 for aspect ratio"));
  FEngine->SetOption("target", "ntsc-dv50");
  EXPECT_EQ(FEngine->Fframe_pix_fmt, AV_PIX_FMT_YUV422P);
  EXPECT_EQ(ErrorOf([this] { FEngine->SetOption("target", "pal-bluray"); }), "Unknown target type");
}

TEST_F(EngineTargets, AutomaticNormFollowsTheInputRate) {
  EXPECT_EQ(ErrorOf([this] { FEngine->SetOption("target", "dvd"); }), "frame_rate is invalid.");

  qvtest::TClipParams params;
  params.FrameRateNum = 30000;
  params.FrameRateDen = 1001;
  params.Audio.clear();
  ASSERT_TRUE(FEngine->OpenInputFile(qvtest::MakeClip(params))) << FEngine->LastErrMsg();
  FEngine->SetOption("target", "vcd");
  EXPECT_EQ(FEngine->Fframe_height, 240);
  EXPECT_TRUE(Logged("Assuming NTSC for target."));

  // Neither the rate nor the inputs decide: the default norm does.
  TCustomFFmpeg other(20);
  other.SetOption("r", "10");
  other.ApplyTarget("vcd", "", "film");
  EXPECT_EQ(other.Fframe_rate.num, 24000);
  other.ApplyTarget("vcd", "auto", "ntsc");
  EXPECT_EQ(other.Fframe_height, 240);
}

TEST_F(EngineTargets, BuiltInPresetsAreFoundWithoutRegardToCase) {
  // The preset every H.264 conversion uses applies cleanly, in this generation's terms.
  FEngine->SetOption("vcodec", "libx264");
  FEngine->SetOption("vpre", "LIBX264-DEFAULT");
  AVCodecContext *v = FEngine->FOptions.avcodec_opts[AVMEDIA_TYPE_VIDEO];
  EXPECT_EQ(v->gop_size, 250);
  EXPECT_EQ(v->max_b_frames, 3);
  EXPECT_EQ(v->refs, 3);
  EXPECT_TRUE(v->flags & AV_CODEC_FLAG_LOOP_FILTER);
  if (ff::codec.avcodec_find_encoder_by_name("libx264")) {
    bool partitions = false;
    for (const auto &[name, value] : FEngine->FPrivateOptions[AVMEDIA_TYPE_VIDEO])
      if (name == "partitions") partitions = value == "i8x8,i4x4,p8x8,b8x8";
    EXPECT_TRUE(partitions);
    // The encoder opens with every setting of the preset and takes all of its own options.
    const AVCodec *x264 = ff::codec.avcodec_find_encoder_by_name("libx264");
    AVCodecContext *enc = ff::codec.avcodec_alloc_context3(x264);
    FEngine->FOptions.Apply(enc, v, AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
    EXPECT_EQ(enc->gop_size, 250);
    enc->width = 64;
    enc->height = 48;
    enc->pix_fmt = AV_PIX_FMT_YUV420P;
    enc->time_base = AVRational{1, 25};
    AVDictionary *opts = nullptr;
    for (const auto &[name, value] : FEngine->FPrivateOptions[AVMEDIA_TYPE_VIDEO])
      ff::util.av_dict_set(&opts, name.c_str(), value.c_str(), 0);
    EXPECT_EQ(ff::codec.avcodec_open2(enc, x264, &opts), 0);
    EXPECT_EQ(ff::util.av_dict_count(opts), 0);
    ff::util.av_dict_free(&opts);
    ff::codec.avcodec_free_context(&enc);
    // "medium" after the codec name resolves to libx264-medium, whose old option names
    // this generation no longer knows.
    EXPECT_EQ(ErrorOf([this] { FEngine->SetOption("vpre", "medium"); }),
              "libx264-medium: Invalid option or argument: \"directpred=1\", parsed as "
              "\"directpred\" = \"1\"");
  }
}

TEST_F(EngineTargets, PresetFilesAndTheirErrors) {
  EXPECT_EQ(ErrorOf([this] { FEngine->SetOption("fpre", "/nonexistent/x.ffpreset"); }),
            "Preset \"/nonexistent/x.ffpreset\" not found");
  EXPECT_EQ(ErrorOf([this] { FEngine->SetOption("vpre", "no-such-preset"); }),
            "Preset \"no-such-preset\" not found");

  const std::string good = qvtest::FixtureDir() + "/good.ffpreset";
  std::ofstream(good) << "\r\n  g=33 \r\nvcodec=mpeg4\r\n\r\nbf=2\n";
  FEngine->SetOption("fpre", good);
  EXPECT_EQ(Gop(), 33);
  EXPECT_EQ(FEngine->Fvideo_codec_name, "mpeg4");
  EXPECT_EQ(FEngine->FOptions.avcodec_opts[AVMEDIA_TYPE_VIDEO]->max_b_frames, 2);

  const std::string bad = qvtest::FixtureDir() + "/bad.ffpreset";
  std::ofstream(bad) << "g=20\nqmin\n";
  EXPECT_EQ(ErrorOf([this, &bad] { FEngine->SetOption("fpre", bad); }),
            bad + ": Invalid syntax: \"qmin\"");
  EXPECT_EQ(Gop(), 20);  // lines before the error stay applied

  const std::string unknown = qvtest::FixtureDir() + "/unknown.ffpreset";
  std::ofstream(unknown) << "nosuchoption=1\n";
  EXPECT_EQ(
      ErrorOf([this, &unknown] { FEngine->SetOption("fpre", unknown); }),
      unknown +
          ": Invalid option or argument: \"nosuchoption=1\", parsed as \"nosuchoption\" = \"1\"");
}
