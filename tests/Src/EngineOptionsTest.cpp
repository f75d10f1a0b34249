#include <utility>

#include "EngineTestSupport.h"

namespace {
class EngineOptions : public enginetest::EngineTest {};
}  // namespace

namespace {

struct TErrorCase {
  std::vector<std::pair<std::string, std::string>> Before;  // applied first, must succeed
  std::string Name, Value, Message;
};

std::string ErrorOf(TCustomFFmpeg &AEngine, const std::string &AName, const std::string &AValue) {
  try {
    AEngine.SetOption(AName, AValue);
  } catch (const FFmpegException &e) {
    return e.what();
  }
  return "(no error)";
}

}  // namespace

TEST_F(EngineOptions, OptionErrorsCarryTheirExactTexts) {
  const std::string m63 = [] {
    std::string s;
    for (int i = 0; i < 63; ++i) s += (i ? "," : "") + std::to_string(i + 1);
    return s;
  }();
  const std::vector<TErrorCase> cases = {
      {{}, "s", "abc", "Incorrect frame size"},
      {{}, "r", "x/y", "Incorrect frame rate"},
      {{}, "aspect", "16:0", "Incorrect aspect ratio specification."},
      {{}, "aspect", "0", "Incorrect aspect ratio specification."},
      {{}, "pass", "3", "pass number can be only 1 or 2"},
      {{}, "qscale", "0", "qscale must be > 0.0 and <= 255"},
      {{}, "qscale", "256", "qscale must be > 0.0 and <= 255"},
      {{}, "vbsf", "no_such_filter=x", "Unknown bitstream filter no_such_filter=x"},
      {{}, "metadata", "title", "Missing ="},
      {{}, "itsscale", "20:1.5", "stream index over MAX_STREAMS(20)"},
      {{}, "intra_matrix", m63, "Syntax error in matrix \"" + m63 + "\" at coeff 62"},
      {{},
       "streamid",
       "3:",
       "Invalid value \"3:\" for option \"streamid\", required syntax is \"index:value\""},
      {{}, "streamid", "20:5", "Invalid stream index 20 for option \"streamid\", must be 0 to 19"},
      {{}, "vtag", "XVI", "video tag parameter must be 4 chars"},
      {{}, "atag", "mp4a5", "audio tag parameter must be 4 chars"},
      {{}, "stag", "", "subtitle tag parameter must be 4 chars"},
      {{}, "threads", "4", "TODO: option - threads"},
      {{}, "padtop", "8", "Please use vfilters=pad"},
      {{}, "t", "1:xx", "Invalid duration specification for t: 1:xx"},
      {{}, "timestamp", "yesterday", "Invalid date specification for timestamp: yesterday"},
      {{}, "pix_fmt", "nosuchfmt", "Unknown pixel format requested: nosuchfmt"},
      {{{"s", "640x480"}},
       "croptop",
       "480",
       "Vertical crop dimensions are outside the range of the original image.\nRemember to crop "
       "first and scale "
       "second."},
      {{{"s", "640x480"}},
       "cropleft",
       "700",
       "Horizontal crop dimensions are outside the range of the original image.\nRemember to crop "
       "first and scale "
       "second."},
      {{}, "newaudio", "", "At least one output file must be specified"},
      {{}, "ar", "44k", "'44k' is not a valid integer value"},
  };
  for (const TErrorCase &c : cases) {
    TCustomFFmpeg engine(20);
    for (const auto &[n, v] : c.Before) engine.SetOption(n, v);
    EXPECT_EQ(ErrorOf(engine, c.Name, c.Value), c.Message) << c.Name << "=" << c.Value;
  }
}

TEST_F(EngineOptions, MapsBeyondTheirTablesAreRefused) {
  TCustomFFmpeg engine(1);
  for (int i = 0; i < 20; ++i) engine.SetOption("map", "0:" + std::to_string(i));
  EXPECT_EQ(ErrorOf(engine, "map", "0:0"), "Too many stream maps (at most 20)");
  engine.SetOption("map_meta_data", "0:0");
  EXPECT_EQ(ErrorOf(engine, "map_meta_data", "0:0"), "Too many metadata maps (at most 1)");
}

TEST_F(EngineOptions, OptionValuesLandInTheirSettings) {
  TCustomFFmpeg &e = *FEngine;
  e.SetOption("vn", "");
  EXPECT_TRUE(e.Fvideo_disable);
  e.SetOption("vn", "0");
  EXPECT_FALSE(e.Fvideo_disable);

  e.SetOption("vcodec", "mpeg4");
  e.SetOption("vcodec", "copy");
  EXPECT_EQ(e.Fvideo_codec_name, "");
  EXPECT_EQ(e.Fvideo_stream_copy, 1);
  e.SetOption("vcodec", "libx264");  // a name after "copy" keeps the copy flag
  EXPECT_EQ(e.Fvideo_codec_name, "libx264");
  EXPECT_EQ(e.Fvideo_stream_copy, 1);

  e.SetOption("s", "640x480");
  e.SetOption("croptop", "0");
  EXPECT_EQ(e.Fframe_height, 480);
  e.SetOption("croptop", "10");
  EXPECT_EQ(e.Fframe_height, 470);
  EXPECT_EQ(e.Fframe_topBand, 10);

  e.SetOption("aspect", "1.7777");
  EXPECT_FLOAT_EQ(e.Fframe_aspect_ratio, 1.7777f);
  e.SetOption("aspect", "4:3");
  EXPECT_FLOAT_EQ(e.Fframe_aspect_ratio, 4.0f / 3.0f);
  e.SetOption("qscale", "255");
  EXPECT_FLOAT_EQ(e.Fvideo_qscale, 255.0f);
  e.SetOption("r", "30000/1001");
  EXPECT_EQ(e.Fframe_rate.num, 30000);
  EXPECT_EQ(e.Fframe_rate.den, 1001);

  e.SetOption("vtag", "XVID");
  EXPECT_EQ(e.Fvideo_codec_tag & 0xff, static_cast<uint32_t>('X'));
  EXPECT_EQ(e.Fvideo_codec_tag >> 24, static_cast<uint32_t>('D'));

  e.SetOption("map", "0:1");
  e.SetOption("map", "0:1:1:0");
  e.SetOption("map", "0x1.010");  // C literals: hexadecimal and octal
  ASSERT_EQ(e.Fstream_maps.size(), 3u);
  EXPECT_EQ(e.Fstream_maps[0].sync_file_index, 0);
  EXPECT_EQ(e.Fstream_maps[0].sync_stream_index, 1);
  EXPECT_EQ(e.Fstream_maps[1].sync_file_index, 1);
  EXPECT_EQ(e.Fstream_maps[1].sync_stream_index, 0);
  EXPECT_EQ(e.Fstream_maps[2].file_index, 1);
  EXPECT_EQ(e.Fstream_maps[2].stream_index, 8);

  std::string m;
  for (int i = 0; i < 64; ++i) m += (i ? "," : "") + std::to_string(100 + i);
  e.SetOption("intra_matrix", m);
  ASSERT_EQ(e.Fintra_matrix.size(), 64u);
  EXPECT_EQ(e.Fintra_matrix[0], 100);
  EXPECT_EQ(e.Fintra_matrix[63], 163);

  e.SetOption("t", "00:01:02.5");
  EXPECT_EQ(e.Frecording_time, 62500000);
  EXPECT_EQ(e.TotalOutputDuration(), 62500000);
  e.SetOption("ss", "10");
  EXPECT_EQ(e.Fstart_time, 10000000);
  e.SetOption("metadata", "title=a=b");
  ASSERT_EQ(e.Fmetadata.size(), 1u);
  EXPECT_EQ(e.Fmetadata[0].first, "title");
  EXPECT_EQ(e.Fmetadata[0].second, "a=b");
  e.SetOption("streamid", "2:301");
  EXPECT_EQ(e.Fstreamid_map[2], 301);
  e.SetOption("f", "pgmyuv");
  EXPECT_EQ(e.Flast_asked_format, "image2");
  EXPECT_EQ(e.Fpgmyuv_compatibility_hack, 1);
  e.SetOption("vbsf", "h264_mp4toannexb");
  EXPECT_EQ(e.Fvideo_bitstream_filters, std::vector<std::string>{"h264_mp4toannexb"});

  // Generic options reach the store; unknown ones do nothing and say nothing.
  e.SetOption("g", "12");
  EXPECT_EQ(e.FOptions.avcodec_opts[AVMEDIA_TYPE_VIDEO]->gop_size, 12);
  e.SetOption("no_such_generic_option", "1");
  e.SetOption("b", "800000");
  EXPECT_EQ(e.FOptions.avcodec_opts[AVMEDIA_TYPE_VIDEO]->bit_rate, 800000);
  EXPECT_NE(e.FOptions.avcodec_opts[AVMEDIA_TYPE_AUDIO]->bit_rate, 800000);
  e.SetOption("ab", "128");
  EXPECT_TRUE(Logged(
      "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s"));
  e.SetOption("benchmark", "");
  EXPECT_TRUE(Logged("Do nothing: option - benchmark"));
}

TEST_F(EngineOptions, ThreadCountDefaultsToEveryCore) {
  EXPECT_EQ(FEngine->Fthread_count, 0);
}

TEST_F(EngineOptions, FindCodecByNameReportsUnknownWrongTypeAndExperimental) {
  AVCodecID id = AV_CODEC_ID_H264;
  std::string err;
  EXPECT_TRUE(FEngine->FindCodecByName("", AVMEDIA_TYPE_VIDEO, true, 0, id, err));
  EXPECT_EQ(id, AV_CODEC_ID_NONE);
  EXPECT_TRUE(FEngine->FindCodecByName("mpeg4", AVMEDIA_TYPE_VIDEO, true, 0, id, err));
  EXPECT_EQ(id, AV_CODEC_ID_MPEG4);
  EXPECT_FALSE(FEngine->FindCodecByName("nosuch", AVMEDIA_TYPE_VIDEO, false, 0, id, err));
  EXPECT_EQ(err, "Unknown decoder 'nosuch'");
  EXPECT_FALSE(FEngine->FindCodecByName("mp2", AVMEDIA_TYPE_VIDEO, true, 0, id, err));
  EXPECT_EQ(err, "Invalid encoder type 'mp2'");
  // Find any experimental encoder of this build to check the message's shape.
  void *it = nullptr;
  while (const AVCodec *c = ff::codec.av_codec_iterate(&it)) {
    if (!ff::codec.av_codec_is_encoder(c) || !(c->capabilities & AV_CODEC_CAP_EXPERIMENTAL))
      continue;
    EXPECT_FALSE(FEngine->FindCodecByName(c->name, c->type, true, 0, id, err));
    EXPECT_EQ(err.rfind(std::string("encoder '") + c->name +
                            "' is experimental and might produce bad results.\r\n"
                            "Add '-strict experimental' if you want to use it.",
                        0),
              0u)
        << err;
    EXPECT_TRUE(
        FEngine->FindCodecByName(c->name, c->type, true, FF_COMPLIANCE_EXPERIMENTAL, id, err));
    break;
  }
}
