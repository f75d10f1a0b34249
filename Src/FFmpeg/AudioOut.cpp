// Audio output path: decoded samples of an input stream to encoded packets of an
// output stream. Keeps the output in step with the input clock (drop, silence or
// resampler compensation), converts layout, rate and sample format through one
// resampler per output stream, and cuts encoder-sized frames from the stream's FIFO.
#include <cmath>
#include <cstring>

#include "../FFmpegLoader/AVPtr.h"
#include "../FFmpegLoader/FFmpegLoader.h"
#include "FFmpeg.h"

using namespace engine;

namespace {

template <typename T>
void ScaleSamples(uint8_t *AData, size_t ACount, int AVolume, double AMin, double AMax) {
  T *p = reinterpret_cast<T *>(AData);
  for (size_t i = 0; i < ACount; ++i) {
    const double v = static_cast<double>(p[i]) * AVolume / 256.0;
    p[i] = static_cast<T>(std::clamp(v, AMin, AMax));
  }
}

// Encoders that take a last frame shorter than their frame size.
bool TakesShortLastFrame(const AVCodecContext *AEnc) {
  return AEnc->codec && (AEnc->codec->capabilities &
                         (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE));
}

}  // namespace

namespace engine {
std::string SubstituteEncoder(const std::string &AName, const AVOutputFormat *AFormat) {
  if (AName == "libfaac" && !ff::codec.avcodec_find_encoder_by_name("libfaac")) {
    // The stand-in writes AAC; a container that cannot carry it (an MPEG program stream)
    // would only refuse the stream later with a message that hides the missing encoder.
    if (AFormat && ff::format.avformat_query_codec(AFormat, AV_CODEC_ID_AAC,
                                                   FF_COMPLIANCE_NORMAL) != 1)
      return AName;
    EngineLog(llInfo, "Encoder 'libfaac' is not available, using 'aac' in its place");
    return "aac";
  }
  return AName;
}
}  // namespace engine

bool TCustomFFmpeg::EncodingPathReady(AVMediaType) const {
  return true;
}

void TCustomFFmpeg::ApplyVolume(AVFrame *AFrame) {
  if (Faudio_volume == 256 || AFrame->nb_samples <= 0) return;
  if (ff::util.av_frame_make_writable(AFrame) < 0) throw FFmpegException("av_mallocz fail");
  const auto fmt = static_cast<AVSampleFormat>(AFrame->format);
  const int channels = AFrame->ch_layout.nb_channels;
  const bool planar = ff::util.av_sample_fmt_is_planar(fmt);
  const int planes = planar ? channels : 1;
  const size_t count = static_cast<size_t>(AFrame->nb_samples) * (planar ? 1 : channels);
  for (int p = 0; p < planes; ++p) {
    uint8_t *d = AFrame->extended_data[p];
    switch (ff::util.av_get_packed_sample_fmt(fmt)) {
      case AV_SAMPLE_FMT_S16: {
        // Rounded fixed-point gain, as integer samples have always been scaled.
        int16_t *s = reinterpret_cast<int16_t *>(d);
        for (size_t i = 0; i < count; ++i)
          s[i] = static_cast<int16_t>(std::clamp((s[i] * Faudio_volume + 128) >> 8, -32768, 32767));
        break;
      }
      case AV_SAMPLE_FMT_U8: {
        for (size_t i = 0; i < count; ++i) {
          int v = ((d[i] - 128) * Faudio_volume + 128) >> 8;
          d[i] = static_cast<uint8_t>(std::clamp(v, -128, 127) + 128);
        }
        break;
      }
      case AV_SAMPLE_FMT_S32:
        ScaleSamples<int32_t>(d, count, Faudio_volume, INT32_MIN, INT32_MAX);
        break;
      case AV_SAMPLE_FMT_S64:
        ScaleSamples<int64_t>(d, count, Faudio_volume, -9.2233720368547758e18,
                              9.2233720368547748e18);
        break;
      case AV_SAMPLE_FMT_FLT:
        ScaleSamples<float>(d, count, Faudio_volume, -1.0, 1.0);
        break;
      case AV_SAMPLE_FMT_DBL:
        ScaleSamples<double>(d, count, Faudio_volume, -1.0, 1.0);
        break;
      default:
        break;
    }
  }
}

void TCustomFFmpeg::do_audio_out(TAVOutputStream &AOst, TAVInputStream &AIst, AVFrame *AFrame) {
  AVCodecContext *enc = AOst.enc;
  const auto decFmt = static_cast<AVSampleFormat>(AFrame->format);
  const int decChannels = AFrame->ch_layout.nb_channels;
  const int decRate = AFrame->sample_rate;
  const int encChannels = enc->ch_layout.nb_channels;
  const int encRate = enc->sample_rate;
  if (decChannels <= 0 || decRate <= 0 || AFrame->nb_samples <= 0) return;
  const int isize = ff::util.av_get_bytes_per_sample(decFmt);
  const int osize = ff::util.av_get_bytes_per_sample(enc->sample_fmt);
  int inSamples = AFrame->nb_samples;

  // 1. Work-buffer size for the converted block, with room for rate change and silence.
  auto checkSizes = [&](int64_t ABlockBytes) {
    int64_t buf = (ABlockBytes + isize * decChannels - 1) / (isize * decChannels);
    buf = (buf * encRate + decRate) / decRate;
    buf = 2 * buf + 10000;
    buf = std::max<int64_t>(buf, enc->frame_size);
    buf *= static_cast<int64_t>(osize) * encChannels;
    int64_t out =
        std::max<int64_t>(buf, static_cast<int64_t>(enc->frame_size) * osize * encChannels);
    const int coded = ff::codec.av_get_bits_per_sample(enc->codec_id);
    if (coded > 8 * osize) out = out * coded / (8 * osize);
    out += 16384;
    if (buf > INT32_MAX || out > INT32_MAX)
      throw FFmpegException("Buffer sizes too large in do_audio_out");
    return buf;
  };
  const int64_t blockBytes = static_cast<int64_t>(inSamples) * isize * decChannels;
  int64_t bufBytes = checkSizes(blockBytes);

  // 2.-4. One resampler per output stream, for layout, rate or format changes.
  if (decChannels != encChannels) AOst.audio_resample = 1;
  const int pair = static_cast<int>(enc->sample_fmt) + 5 * static_cast<int>(decFmt);
  if (AOst.resample && !AOst.audio_resample && decFmt != enc->sample_fmt &&
      pair != AOst.reformat_pair)
    ff::resample.swr_free(&AOst.resample);  // the decoder changed its sample format
  if (!AOst.resample && (AOst.audio_resample || decFmt != enc->sample_fmt)) {
    AVChannelLayout inLayout{};
    if (AFrame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
      ff::util.av_channel_layout_default(&inLayout, decChannels);
    else
      ff::util.av_channel_layout_copy(&inLayout, &AFrame->ch_layout);
    if (AOst.audio_resample) {
      if (decFmt != AV_SAMPLE_FMT_S16 && Fverbose > 0)
        EngineLog(llVerbose, "Warning, using s16 intermediate sample format for resampling");
      int ret = ff::resample.swr_alloc_set_opts2(&AOst.resample, &enc->ch_layout, enc->sample_fmt,
                                                 encRate, &inLayout, decFmt, decRate, 0, nullptr);
      if (ret >= 0) {
        ff::util.av_opt_set_int(AOst.resample, "filter_size", 16, 0);
        ff::util.av_opt_set_int(AOst.resample, "phase_shift", 10, 0);
        ff::util.av_opt_set_int(AOst.resample, "linear_interp", 0, 0);
        ff::util.av_opt_set_double(AOst.resample, "cutoff", 0.8, 0);
        ret = ff::resample.swr_init(AOst.resample);
      }
      ff::util.av_channel_layout_uninit(&inLayout);
      if (ret < 0) {
        ff::resample.swr_free(&AOst.resample);
        throw FFmpegException(Format("Can not resample %d channels @ %d Hz to %d channels @ %d Hz",
                                     decChannels, decRate, encChannels, encRate));
      }
    } else {
      int ret = ff::resample.swr_alloc_set_opts2(&AOst.resample, &enc->ch_layout, enc->sample_fmt,
                                                 encRate, &inLayout, decFmt, decRate, 0, nullptr);
      if (ret >= 0) ret = ff::resample.swr_init(AOst.resample);
      ff::util.av_channel_layout_uninit(&inLayout);
      if (ret < 0) {
        ff::resample.swr_free(&AOst.resample);
        const char *from = ff::util.av_get_sample_fmt_name(decFmt);
        const char *to = ff::util.av_get_sample_fmt_name(enc->sample_fmt);
        throw FFmpegException(Format("Cannot convert %s sample format to %s sample format",
                                     from ? from : "none", to ? to : "none"));
      }
      AOst.reformat_pair = pair;
    }
  }

  // 5. Sync with the input clock.
  int skip = 0;  // input samples dropped from the front of the block
  const double t = ((AOst.sync_ist ? AOst.sync_ist->pts : AIst.pts) - Fstart_time) / 1000000.0;
  int64_t queued = ff::util.av_audio_fifo_size(AOst.fifo);
  if (AOst.resample) queued += ff::resample.swr_get_delay(AOst.resample, encRate);
  if (Faudio_sync_method == 0) {
    AOst.sync_opts = std::llround(t * encRate) - queued;
  } else {
    const double delta = t * encRate - static_cast<double>(AOst.sync_opts) - queued;
    const double idelta = delta * decRate / encRate;
    int64_t sampleDelta = static_cast<int64_t>(idelta);
    if (std::fabs(delta) > 50) {
      if (AIst.is_start || std::fabs(delta) > Faudio_drift_threshold * encRate) {
        if (sampleDelta < 0) {
          sampleDelta = std::max<int64_t>(sampleDelta, -inSamples);
          if (Fverbose > 2)
            EngineLogF(llVerbose, "discarding %d audio samples", static_cast<int>(-delta));
          skip = static_cast<int>(-sampleDelta);
          if (skip >= inSamples) return;
          AIst.is_start = 0;
        } else {
          const int64_t grown = blockBytes + sampleDelta * isize * decChannels;
          if (sampleDelta * isize * decChannels > bufBytes - blockBytes)
            bufBytes = checkSizes(grown);
          AIst.is_start = 0;
          if (Fverbose > 2)
            EngineLogF(llVerbose, "adding %d audio samples of silence", static_cast<int>(delta));
          if (AOst.resample) {
            if (ff::resample.swr_inject_silence(AOst.resample, static_cast<int>(sampleDelta)) < 0)
              throw FFmpegException("Audio encoding failed");
          } else {
            const int n = static_cast<int>(sampleDelta);
            uint8_t **silence = nullptr;
            if (ff::util.av_samples_alloc_array_and_samples(&silence, nullptr, encChannels, n,
                                                            enc->sample_fmt, 0) < 0)
              throw FFmpegException("Out of memory in do_audio_out");
            ff::util.av_samples_set_silence(silence, 0, n, encChannels, enc->sample_fmt);
            const int written =
                ff::util.av_audio_fifo_write(AOst.fifo, reinterpret_cast<void **>(silence), n);
            ff::util.av_freep(&silence[0]);
            ff::util.av_freep(&silence);
            if (written < n) throw FFmpegException("av_fifo_realloc2() failed");
          }
        }
      } else if (Faudio_sync_method > 1 && AOst.resample) {
        const int comp = static_cast<int>(std::clamp<double>(
            static_cast<int64_t>(delta), -Faudio_sync_method, Faudio_sync_method));
        if (Fverbose > 2)
          EngineLogF(llVerbose, "compensating audio timestamp drift:%f compensation:%d in:%d",
                     delta, comp, encRate);
        ff::resample.swr_set_compensation(AOst.resample, comp, encRate);
      }
    }
    // Only the first block is the start: later drift under the threshold stays as it is.
    AIst.is_start = 0;
  }

  // 6. Conversion into the encoder's format, appended to the FIFO.
  const bool planar = ff::util.av_sample_fmt_is_planar(decFmt);
  const int planes = planar ? decChannels : 1;
  std::vector<const uint8_t *> in(static_cast<size_t>(planes));
  for (int p = 0; p < planes; ++p)
    in[p] =
        AFrame->extended_data[p] + static_cast<size_t>(skip) * isize * (planar ? 1 : decChannels);
  inSamples -= skip;
  if (AOst.resample) {
    const int room = ff::resample.swr_get_out_samples(AOst.resample, inSamples);
    if (room < 0) throw FFmpegException("Out of memory in do_audio_out");
    const int outPlanes = ff::util.av_sample_fmt_is_planar(enc->sample_fmt) ? encChannels : 1;
    const size_t planeBytes =
        static_cast<size_t>(room) * osize * (outPlanes == 1 ? encChannels : 1);
    if (Faudio_buf.size() < planeBytes * outPlanes) Faudio_buf.resize(planeBytes * outPlanes);
    std::vector<uint8_t *> out(static_cast<size_t>(outPlanes));
    for (int p = 0; p < outPlanes; ++p) out[p] = Faudio_buf.data() + planeBytes * p;
    const int got = ff::resample.swr_convert(AOst.resample, out.data(), room, in.data(), inSamples);
    if (got < 0) {
      if (Fexit_on_error) throw FFmpegException("av_audio_convert() failed");
      EngineLog(llError, "av_audio_convert() failed");
      return;
    }
    if (got > 0 &&
        ff::util.av_audio_fifo_write(AOst.fifo, reinterpret_cast<void **>(out.data()), got) < got)
      throw FFmpegException("av_fifo_realloc2() failed");
  } else if (ff::util.av_audio_fifo_write(
                 AOst.fifo, reinterpret_cast<void **>(const_cast<uint8_t **>(in.data())),
                 inSamples) < inSamples) {
    throw FFmpegException("av_fifo_realloc2() failed");
  }

  // 7. Encoder-sized frames; sample-based encoders take everything at once.
  if (enc->frame_size > 1) {
    while (ff::util.av_audio_fifo_size(AOst.fifo) >= enc->frame_size)
      EncodeAudioFrame(AOst, enc->frame_size, false);
  } else {
    const int n = ff::util.av_audio_fifo_size(AOst.fifo);
    if (n > 0) EncodeAudioFrame(AOst, n, false);
  }
}

void TCustomFFmpeg::EncodeAudioFrame(TAVOutputStream &AOst, int ASamples, bool APadToFrameSize) {
  AVCodecContext *enc = AOst.enc;
  const int samples = APadToFrameSize ? std::max(ASamples, enc->frame_size) : ASamples;
  if (!AOst.work_frame) {
    AOst.work_frame = ff::util.av_frame_alloc();
    if (!AOst.work_frame) throw FFmpegException("Out of memory in do_audio_out");
  }
  AVFrame *f = AOst.work_frame;
  // The frame keeps its buffer while it is big enough and the encoder let go of it.
  if (!f->buf[0] || f->nb_samples < samples || ff::util.av_frame_make_writable(f) < 0) {
    ff::util.av_frame_unref(f);
    f->format = enc->sample_fmt;
    f->sample_rate = enc->sample_rate;
    ff::util.av_channel_layout_copy(&f->ch_layout, &enc->ch_layout);
    f->nb_samples = std::max(samples, enc->frame_size);
    if (ff::util.av_frame_get_buffer(f, 0) < 0)
      throw FFmpegException("Out of memory in do_audio_out");
  }
  f->nb_samples = samples;
  const int got =
      ff::util.av_audio_fifo_read(AOst.fifo, reinterpret_cast<void **>(f->extended_data), ASamples);
  if (got < ASamples) throw FFmpegException("Audio encoding failed");
  if (samples > ASamples)
    ff::util.av_samples_set_silence(f->extended_data, ASamples, samples - ASamples,
                                    enc->ch_layout.nb_channels, enc->sample_fmt);
  f->pts = ff::util.av_rescale_q(AOst.sync_opts, AVRational{1, enc->sample_rate}, enc->time_base);
  if (ff::codec.avcodec_send_frame(enc, f) < 0) throw FFmpegException("Audio encoding failed");
  AOst.sync_opts += samples;
  ReceivePackets(AOst);
}

void TCustomFFmpeg::ReceivePackets(TAVOutputStream &AOst) {
  AVCodecContext *enc = AOst.enc;
  const bool audio = enc->codec_type == AVMEDIA_TYPE_AUDIO;
  ff::PacketPtr pkt(ff::codec.av_packet_alloc());
  if (!pkt) throw FFmpegException("av_mallocz fail");
  for (;;) {
    int ret = ff::codec.avcodec_receive_packet(enc, pkt.get());
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return;
    if (ret < 0) throw FFmpegException(audio ? "Audio encoding failed" : "Video encoding failed");
    const int size = pkt->size;
    if (audio) {
      Faudio_size += size;
    } else {
      Fvideo_size += size;
      size_t sdSize = 0;
      if (const uint8_t *sd =
              ff::codec.av_packet_get_side_data(pkt.get(), AV_PKT_DATA_QUALITY_STATS, &sdSize);
          sd && sdSize >= 5) {
        const int quality =
            static_cast<int>(sd[0] | sd[1] << 8 | sd[2] << 16 | static_cast<uint32_t>(sd[3]) << 24);
        // Some encoders (libx264 while draining) mark the last packets with no quantiser;
        // the last one they did give still stands for the stream.
        if (quality >= 0) AOst.last_quality = quality;
        AOst.last_pict_type = sd[4];
        const int errors = sdSize >= 6 ? sd[5] : 0;
        for (int i = 0; i < 3 && i < errors && 8 + 8 * (i + 1) <= static_cast<int>(sdSize); ++i) {
          int64_t e = 0;
          std::memcpy(&e, sd + 8 + 8 * i, 8);
          AOst.last_error[i] = e;
          AOst.error_sum[i] += e;
        }
      }
      if (AOst.logfile && enc->stats_out) std::fputs(enc->stats_out, AOst.logfile);
    }
    // One picture lasts one tick of the encoder's clock; muxers need it for the last one.
    if (!audio && pkt->duration <= 0) pkt->duration = 1;
    if (pkt->pts != AV_NOPTS_VALUE) AOst.last_pkt_pts = pkt->pts;
    ff::codec.av_packet_rescale_ts(pkt.get(), enc->time_base, AOst.st->time_base);
    pkt->stream_index = AOst.st->index;
    pkt->time_base = AOst.st->time_base;
    WriteOutputPacket(Foutput_files[AOst.file_index]->ctx, pkt.get(), AOst);
    ff::codec.av_packet_unref(pkt.get());
    if (!audio && !Fvstats_filename.empty()) WriteVideoStats(AOst, size);
  }
}

void TCustomFFmpeg::FlushEncoder(TAVOutputStream &AOst) {
  if (AOst.encoder_flushed) return;
  AVCodecContext *enc = AOst.enc;
  if (enc->codec_type == AVMEDIA_TYPE_AUDIO) {
    // What the resampler still holds, then the rest of the FIFO: whole frames, and a
    // last frame that is short when the encoder takes it so, else padded with silence.
    if (AOst.resample) {
      const int room = std::max(ff::resample.swr_get_out_samples(AOst.resample, 0), 0) + 256;
      const int encChannels = enc->ch_layout.nb_channels;
      const int osize = ff::util.av_get_bytes_per_sample(enc->sample_fmt);
      const int outPlanes = ff::util.av_sample_fmt_is_planar(enc->sample_fmt) ? encChannels : 1;
      const size_t planeBytes =
          static_cast<size_t>(room) * osize * (outPlanes == 1 ? encChannels : 1);
      if (Faudio_buf.size() < planeBytes * outPlanes) Faudio_buf.resize(planeBytes * outPlanes);
      std::vector<uint8_t *> out(static_cast<size_t>(outPlanes));
      for (int p = 0; p < outPlanes; ++p) out[p] = Faudio_buf.data() + planeBytes * p;
      const int got = ff::resample.swr_convert(AOst.resample, out.data(), room, nullptr, 0);
      if (got > 0 &&
          ff::util.av_audio_fifo_write(AOst.fifo, reinterpret_cast<void **>(out.data()), got) < got)
        throw FFmpegException("av_fifo_realloc2() failed");
    }
    if (enc->frame_size > 1) {
      while (ff::util.av_audio_fifo_size(AOst.fifo) >= enc->frame_size)
        EncodeAudioFrame(AOst, enc->frame_size, false);
    }
    const int rest = ff::util.av_audio_fifo_size(AOst.fifo);
    if (rest > 0) EncodeAudioFrame(AOst, rest, enc->frame_size > 1 && !TakesShortLastFrame(enc));
  }
  AOst.encoder_flushed = 1;
  int ret = ff::codec.avcodec_send_frame(enc, nullptr);
  if (ret < 0 && ret != AVERROR_EOF)
    throw FFmpegException(enc->codec_type == AVMEDIA_TYPE_AUDIO ? "Audio encoding failed"
                                                                : "Video encoding failed");
  ReceivePackets(AOst);
}
