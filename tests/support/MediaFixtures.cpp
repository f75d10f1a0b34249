#include "MediaFixtures.h"

#include <stdlib.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include "FFmpegLoader/AVPtr.h"
#include "FFmpegLoader/FFmpegLoader.h"

namespace qvtest {
namespace {

using ff::codec;
using ff::format;
using ff::scale;
using ff::util;

std::string ErrText(int AErr) {
  char buf[256] = {0};
  util.av_strerror(AErr, buf, sizeof buf);
  return buf;
}

void Check(int AErr, const std::string &AWhat) {
  if (AErr < 0) throw std::runtime_error(AWhat + ": " + ErrText(AErr));
}

void EnsureLoaded() {
  static std::mutex m;
  std::lock_guard<std::mutex> lock(m);
  if (FFLoader().Loaded(kQueueLibraries)) return;
  if (!FFLoader().Load(kQueueLibraries))
    throw std::runtime_error("media libraries not loaded: " + FFLoader().LastErrMsg());
}

// Limited-range BT.601 colours of the test pattern.
struct TYuv {
  uint8_t Y, U, V;
};
constexpr TYuv kRed{81, 90, 240}, kGreen{145, 54, 34}, kBlue{41, 240, 110}, kWhite{235, 128, 128},
    kBlack{16, 128, 128};

void DrawPattern(AVFrame *AFrame, int64_t AIndex) {
  const int w = AFrame->width, h = AFrame->height;
  const int marker = std::max(4, h / 8) & ~1;
  const int span = std::max(1, w - marker);
  const int mx = static_cast<int>((AIndex * 4) % span) & ~1;
  auto colourAt = [&](int x, int y) {
    if (y < marker && x >= mx && x < mx + marker) return kBlack;
    const bool right = x >= w / 2, bottom = y >= h / 2;
    return bottom ? (right ? kWhite : kBlue) : (right ? kGreen : kRed);
  };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) AFrame->data[0][y * AFrame->linesize[0] + x] = colourAt(x, y).Y;
  for (int y = 0; y < (h + 1) / 2; ++y)
    for (int x = 0; x < (w + 1) / 2; ++x) {
      const TYuv c = colourAt(x * 2, y * 2);
      AFrame->data[1][y * AFrame->linesize[1] + x] = c.U;
      AFrame->data[2][y * AFrame->linesize[2] + x] = c.V;
    }
}

void PutSample(AVFrame *AFrame, int ACh, int AIndex, int AChannels, double AValue) {
  const auto fmt = static_cast<AVSampleFormat>(AFrame->format);
  const bool planar = util.av_sample_fmt_is_planar(fmt);
  uint8_t *base = planar ? AFrame->extended_data[ACh] : AFrame->extended_data[0];
  const int pos = planar ? AIndex : AIndex * AChannels + ACh;
  switch (util.av_get_packed_sample_fmt(fmt)) {
    case AV_SAMPLE_FMT_U8:
      base[pos] = static_cast<uint8_t>(std::lround(AValue * 127.0) + 128);
      break;
    case AV_SAMPLE_FMT_S16:
      reinterpret_cast<int16_t *>(base)[pos] = static_cast<int16_t>(std::lround(AValue * 32767.0));
      break;
    case AV_SAMPLE_FMT_S32:
      reinterpret_cast<int32_t *>(base)[pos] =
          static_cast<int32_t>(std::llround(AValue * 2147483647.0));
      break;
    case AV_SAMPLE_FMT_FLT:
      reinterpret_cast<float *>(base)[pos] = static_cast<float>(AValue);
      break;
    case AV_SAMPLE_FMT_DBL:
      reinterpret_cast<double *>(base)[pos] = AValue;
      break;
    default:
      throw std::runtime_error("unsupported sample format");
  }
}

struct TOutStream {
  AVStream *Stream = nullptr;
  ff::CodecContextPtr Ctx;
  bool Video = false;
  bool Flushed = false;
  int64_t NextPts = 0;  // in Ctx->time_base
  int64_t EndPts = 0;   // frames (video) or samples (audio) to write
  double ToneHz = 440;
  ff::FramePtr Frame;   // in the encoder's format
  ff::FramePtr Source;  // yuv420p picture when the encoder wants another format
  ff::SwsPtr Sws;
};

// Script header that text subtitle encoders take their style from.
const char kAssHeader[] =
    "[Script Info]\r\nScriptType: v4.00+\r\nPlayResX: 384\r\nPlayResY: 288\r\n\r\n"
    "[V4+ Styles]\r\nFormat: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, "
    "OutlineColour, BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, "
    "Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\r\n"
    "Style: Default,Arial,16,&Hffffff,&Hffffff,&H0,&H0,0,0,0,0,100,100,0,0,1,1,0,2,10,10,10,0"
    "\r\n\r\n[Events]\r\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, "
    "Effect, Text\r\n";

struct TSubtitleOut {
  AVStream *Stream = nullptr;
  ff::CodecContextPtr Ctx;
  const TSubtitleTrack *Track = nullptr;
  bool Bitmap = false;
};

struct TOutput {
  AVFormatContext *Ctx = nullptr;
  ~TOutput() {
    if (!Ctx) return;
    if (!(Ctx->oformat->flags & AVFMT_NOFILE)) format.avio_closep(&Ctx->pb);
    format.avformat_free_context(Ctx);
  }
};

void WritePackets(AVFormatContext *AOc, TOutStream &AOs) {
  ff::PacketPtr pkt(codec.av_packet_alloc());
  for (;;) {
    const int r = codec.avcodec_receive_packet(AOs.Ctx.get(), pkt.get());
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
    Check(r, "encode");
    codec.av_packet_rescale_ts(pkt.get(), AOs.Ctx->time_base, AOs.Stream->time_base);
    pkt->stream_index = AOs.Stream->index;
    Check(format.av_interleaved_write_frame(AOc, pkt.get()), "write packet");
  }
}

void AddVideo(AVFormatContext *AOc, const TClipParams &AParams, std::vector<TOutStream> &AOut) {
  const AVCodec *enc = codec.avcodec_find_encoder_by_name(AParams.VideoCodec.c_str());
  if (!enc) throw std::runtime_error("no encoder " + AParams.VideoCodec);
  TOutStream os;
  os.Video = true;
  os.Stream = format.avformat_new_stream(AOc, nullptr);
  os.Ctx.reset(codec.avcodec_alloc_context3(enc));
  AVCodecContext *c = os.Ctx.get();
  c->width = AParams.Width;
  c->height = AParams.Height;
  c->time_base = AVRational{AParams.FrameRateDen, AParams.FrameRateNum};
  c->framerate = AVRational{AParams.FrameRateNum, AParams.FrameRateDen};
  c->bit_rate = AParams.VideoBitRate;
  c->gop_size = 12;
  c->pix_fmt = AV_PIX_FMT_YUV420P;
  if (enc->pix_fmts) {
    bool has420 = false;
    for (const AVPixelFormat *p = enc->pix_fmts; *p != AV_PIX_FMT_NONE; ++p)
      has420 |= *p == AV_PIX_FMT_YUV420P;
    if (!has420) c->pix_fmt = enc->pix_fmts[0];
  }
  if (AParams.VideoCodec != "libx264") {
    c->thread_count = 1;
    c->flags |= AV_CODEC_FLAG_BITEXACT;
  } else {
    util.av_opt_set(c->priv_data, "preset", "veryfast", 0);
  }
  if (AOc->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  {
    std::lock_guard<std::mutex> lock(CodecLock());
    Check(codec.avcodec_open2(c, enc, nullptr), "open encoder " + AParams.VideoCodec);
  }
  Check(codec.avcodec_parameters_from_context(os.Stream->codecpar, c), "stream parameters");
  os.Stream->time_base = c->time_base;
  os.Stream->avg_frame_rate = c->framerate;
  if (!AParams.VideoLanguage.empty())
    util.av_dict_set(&os.Stream->metadata, "language", AParams.VideoLanguage.c_str(), 0);
  os.EndPts = std::llround(AParams.DurationSec * AParams.FrameRateNum / AParams.FrameRateDen);

  os.Frame.reset(util.av_frame_alloc());
  os.Frame->format = c->pix_fmt;
  os.Frame->width = c->width;
  os.Frame->height = c->height;
  Check(util.av_frame_get_buffer(os.Frame.get(), 0), "frame buffer");
  if (c->pix_fmt != AV_PIX_FMT_YUV420P) {
    os.Source.reset(util.av_frame_alloc());
    os.Source->format = AV_PIX_FMT_YUV420P;
    os.Source->width = c->width;
    os.Source->height = c->height;
    Check(util.av_frame_get_buffer(os.Source.get(), 0), "frame buffer");
    os.Sws.reset(scale.sws_getContext(c->width, c->height, AV_PIX_FMT_YUV420P, c->width, c->height,
                                      c->pix_fmt, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!os.Sws) throw std::runtime_error("no scaler for the encoder's pixel format");
  }
  AOut.push_back(std::move(os));
}

void AddAudio(AVFormatContext *AOc, const TAudioTrack &ATrack, int ATrackNo, double ADuration,
              std::vector<TOutStream> &AOut) {
  const AVCodec *enc = codec.avcodec_find_encoder_by_name(ATrack.Codec.c_str());
  if (!enc) throw std::runtime_error("no encoder " + ATrack.Codec);
  TOutStream os;
  os.Stream = format.avformat_new_stream(AOc, nullptr);
  os.Ctx.reset(codec.avcodec_alloc_context3(enc));
  AVCodecContext *c = os.Ctx.get();
  c->sample_fmt = enc->sample_fmts ? enc->sample_fmts[0] : AV_SAMPLE_FMT_S16;
  c->sample_rate = ATrack.SampleRate;
  util.av_channel_layout_default(&c->ch_layout, ATrack.Channels);
  c->bit_rate = ATrack.BitRate;
  c->time_base = AVRational{1, ATrack.SampleRate};
  c->thread_count = 1;
  c->flags |= AV_CODEC_FLAG_BITEXACT;
  if (AOc->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  {
    std::lock_guard<std::mutex> lock(CodecLock());
    Check(codec.avcodec_open2(c, enc, nullptr), "open encoder " + ATrack.Codec);
  }
  Check(codec.avcodec_parameters_from_context(os.Stream->codecpar, c), "stream parameters");
  os.Stream->time_base = c->time_base;
  if (!ATrack.Language.empty())
    util.av_dict_set(&os.Stream->metadata, "language", ATrack.Language.c_str(), 0);
  os.EndPts = std::llround(ADuration * ATrack.SampleRate);
  os.ToneHz = ATrack.FrequencyHz > 0 ? ATrack.FrequencyHz : (ATrackNo == 0 ? 440.0 : 660.0);

  os.Frame.reset(util.av_frame_alloc());
  os.Frame->format = c->sample_fmt;
  os.Frame->sample_rate = c->sample_rate;
  Check(util.av_channel_layout_copy(&os.Frame->ch_layout, &c->ch_layout), "channel layout");
  os.Frame->nb_samples = c->frame_size > 0 ? c->frame_size : 1024;
  Check(util.av_frame_get_buffer(os.Frame.get(), 0), "frame buffer");
  AOut.push_back(std::move(os));
}

void AddSubtitle(AVFormatContext *AOc, const TClipParams &AParams, const TSubtitleTrack &ATrack,
                 std::vector<TSubtitleOut> &AOut) {
  const AVCodec *enc = codec.avcodec_find_encoder_by_name(ATrack.Codec.c_str());
  if (!enc) throw std::runtime_error("no encoder " + ATrack.Codec);
  TSubtitleOut os;
  os.Track = &ATrack;
  os.Bitmap = ATrack.Codec == "dvdsub" || ATrack.Codec == "dvbsub" || ATrack.Codec == "xsub";
  os.Ctx.reset(codec.avcodec_alloc_context3(enc));
  AVCodecContext *c = os.Ctx.get();
  c->time_base = AVRational{1, 1000};
  c->width = AParams.Width;
  c->height = AParams.Height;
  if (!os.Bitmap) {
    c->subtitle_header = reinterpret_cast<uint8_t *>(util.av_strdup(kAssHeader));
    c->subtitle_header_size = static_cast<int>(sizeof kAssHeader - 1);
  }
  if (AOc->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  Check(codec.avcodec_open2(c, enc, nullptr), "open encoder " + ATrack.Codec);
  os.Stream = format.avformat_new_stream(AOc, nullptr);
  if (!os.Stream) throw std::runtime_error("cannot add a subtitle stream");
  os.Stream->time_base = c->time_base;
  Check(codec.avcodec_parameters_from_context(os.Stream->codecpar, c), "subtitle parameters");
  if (!ATrack.Language.empty())
    util.av_dict_set(&os.Stream->metadata, "language", ATrack.Language.c_str(), 0);
  AOut.push_back(std::move(os));
}

// Encodes every cue of a subtitle stream; the muxer interleaves them with the rest.
void WriteSubtitles(AVFormatContext *AOc, const TClipParams &AParams, TSubtitleOut &AOs) {
  const int w = (AParams.Width / 2) & ~1, h = (AParams.Height / 8) & ~1;
  std::vector<uint8_t> indexes(static_cast<size_t>(w) * h, 1);
  const uint32_t palette[2] = {0x00000000u, 0xff000000u | (AOs.Track->BoxColour & 0xffffffu)};
  std::vector<uint8_t> buf(1 << 16);
  for (const TSubtitleCue &cue : AOs.Track->Cues) {
    AVSubtitleRect rect{};
    AVSubtitleRect *rects[1] = {&rect};
    std::string line = "0,0,Default,,0,0,0,," + cue.Text;
    if (AOs.Bitmap) {
      rect.type = SUBTITLE_BITMAP;
      rect.x = AParams.Width / 8;
      rect.y = AParams.Height * 3 / 4;
      rect.w = w;
      rect.h = h;
      rect.nb_colors = 2;
      rect.data[0] = indexes.data();
      rect.linesize[0] = w;
      rect.data[1] = const_cast<uint8_t *>(reinterpret_cast<const uint8_t *>(palette));
    } else {
      rect.type = SUBTITLE_ASS;
      rect.ass = line.data();
    }
    AVSubtitle sub{};
    sub.format = AOs.Bitmap ? 0 : 1;
    sub.start_display_time = 0;
    sub.end_display_time = static_cast<uint32_t>(std::lround((cue.EndSec - cue.StartSec) * 1000));
    sub.pts = std::llround(cue.StartSec * AV_TIME_BASE);
    sub.num_rects = 1;
    sub.rects = rects;
    const int n = codec.avcodec_encode_subtitle(AOs.Ctx.get(), buf.data(),
                                                static_cast<int>(buf.size()), &sub);
    Check(n, "encode subtitle");
    ff::PacketPtr pkt(codec.av_packet_alloc());
    Check(codec.av_new_packet(pkt.get(), n), "subtitle packet");
    std::memcpy(pkt->data, buf.data(), static_cast<size_t>(n));
    const AVRational us{1, AV_TIME_BASE};
    pkt->pts = pkt->dts = util.av_rescale_q(sub.pts, us, AOs.Stream->time_base);
    pkt->duration = util.av_rescale_q(std::llround((cue.EndSec - cue.StartSec) * AV_TIME_BASE), us,
                                      AOs.Stream->time_base);
    pkt->stream_index = AOs.Stream->index;
    Check(format.av_interleaved_write_frame(AOc, pkt.get()), "write subtitle");
  }
}

// Cover art: one JPEG picture in a stream marked as an attached picture.
AVStream *AddCover(AVFormatContext *AOc, const TClipParams &AParams, ff::CodecContextPtr &ACtx) {
  const AVCodec *enc = codec.avcodec_find_encoder_by_name("mjpeg");
  if (!enc) throw std::runtime_error("no encoder mjpeg");
  ACtx.reset(codec.avcodec_alloc_context3(enc));
  AVCodecContext *c = ACtx.get();
  c->width = AParams.Width;
  c->height = AParams.Height;
  c->time_base = AVRational{1, 25};
  c->pix_fmt = AV_PIX_FMT_YUVJ420P;
  Check(codec.avcodec_open2(c, enc, nullptr), "open encoder mjpeg");
  AVStream *st = format.avformat_new_stream(AOc, nullptr);
  if (!st) throw std::runtime_error("cannot add the cover stream");
  st->disposition = AV_DISPOSITION_ATTACHED_PIC;
  Check(codec.avcodec_parameters_from_context(st->codecpar, c), "cover parameters");
  return st;
}

void WriteCover(AVFormatContext *AOc, AVStream *AStream, AVCodecContext *ACtx) {
  ff::FramePtr f(util.av_frame_alloc());
  f->format = ACtx->pix_fmt;
  f->width = ACtx->width;
  f->height = ACtx->height;
  Check(util.av_frame_get_buffer(f.get(), 0), "cover frame");
  DrawPattern(f.get(), 0);
  f->pts = 0;
  Check(codec.avcodec_send_frame(ACtx, f.get()), "encode cover");
  Check(codec.avcodec_send_frame(ACtx, nullptr), "encode cover");
  ff::PacketPtr pkt(codec.av_packet_alloc());
  Check(codec.avcodec_receive_packet(ACtx, pkt.get()), "encode cover");
  pkt->stream_index = AStream->index;
  pkt->pts = pkt->dts = 0;
  pkt->flags |= AV_PKT_FLAG_KEY;
  // Written at once: the muxer waits for the picture before it writes any sound.
  Check(format.av_write_frame(AOc, pkt.get()), "write cover");
}

// Encodes the next frame of the stream (or flushes it at its end).
void EncodeNext(AVFormatContext *AOc, TOutStream &AOs) {
  AVCodecContext *c = AOs.Ctx.get();
  if (AOs.NextPts >= AOs.EndPts) {
    Check(codec.avcodec_send_frame(c, nullptr), "flush");
    WritePackets(AOc, AOs);
    AOs.Flushed = true;
    return;
  }
  AVFrame *f = AOs.Frame.get();
  Check(util.av_frame_make_writable(f), "frame writable");
  if (AOs.Video) {
    if (AOs.Sws) {
      Check(util.av_frame_make_writable(AOs.Source.get()), "frame writable");
      DrawPattern(AOs.Source.get(), AOs.NextPts);
      scale.sws_scale(AOs.Sws.get(), AOs.Source->data, AOs.Source->linesize, 0, c->height, f->data,
                      f->linesize);
    } else {
      DrawPattern(f, AOs.NextPts);
    }
    f->pts = AOs.NextPts++;
  } else {
    const int capacity = c->frame_size > 0 ? c->frame_size : 1024;
    const bool partialOk =
        c->codec->capabilities & (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    int n = capacity;
    if (partialOk && AOs.EndPts - AOs.NextPts < n) n = static_cast<int>(AOs.EndPts - AOs.NextPts);
    f->nb_samples = n;
    const int channels = c->ch_layout.nb_channels;
    for (int i = 0; i < n; ++i) {
      const double t = static_cast<double>(AOs.NextPts + i) / c->sample_rate;
      for (int ch = 0; ch < channels; ++ch)
        PutSample(f, ch, i, channels, 0.5 * std::sin(2.0 * M_PI * (AOs.ToneHz + 110.0 * ch) * t));
    }
    f->pts = AOs.NextPts;
    AOs.NextPts += n;
  }
  Check(codec.avcodec_send_frame(c, f), "encode");
  WritePackets(AOc, AOs);
}

struct TFixtureStore {
  std::mutex Lock;
  std::string Dir;
  std::map<std::string, std::string> Clips;
  std::map<TFixture, std::string> Named;
  int Counter = 0;
  ~TFixtureStore() {
    // QUORVEL_KEEP_FIXTURES=1 keeps the files for a look after the run.
    if (!Dir.empty() && !getenv("QUORVEL_KEEP_FIXTURES")) {
      std::error_code ec;
      std::filesystem::remove_all(Dir, ec);
    }
  }
  std::string DirLocked() {
    if (Dir.empty()) {
      std::string tmpl = (std::filesystem::temp_directory_path() / "quorvel-media-XXXXXX").string();
      if (!mkdtemp(tmpl.data())) throw std::runtime_error("cannot create the fixture folder");
      Dir = tmpl;
    }
    return Dir;
  }
  std::string NewPath(const std::string &AExt) {
    return DirLocked() + "/clip" + std::to_string(++Counter) + "." + AExt;
  }
};

TFixtureStore &Store() {
  static TFixtureStore store;
  return store;
}

std::string ParamsKey(const TClipParams &S) {
  std::ostringstream k;
  k << S.Container << '|' << S.Extension << '|' << S.DurationSec << '|' << S.VideoCodec << '|'
    << S.Width << 'x' << S.Height << '|' << S.FrameRateNum << '/' << S.FrameRateDen << '|'
    << S.VideoBitRate << '|' << S.VideoLanguage << '|' << S.AudioFirst << '|' << S.CoverPicture;
  for (const TAudioTrack &a : S.Audio)
    k << "|a:" << a.Codec << ',' << a.SampleRate << ',' << a.Channels << ',' << a.BitRate << ','
      << a.FrequencyHz << ',' << a.Language;
  for (const TSubtitleTrack &t : S.Subtitles) {
    k << "|s:" << t.Codec << ',' << t.Language << ',' << t.BoxColour;
    for (const TSubtitleCue &c : t.Cues) k << ',' << c.StartSec << '-' << c.EndSec << '=' << c.Text;
  }
  for (const auto &[n, v] : S.Tags) k << "|t:" << n << '=' << v;
  for (const auto &[n, v] : S.MuxerOptions) k << "|o:" << n << '=' << v;
  return k.str();
}

std::string Mp3Codec() {
  return HasEncoder("libmp3lame") ? "libmp3lame" : "mp2";
}

TClipParams NamedParams(TFixture AKind) {
  TClipParams s;
  switch (AKind) {
    case TFixture::Mp4:
      break;
    case TFixture::Avi:
      s.Container = "avi";
      s.Audio = {Track(Mp3Codec(), 44100, 2, 128000)};
      break;
    case TFixture::Mkv:
      s.Container = "matroska";
      s.Extension = "mkv";
      s.Audio = {Track("flac")};
      break;
    case TFixture::MpegPs:
      s.Container = "vob";
      s.Extension = "mpg";
      s.VideoCodec = "mpeg2video";
      s.Audio = {Track("mp2", 44100, 2, 128000)};
      break;
    case TFixture::MpegTs:
      s.Container = "mpegts";
      s.Extension = "ts";
      s.VideoCodec = "mpeg2video";
      s.Audio = {Track("mp2", 44100, 2, 128000)};
      break;
    case TFixture::Flv:
      s.Container = "flv";
      s.VideoCodec = "flv";
      s.Audio = {HasEncoder("libmp3lame") ? Track("libmp3lame", 44100, 2, 128000) : Track("aac")};
      break;
    case TFixture::Mp3:
    case TFixture::AudioOnly:
      // The MP3 writer takes only MP3; without its encoder the file is MPEG layer 2 audio.
      s.Container = HasEncoder("libmp3lame") ? "mp3" : "mp2";
      s.Extension = "mp3";
      s.VideoCodec.clear();
      s.Audio = {Track(Mp3Codec(), 44100, 2, 128000)};
      break;
    case TFixture::Wav:
      s.Container = "wav";
      s.VideoCodec.clear();
      s.Audio = {Track("pcm_s16le", 22050, 1)};
      break;
    case TFixture::VideoTwoAudio:
      s.Container = "matroska";
      s.Extension = "mkv";
      s.Audio = {Track("aac", 44100, 2, 96000, "eng"), Track("mp2", 44100, 2, 128000, "fre")};
      break;
    case TFixture::AudioFirst:
      s.Container = "matroska";
      s.Extension = "mkv";
      s.AudioFirst = true;
      break;
    case TFixture::Tagged:
      s.Container = HasEncoder("libmp3lame") ? "mp3" : "mp2";
      s.Extension = "mp3";
      s.VideoCodec.clear();
      s.Audio = {Track(Mp3Codec(), 44100, 2, 128000)};
      s.Tags = {{"title", "Test Tone"},  {"artist", "Quorvel"}, {"album", "Fixtures"},
                {"genre", "Test"},       {"track", "7"},        {"date", "2024"},
                {"comment", "generated"}};
      break;
    case TFixture::SixChannels:
      s.Container = "matroska";
      s.Extension = "mkv";
      s.Audio = {Track("aac", 48000, 6, 192000)};
      break;
    case TFixture::Large720p:
      s.VideoCodec = HasEncoder("libx264") ? "libx264" : "mpeg4";
      s.Width = 1280;
      s.Height = 720;
      s.DurationSec = 10;
      s.VideoBitRate = 2000000;
      s.Audio = {Track("aac", 44100, 2, 128000)};
      break;
    case TFixture::Subtitled: {
      s.Container = "matroska";
      s.Extension = "mkv";
      s.Audio = {Track("pcm_s16le", 22050, 1)};
      const std::vector<TSubtitleCue> cues = {{0.48, 0.9, "Hello"}, {1.44, 1.9, "第二行"}};
      s.Subtitles = {TSubtitleTrack{"subrip", cues, "eng"}, TSubtitleTrack{"dvdsub", cues, "chi"}};
      break;
    }
    case TFixture::ZeroLength:
    case TFixture::Truncated:
      break;
  }
  return s;
}

}  // namespace

bool HasEncoder(const std::string &AName) {
  EnsureLoaded();
  return codec.avcodec_find_encoder_by_name(AName.c_str()) != nullptr;
}

void WriteClip(const TClipParams &AParams, const std::string &APath) {
  EnsureLoaded();
  TOutput out;
  Check(format.avformat_alloc_output_context2(&out.Ctx, nullptr, AParams.Container.c_str(),
                                              APath.c_str()),
        "muxer " + AParams.Container);
  AVFormatContext *oc = out.Ctx;
  oc->flags |= AVFMT_FLAG_BITEXACT;
  for (const auto &[k, v] : AParams.Tags) util.av_dict_set(&oc->metadata, k.c_str(), v.c_str(), 0);

  std::vector<TOutStream> streams;
  auto addAudio = [&] {
    for (size_t i = 0; i < AParams.Audio.size(); ++i)
      AddAudio(oc, AParams.Audio[i], static_cast<int>(i), AParams.DurationSec, streams);
  };
  if (AParams.AudioFirst) addAudio();
  if (!AParams.VideoCodec.empty()) AddVideo(oc, AParams, streams);
  if (!AParams.AudioFirst) addAudio();
  if (streams.empty()) throw std::runtime_error("a clip needs at least one stream");
  std::vector<TSubtitleOut> subtitles;
  for (const TSubtitleTrack &t : AParams.Subtitles) AddSubtitle(oc, AParams, t, subtitles);
  ff::CodecContextPtr coverCtx;
  AVStream *cover = AParams.CoverPicture ? AddCover(oc, AParams, coverCtx) : nullptr;

  if (!(oc->oformat->flags & AVFMT_NOFILE))
    Check(format.avio_open(&oc->pb, APath.c_str(), AVIO_FLAG_WRITE), "open " + APath);
  AVDictionary *opts = nullptr;
  for (const auto &[k, v] : AParams.MuxerOptions) util.av_dict_set(&opts, k.c_str(), v.c_str(), 0);
  ff::DictPtr optsOwner;
  const int hr = format.avformat_write_header(oc, &opts);
  optsOwner.reset(opts);
  Check(hr, "write header");
  if (cover) WriteCover(oc, cover, coverCtx.get());
  for (TSubtitleOut &os : subtitles) WriteSubtitles(oc, AParams, os);

  // Interleave by time: always encode the stream that is furthest behind.
  for (;;) {
    TOutStream *next = nullptr;
    double best = 0;
    for (TOutStream &os : streams) {
      if (os.Flushed) continue;
      const double t =
          static_cast<double>(os.NextPts) * os.Ctx->time_base.num / os.Ctx->time_base.den;
      if (!next || t < best) {
        next = &os;
        best = t;
      }
    }
    if (!next) break;
    EncodeNext(oc, *next);
  }
  Check(format.av_write_trailer(oc), "write trailer");
}

const char *FixtureName(TFixture AKind) {
  static const char *const kNames[] = {
      "Mp4",         "Avi",        "Mkv",           "MpegPs",     "MpegTs",    "Flv",
      "Mp3",         "Wav",        "VideoTwoAudio", "AudioFirst", "AudioOnly", "Tagged",
      "SixChannels", "ZeroLength", "Truncated",     "Large720p",  "Subtitled"};
  return kNames[static_cast<int>(AKind)];
}

std::string FixtureDir() {
  std::lock_guard<std::mutex> lock(Store().Lock);
  return Store().DirLocked();
}

std::string MakeClip(const TClipParams &AParams) {
  TFixtureStore &st = Store();
  std::lock_guard<std::mutex> lock(st.Lock);
  const std::string key = ParamsKey(AParams);
  if (auto it = st.Clips.find(key); it != st.Clips.end()) return it->second;
  const std::string path = st.NewPath(AParams.Extension.empty() ? AParams.Container : AParams.Extension);
  try {
    WriteClip(AParams, path);
  } catch (...) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    throw;
  }
  st.Clips[key] = path;
  return path;
}

std::string Fixture(TFixture AKind) {
  {
    std::lock_guard<std::mutex> lock(Store().Lock);
    if (auto it = Store().Named.find(AKind); it != Store().Named.end()) return it->second;
  }
  std::string path;
  if (AKind == TFixture::ZeroLength) {
    std::lock_guard<std::mutex> lock(Store().Lock);
    path = Store().DirLocked() + "/empty.avi";
    std::ofstream(path, std::ios::binary | std::ios::trunc);
  } else if (AKind == TFixture::Truncated) {
    const std::string whole = Fixture(TFixture::Mp4);
    std::ifstream in(whole, std::ios::binary);
    std::string bytes(3000, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    std::lock_guard<std::mutex> lock(Store().Lock);
    path = Store().DirLocked() + "/truncated.mp4";
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  } else {
    path = MakeClip(NamedParams(AKind));
  }
  std::lock_guard<std::mutex> lock(Store().Lock);
  Store().Named[AKind] = path;
  return path;
}

}  // namespace qvtest
