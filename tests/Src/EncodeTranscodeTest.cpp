// Transcodes of generated clips into every encoder and container the catalogue names
// that the loaded libraries have, each output reopened and checked.
#include <cmath>

#include "EngineTestSupport.h"

using enginetest::Summarize;
using enginetest::TFileSummary;

namespace {

using TOptions = std::vector<std::pair<std::string, std::string>>;

class EncodeTranscode : public enginetest::EngineTest {
 protected:
  // Runs one task in the calling thread; returns false (with a failure) when it did not finish.
  bool Convert(const std::string &AInput, const TOptions &AOutOpts, const std::string &AOutput) {
    TCustomFFmpeg &e = *FEngine;
    if (!e.OpenInputFile(AInput)) {
      ADD_FAILURE() << e.LastErrMsg();
      return false;
    }
    for (const auto &[n, v] : AOutOpts) e.SetOption(n, v);
    if (e.OpenOutputFile(AOutput) < 1) {
      ADD_FAILURE() << e.LastErrMsg();
      return false;
    }
    e.StartConvert(false);
    EXPECT_FALSE(e.FatalException()) << e.FatalMessage();
    return e.Finished() && !e.FatalException();
  }
};

// The source clip: 2 s, 320x240 at 25 fps with 48 kHz stereo AAC.
std::string Source() {
  qvtest::TClipParams params;
  params.Container = "matroska";
  params.Extension = "mkv";
  params.Width = 320;
  params.Height = 240;
  params.Audio = {qvtest::Track("aac", 48000, 2)};
  return qvtest::MakeClip(params);
}

struct TCase {
  std::string File;    // output file name; its extension picks the container
  std::string Format;  // demuxer name of the reopened file
  std::string VCodec;  // encoder name, empty for audio only
  std::string VTag;    // forced four-character code
  std::string Size;    // "WxH"
  std::string Rate;    // frames per second
  std::string ACodec;  // encoder name as the catalogue gives it
  int SampleRate, Channels;
  AVCodecID VId, AId;
  std::vector<std::string> Needs;  // encoders that must exist for the case
};

}  // namespace

TEST_F(EncodeTranscode, EveryCatalogueEncoderIntoItsContainer) {
  const std::string src = Source();
  const std::vector<TCase> cases = {
      {"xvid.avi",
       "avi",
       "mpeg4",
       "XVID",
       "320x240",
       "25",
       "libmp3lame",
       44100,
       2,
       AV_CODEC_ID_MPEG4,
       AV_CODEC_ID_MP3,
       {"libmp3lame"}},
      {"dx50.avi",
       "avi",
       "mpeg4",
       "DX50",
       "176x144",
       "15",
       "libmp3lame",
       22050,
       1,
       AV_CODEC_ID_MPEG4,
       AV_CODEC_ID_MP3,
       {"libmp3lame"}},
      {"libxvid.avi",
       "avi",
       "libxvid",
       "",
       "320x240",
       "25",
       "libmp3lame",
       44100,
       2,
       AV_CODEC_ID_MPEG4,
       AV_CODEC_ID_MP3,
       {"libxvid", "libmp3lame"}},
      {"h264.mp4",
       "mov,mp4,m4a,3gp,3g2,mj2",
       "libx264",
       "",
       "320x240",
       "25",
       "libfaac",
       44100,
       2,
       AV_CODEC_ID_H264,
       AV_CODEC_ID_AAC,
       {"libx264"}},
      {"mpeg4.mov",
       "mov,mp4,m4a,3gp,3g2,mj2",
       "mpeg4",
       "",
       "320x240",
       "25",
       "libfaac",
       48000,
       2,
       AV_CODEC_ID_MPEG4,
       AV_CODEC_ID_AAC,
       {}},
      {"vorbis.mkv",
       "matroska,webm",
       "mpeg4",
       "",
       "320x240",
       "25",
       "libvorbis",
       44100,
       2,
       AV_CODEC_ID_MPEG4,
       AV_CODEC_ID_VORBIS,
       {"libvorbis"}},
      {"flv1.flv",
       "flv",
       "flv",
       "",
       "320x240",
       "25",
       "libmp3lame",
       44100,
       2,
       AV_CODEC_ID_FLV1,
       AV_CODEC_ID_MP3,
       {"libmp3lame"}},
      {"h263.3gp",
       "mov,mp4,m4a,3gp,3g2,mj2",
       "h263",
       "",
       "176x144",
       "15",
       "libfaac",
       22050,
       1,
       AV_CODEC_ID_H263,
       AV_CODEC_ID_AAC,
       {}},
      {"h263.3g2",
       "mov,mp4,m4a,3gp,3g2,mj2",
       "h263",
       "",
       "176x144",
       "15",
       "libfaac",
       22050,
       1,
       AV_CODEC_ID_H263,
       AV_CODEC_ID_AAC,
       {}},
      {"mpeg1.mpg",
       "mpeg",
       "mpeg1video",
       "",
       "352x240",
       "30",
       "mp2",
       44100,
       2,
       AV_CODEC_ID_MPEG1VIDEO,
       AV_CODEC_ID_MP2,
       {}},
      {"mpeg2.vob",
       "mpeg",
       "mpeg2video",
       "",
       "320x240",
       "25",
       "ac3",
       48000,
       2,
       AV_CODEC_ID_MPEG2VIDEO,
       AV_CODEC_ID_AC3,
       {}},
      {"msmpeg4.avi",
       "avi",
       "msmpeg4",
       "",
       "320x240",
       "25",
       "libmp3lame",
       44100,
       2,
       AV_CODEC_ID_MSMPEG4V3,
       AV_CODEC_ID_MP3,
       {"libmp3lame"}},
      {"wmv2.wmv",
       "asf",
       "wmv2",
       "",
       "320x240",
       "25",
       "wmav2",
       44100,
       2,
       AV_CODEC_ID_WMV2,
       AV_CODEC_ID_WMAV2,
       {}},
      {"rv20.rm",
       "rm",
       "rv20",
       "",
       "320x240",
       "25",
       "ac3",
       44100,
       2,
       AV_CODEC_ID_RV20,
       AV_CODEC_ID_AC3,
       {}},
      // Audio only.
      {"a.mp3",
       "mp3",
       "",
       "",
       "",
       "",
       "libmp3lame",
       44100,
       2,
       AV_CODEC_ID_NONE,
       AV_CODEC_ID_MP3,
       {"libmp3lame"}},
      {"a.wma", "asf", "", "", "", "", "wmav2", 44100, 2, AV_CODEC_ID_NONE, AV_CODEC_ID_WMAV2, {}},
      {"a.wav",
       "wav",
       "",
       "",
       "",
       "",
       "pcm_s16le",
       44100,
       2,
       AV_CODEC_ID_NONE,
       AV_CODEC_ID_PCM_S16LE,
       {}},
      {"a.aac", "aac", "", "", "", "", "libfaac", 44100, 2, AV_CODEC_ID_NONE, AV_CODEC_ID_AAC, {}},
      {"a.m4a",
       "mov,mp4,m4a,3gp,3g2,mj2",
       "",
       "",
       "",
       "",
       "libfaac",
       44100,
       2,
       AV_CODEC_ID_NONE,
       AV_CODEC_ID_AAC,
       {}},
      {"a.ogg",
       "ogg",
       "",
       "",
       "",
       "",
       "libvorbis",
       44100,
       2,
       AV_CODEC_ID_NONE,
       AV_CODEC_ID_VORBIS,
       {"libvorbis"}},
      {"a.ac3", "ac3", "", "", "", "", "ac3", 48000, 2, AV_CODEC_ID_NONE, AV_CODEC_ID_AC3, {}},
      {"a.aiff",
       "aiff",
       "",
       "",
       "",
       "",
       "pcm_s16be",
       44100,
       2,
       AV_CODEC_ID_NONE,
       AV_CODEC_ID_PCM_S16BE,
       {}},
      {"a.mp2", "mp3", "", "", "", "", "mp2", 44100, 2, AV_CODEC_ID_NONE, AV_CODEC_ID_MP2, {}},
      {"a.flac", "flac", "", "", "", "", "flac", 44100, 1, AV_CODEC_ID_NONE, AV_CODEC_ID_FLAC, {}},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.File);
    bool available = true;
    for (const std::string &n : c.Needs) available = available && qvtest::HasEncoder(n);
    if (!available) continue;
    FEngine = std::make_unique<TCustomFFmpeg>(20);
    TOptions opts;
    if (c.VCodec.empty()) {
      opts.push_back({"vn", ""});
    } else {
      opts.push_back({"vcodec", c.VCodec});
      if (c.VCodec == "libx264") opts.push_back({"vpre", "libx264-default"});
      if (!c.VTag.empty()) opts.push_back({"vtag", c.VTag});
      opts.push_back({"s", c.Size});
      opts.push_back({"r", c.Rate});
      opts.push_back({"b", "300000"});
    }
    opts.push_back({"acodec", c.ACodec});
    opts.push_back({"ar", std::to_string(c.SampleRate)});
    opts.push_back({"ac", std::to_string(c.Channels)});
    opts.push_back({"ab", "64000"});
    const std::string out = OutPath(c.File);
    if (!Convert(src, opts, out)) continue;

    const TFileSummary dst = Summarize(out);
    ASSERT_TRUE(dst.Opened);
    EXPECT_EQ(dst.Format, c.Format);
    AVFormatContext *ic = nullptr;
    ASSERT_GE(ff::format.avformat_open_input(&ic, out.c_str(), nullptr, nullptr), 0);
    ASSERT_GE(ff::format.avformat_find_stream_info(ic, nullptr), 0);
    ASSERT_EQ(ic->nb_streams, c.VCodec.empty() ? 1u : 2u);
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
      const AVStream *st = ic->streams[i];
      const AVCodecParameters *p = st->codecpar;
      const enginetest::TStreamSummary &s = dst.Streams[i];
      const double span = s.LastEnd - s.FirstPts;
      if (p->codec_type == AVMEDIA_TYPE_VIDEO) {
        EXPECT_EQ(p->codec_id, c.VId);
        EXPECT_EQ(std::to_string(p->width) + "x" + std::to_string(p->height), c.Size);
        const double fps = std::stod(c.Rate);
        const AVRational r = st->avg_frame_rate.num ? st->avg_frame_rate : st->r_frame_rate;
        EXPECT_NEAR(double(r.num) / r.den, fps, 0.05);
        if (!c.VTag.empty()) {
          const uint32_t tag = c.VTag[0] | c.VTag[1] << 8 | c.VTag[2] << 16 | c.VTag[3] << 24;
          EXPECT_EQ(p->codec_tag, tag);
        }
        // Every picture of the source is there, within one output frame.
        EXPECT_NEAR(s.Packets / fps, 2.0, 1.0 / fps + 1e-6) << s.Packets << " frames";
      } else {
        ASSERT_EQ(p->codec_type, AVMEDIA_TYPE_AUDIO);
        EXPECT_EQ(p->codec_id, c.AId);
        EXPECT_EQ(p->sample_rate, c.SampleRate);
        EXPECT_EQ(p->ch_layout.nb_channels, c.Channels);
        // The padded last frame plus the encoder's and the source decoder's priming.
        const int frame = p->frame_size > 1 ? p->frame_size : 1152;
        if (span > 0) EXPECT_NEAR(span, 2.0, double(frame) / c.SampleRate + 0.075);
      }
    }
    ff::format.avformat_close_input(&ic);
  }
}

TEST_F(EncodeTranscode, LibfaacIsServedByTheLibraryEncoderAndAMissingEncoderIsNamed) {
  const std::string src = qvtest::Fixture(qvtest::TFixture::Wav);
  const std::string out = OutPath("faac.m4a");
  ASSERT_TRUE(Convert(src, {{"acodec", "libfaac"}}, out));
  const TFileSummary dst = Summarize(out);
  ASSERT_EQ(dst.Streams.size(), 1u);
  EXPECT_EQ(dst.Streams[0].Codec, AV_CODEC_ID_AAC);
  bool noted = false;
  {
    std::lock_guard<std::mutex> g(FLogLock);
    for (const auto &l : FLog)
      if (l.first == llInfo && l.second.find("'aac'") != std::string::npos) noted = true;
  }
  EXPECT_TRUE(noted);

  // An MPEG program stream cannot carry the stand-in's AAC: the missing encoder is named
  // instead of a header error that hides it.
  if (!qvtest::HasEncoder("libfaac")) {
    FEngine = std::make_unique<TCustomFFmpeg>(20);
    ASSERT_TRUE(FEngine->OpenInputFile(src));
    FEngine->SetOption("acodec", "libfaac");
    EXPECT_LT(FEngine->OpenOutputFile(OutPath("faac.vob")), 1);
    EXPECT_NE(FEngine->LastErrMsg().find("Unknown encoder 'libfaac'"), std::string::npos)
        << FEngine->LastErrMsg();
  }

  if (qvtest::HasEncoder("libopencore_amrnb")) GTEST_SKIP() << "this library has AMR-NB";
  FEngine = std::make_unique<TCustomFFmpeg>(20);
  ASSERT_TRUE(FEngine->OpenInputFile(src));
  FEngine->SetOption("acodec", "libopencore_amrnb");
  EXPECT_LT(FEngine->OpenOutputFile(OutPath("amr.3gp")), 1);
  EXPECT_NE(FEngine->LastErrMsg().find("Unknown encoder 'libopencore_amrnb'"), std::string::npos)
      << FEngine->LastErrMsg();
}
