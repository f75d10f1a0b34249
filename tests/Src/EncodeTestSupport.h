// Helpers of the encoding-path tests: a PCM source with chosen samples and time stamps,
// and readers for the samples and pictures of an output.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "EngineTestSupport.h"

namespace encodetest {

// One run of samples (every channel the same value, or a ramp when AValue < 0) starting
// at a given time.
struct TSegment {
  double Start;  // seconds
  int Samples;
  int Value;  // sample value; -1 gives a 1000-step ramp
};

// Writes 16-bit PCM in Matroska, 1024 samples per packet, with the segments' times.
inline void WritePcmMkv(const std::string &APath, int ARate, int AChannels,
                        const std::vector<TSegment> &ASegments) {
  AVFormatContext *oc = nullptr;
  ASSERT_GE(ff::format.avformat_alloc_output_context2(&oc, nullptr, "matroska", APath.c_str()), 0);
  AVStream *st = ff::format.avformat_new_stream(oc, nullptr);
  st->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
  st->codecpar->codec_id = AV_CODEC_ID_PCM_S16LE;
  st->codecpar->sample_rate = ARate;
  ff::util.av_channel_layout_default(&st->codecpar->ch_layout, AChannels);
  st->codecpar->bits_per_coded_sample = 16;
  st->codecpar->block_align = 2 * AChannels;
  st->time_base = AVRational{1, ARate};
  ASSERT_GE(ff::format.avio_open(&oc->pb, APath.c_str(), AVIO_FLAG_WRITE), 0);
  ASSERT_GE(ff::format.avformat_write_header(oc, nullptr), 0);
  AVPacket *pkt = ff::codec.av_packet_alloc();
  for (const TSegment &s : ASegments) {
    for (int done = 0; done < s.Samples; done += 1024) {
      const int n = std::min(1024, s.Samples - done);
      ff::codec.av_new_packet(pkt, n * 2 * AChannels);
      auto *d = reinterpret_cast<int16_t *>(pkt->data);
      for (int i = 0; i < n; ++i)
        for (int c = 0; c < AChannels; ++c)
          d[i * AChannels + c] =
              static_cast<int16_t>(s.Value >= 0 ? s.Value : ((done + i) % 64) * 1000 - 32000);
      pkt->pts = pkt->dts = ff::util.av_rescale_q(std::llround(s.Start * ARate) + done,
                                                  AVRational{1, ARate}, st->time_base);
      pkt->duration = ff::util.av_rescale_q(n, AVRational{1, ARate}, st->time_base);
      pkt->stream_index = 0;
      ASSERT_GE(ff::format.av_interleaved_write_frame(oc, pkt), 0);
    }
  }
  ff::codec.av_packet_free(&pkt);
  ff::format.av_write_trailer(oc);
  ff::format.avio_closep(&oc->pb);
  ff::format.avformat_free_context(oc);
}

// All 16-bit samples of a PCM output (interleaved), with its rate and channel count.
struct TPcm {
  std::vector<int16_t> Samples;
  int Rate = 0, Channels = 0;
};

inline TPcm ReadPcm(const std::string &APath) {
  TPcm r;
  AVFormatContext *ic = nullptr;
  if (ff::format.avformat_open_input(&ic, APath.c_str(), nullptr, nullptr) < 0) return r;
  ff::format.avformat_find_stream_info(ic, nullptr);
  r.Rate = ic->streams[0]->codecpar->sample_rate;
  r.Channels = ic->streams[0]->codecpar->ch_layout.nb_channels;
  AVPacket *pkt = ff::codec.av_packet_alloc();
  while (ff::format.av_read_frame(ic, pkt) >= 0) {
    const auto *d = reinterpret_cast<const int16_t *>(pkt->data);
    r.Samples.insert(r.Samples.end(), d, d + pkt->size / 2);
    ff::codec.av_packet_unref(pkt);
  }
  ff::codec.av_packet_free(&pkt);
  ff::format.avformat_close_input(&ic);
  return r;
}

// Mean of the first plane of every decoded picture of the first video stream.
inline std::vector<double> LumaMeans(const std::string &APath) {
  std::vector<double> means;
  AVFormatContext *ic = nullptr;
  if (ff::format.avformat_open_input(&ic, APath.c_str(), nullptr, nullptr) < 0) return means;
  ff::format.avformat_find_stream_info(ic, nullptr);
  const int vs = ff::format.av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (vs < 0) {
    ff::format.avformat_close_input(&ic);
    return means;
  }
  const AVCodec *codec = ff::codec.avcodec_find_decoder(ic->streams[vs]->codecpar->codec_id);
  AVCodecContext *dec = ff::codec.avcodec_alloc_context3(codec);
  ff::codec.avcodec_parameters_to_context(dec, ic->streams[vs]->codecpar);
  ff::codec.avcodec_open2(dec, codec, nullptr);
  AVPacket *pkt = ff::codec.av_packet_alloc();
  AVFrame *f = ff::util.av_frame_alloc();
  auto drain = [&] {
    while (ff::codec.avcodec_receive_frame(dec, f) >= 0) {
      double sum = 0;
      for (int y = 0; y < f->height; ++y)
        for (int x = 0; x < f->width; ++x) sum += f->data[0][y * f->linesize[0] + x];
      means.push_back(sum / (double(f->width) * f->height));
      ff::util.av_frame_unref(f);
    }
  };
  while (ff::format.av_read_frame(ic, pkt) >= 0) {
    if (pkt->stream_index == vs) {
      ff::codec.avcodec_send_packet(dec, pkt);
      drain();
    }
    ff::codec.av_packet_unref(pkt);
  }
  ff::codec.avcodec_send_packet(dec, nullptr);
  drain();
  ff::util.av_frame_free(&f);
  ff::codec.av_packet_free(&pkt);
  ff::codec.avcodec_free_context(&dec);
  ff::format.avformat_close_input(&ic);
  return means;
}

}  // namespace encodetest
