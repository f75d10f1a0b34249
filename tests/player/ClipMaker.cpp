#include "ClipMaker.h"

#include <cmath>

#include "FFmpegLoader/AVPtr.h"

namespace {

struct TEncoder {
  ff::CodecContextPtr Ctx;
  AVStream *Stream = nullptr;
};

bool Drain(AVFormatContext *AOut, TEncoder &AEnc, AVFrame *AFrame) {
  if (ff::codec.avcodec_send_frame(AEnc.Ctx.get(), AFrame) < 0) return false;
  ff::PacketPtr pkt(ff::codec.av_packet_alloc());
  for (;;) {
    int ret = ff::codec.avcodec_receive_packet(AEnc.Ctx.get(), pkt.get());
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return true;
    if (ret < 0) return false;
    ff::codec.av_packet_rescale_ts(pkt.get(), AEnc.Ctx->time_base, AEnc.Stream->time_base);
    pkt->stream_index = AEnc.Stream->index;
    if (ff::format.av_interleaved_write_frame(AOut, pkt.get()) < 0) return false;
  }
}

// Y'CbCr of an RGB colour (BT.601, limited range).
void ToYuv(int r, int g, int b, int &y, int &u, int &v) {
  y = static_cast<int>(std::lround(16 + 0.257 * r + 0.504 * g + 0.098 * b));
  u = static_cast<int>(std::lround(128 - 0.148 * r - 0.291 * g + 0.439 * b));
  v = static_cast<int>(std::lround(128 + 0.439 * r - 0.368 * g - 0.071 * b));
}

}  // namespace

void QuadrantColour(int ASecond, int &AR, int &AG, int &AB) {
  static const int kColours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
  const int *c = kColours[ASecond % 4];
  AR = c[0];
  AG = c[1];
  AB = c[2];
}

bool MakeClip(const std::string &AFile, const TClipSpec &ASpec, std::string &AError) {
  AVFormatContext *out = nullptr;
  if (ff::format.avformat_alloc_output_context2(&out, nullptr, nullptr, AFile.c_str()) < 0) {
    AError = "no container for " + AFile;
    return false;
  }
  struct Closer {
    AVFormatContext *Ctx;
    ~Closer() {
      if (Ctx->pb) ff::format.avio_closep(&Ctx->pb);
      ff::format.avformat_free_context(Ctx);
    }
  } closer{out};

  TEncoder video, audio;
  if (ASpec.Width > 0) {
    const AVCodec *c = ff::codec.avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    video.Ctx.reset(ff::codec.avcodec_alloc_context3(c));
    video.Ctx->width = ASpec.Width;
    video.Ctx->height = ASpec.Height;
    video.Ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    video.Ctx->time_base = AVRational{1, ASpec.Fps};
    video.Ctx->framerate = AVRational{ASpec.Fps, 1};
    video.Ctx->gop_size = ASpec.GopSize;
    video.Ctx->max_b_frames = 0;
    video.Ctx->bit_rate = 400000;
    if (out->oformat->flags & AVFMT_GLOBALHEADER) video.Ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (ff::codec.avcodec_open2(video.Ctx.get(), c, nullptr) < 0) {
      AError = "mpeg4 encoder";
      return false;
    }
    video.Stream = ff::format.avformat_new_stream(out, nullptr);
    ff::codec.avcodec_parameters_from_context(video.Stream->codecpar, video.Ctx.get());
    video.Stream->time_base = video.Ctx->time_base;
  }
  if (ASpec.SampleRate > 0) {
    const AVCodec *c = ff::codec.avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE);
    audio.Ctx.reset(ff::codec.avcodec_alloc_context3(c));
    audio.Ctx->sample_rate = ASpec.SampleRate;
    audio.Ctx->sample_fmt = AV_SAMPLE_FMT_S16;
    ff::util.av_channel_layout_default(&audio.Ctx->ch_layout, ASpec.Channels);
    audio.Ctx->time_base = AVRational{1, ASpec.SampleRate};
    if (ff::codec.avcodec_open2(audio.Ctx.get(), c, nullptr) < 0) {
      AError = "pcm encoder";
      return false;
    }
    audio.Stream = ff::format.avformat_new_stream(out, nullptr);
    ff::codec.avcodec_parameters_from_context(audio.Stream->codecpar, audio.Ctx.get());
    audio.Stream->time_base = audio.Ctx->time_base;
  }
  if (!(out->oformat->flags & AVFMT_NOFILE) &&
      ff::format.avio_open(&out->pb, AFile.c_str(), AVIO_FLAG_WRITE) < 0) {
    AError = "cannot write " + AFile;
    return false;
  }
  if (ff::format.avformat_write_header(out, nullptr) < 0) {
    AError = "header";
    return false;
  }

  int frames = static_cast<int>(std::lround(ASpec.Seconds * ASpec.Fps));
  const int kAudioBlock = 1024;
  int64_t samplesTotal = static_cast<int64_t>(std::lround(ASpec.Seconds * ASpec.SampleRate));
  int64_t samplesDone = 0;
  ff::FramePtr frame(ff::util.av_frame_alloc());
  for (int i = 0; ASpec.Width > 0 && i <= frames; ++i) {
    // Interleave: audio up to this picture's time first.
    while (ASpec.SampleRate > 0 && samplesDone < samplesTotal &&
           samplesDone * ASpec.Fps < static_cast<int64_t>(i) * ASpec.SampleRate) {
      ff::FramePtr a(ff::util.av_frame_alloc());
      int n = static_cast<int>(std::min<int64_t>(kAudioBlock, samplesTotal - samplesDone));
      a->nb_samples = n;
      a->format = AV_SAMPLE_FMT_S16;
      a->sample_rate = ASpec.SampleRate;
      ff::util.av_channel_layout_copy(&a->ch_layout, &audio.Ctx->ch_layout);
      ff::util.av_frame_get_buffer(a.get(), 0);
      auto *s = reinterpret_cast<int16_t *>(a->data[0]);
      for (int k = 0; k < n; ++k) {
        auto v = static_cast<int16_t>(
            8000 * std::sin(2 * M_PI * 440.0 * (samplesDone + k) / ASpec.SampleRate));
        for (int ch = 0; ch < ASpec.Channels; ++ch) s[k * ASpec.Channels + ch] = v;
      }
      a->pts = samplesDone;
      samplesDone += n;
      if (!Drain(out, audio, a.get())) {
        AError = "audio encode";
        return false;
      }
    }
    if (i == frames) break;
    ff::FramePtr v(ff::util.av_frame_alloc());
    v->width = ASpec.Width;
    v->height = ASpec.Height;
    v->format = AV_PIX_FMT_YUV420P;
    ff::util.av_frame_get_buffer(v.get(), 0);
    int second = i / ASpec.Fps;
    int quad[4][3];
    for (int q = 0; q < 4; ++q) {
      int r, g, b;
      QuadrantColour(second + q, r, g, b);
      ToYuv(r, g, b, quad[q][0], quad[q][1], quad[q][2]);
    }
    for (int y = 0; y < ASpec.Height; ++y) {
      for (int x = 0; x < ASpec.Width; ++x) {
        int q = (y >= ASpec.Height / 2) * 2 + (x >= ASpec.Width / 2);
        v->data[0][y * v->linesize[0] + x] = static_cast<uint8_t>(quad[q][0]);
        if ((x & 1) == 0 && (y & 1) == 0) {
          v->data[1][(y / 2) * v->linesize[1] + x / 2] = static_cast<uint8_t>(quad[q][1]);
          v->data[2][(y / 2) * v->linesize[2] + x / 2] = static_cast<uint8_t>(quad[q][2]);
        }
      }
    }
    v->pts = i;
    if (!Drain(out, video, v.get())) {
      AError = "video encode";
      return false;
    }
  }
  // Audio-only files.
  while (ASpec.Width <= 0 && ASpec.SampleRate > 0 && samplesDone < samplesTotal) {
    ff::FramePtr a(ff::util.av_frame_alloc());
    int n = static_cast<int>(std::min<int64_t>(kAudioBlock, samplesTotal - samplesDone));
    a->nb_samples = n;
    a->format = AV_SAMPLE_FMT_S16;
    a->sample_rate = ASpec.SampleRate;
    ff::util.av_channel_layout_copy(&a->ch_layout, &audio.Ctx->ch_layout);
    ff::util.av_frame_get_buffer(a.get(), 0);
    auto *s = reinterpret_cast<int16_t *>(a->data[0]);
    for (int k = 0; k < n * ASpec.Channels; ++k)
      s[k] = static_cast<int16_t>(
          8000 *
          std::sin(2 * M_PI * 440.0 * (samplesDone + k / ASpec.Channels) / ASpec.SampleRate));
    a->pts = samplesDone;
    samplesDone += n;
    if (!Drain(out, audio, a.get())) {
      AError = "audio encode";
      return false;
    }
  }
  if ((video.Ctx && !Drain(out, video, nullptr)) || (audio.Ctx && !Drain(out, audio, nullptr))) {
    AError = "flush";
    return false;
  }
  if (ff::format.av_write_trailer(out) < 0) {
    AError = "trailer";
    return false;
  }
  return true;
}
