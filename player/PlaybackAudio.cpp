// Audio: the SDL output device, the decoding thread that converts to 16-bit and keeps
// the sound in step with the master clock, and the SDL callback that only reads the ring.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "Playback.h"
#include "Player.h"

namespace {
void Log(int ALevel, const std::string &AText) {
  ff::util.av_log(nullptr, ALevel, "%s", AText.c_str());
}
constexpr int kAudioBufferSamples = 1024;
constexpr int kDiffAverageCount = 20;
}  // namespace

bool TPlayback::OpenAudioDevice() {
  AVCodecContext *ctx = FCodecs[kAudio].get();
  SDL_AudioSpec wanted{};
  SDL_AudioSpec obtained{};
  wanted.freq = ctx->sample_rate;
  wanted.channels = static_cast<Uint8>(std::clamp(ctx->ch_layout.nb_channels, 1, 2));
  wanted.format = AUDIO_S16SYS;
  wanted.samples = kAudioBufferSamples;
  wanted.callback = &TPlayback::AudioCallback;
  wanted.userdata = this;
  if (wanted.freq <= 0) return false;
  if (FParams.AudioAvailable) {
    FAudioDev = ff::sdl.SDL_OpenAudioDevice(
        nullptr, 0, &wanted, &obtained,
        SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
    if (FAudioDev == 0)
      Log(AV_LOG_WARNING, std::string("SDL_OpenAudio: ") + ff::sdl.SDL_GetError() + "\n");
  }
  if (FAudioDev != 0 && obtained.channels != 1 && obtained.channels != 2) {
    ff::sdl.SDL_CloseAudioDevice(FAudioDev);
    FAudioDev = 0;
  }
  if (FAudioDev == 0) {
    // No sound device: a silent output consumes the sound at the real rate, so the
    // audio clock and everything timed by it behave as with a device.
    obtained = wanted;
    obtained.size = static_cast<Uint32>(wanted.samples) * wanted.channels * 2;
    FSilentOutput = true;
  }
  FAudioRate = obtained.freq;
  FAudioChannels = obtained.channels;
  FBytesPerSec = FAudioRate * FAudioChannels * 2;
  FHwBufBytes = static_cast<int>(obtained.size);
  FCallbackBuf.assign(std::max<size_t>(obtained.size, 4096), 0);
  FRing.Configure(FBytesPerSec, static_cast<size_t>(FBytesPerSec / 4));
  FAudioStop = false;
  FAudioReady.store(true, std::memory_order_release);
  if (FAudioDev != 0) {
    ff::sdl.SDL_PauseAudioDevice(FAudioDev, 0);
  } else {
    FSilentThread = std::thread([this] {
      std::vector<uint8_t> sink(FCallbackBuf.size());
      const auto period =
          std::chrono::duration<double>(static_cast<double>(FHwBufBytes) / FBytesPerSec);
      auto next = std::chrono::steady_clock::now();
      while (!FAbort && !FAudioStop) {
        AudioCallback(this, sink.data(), FHwBufBytes);
        next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(period);
        std::this_thread::sleep_until(next);
      }
    });
  }
  return true;
}

void TPlayback::AudioCallback(void *AOpaque, uint8_t *AStream, int ALength) {
  auto *self = static_cast<TPlayback *>(AOpaque);
  double now = TPlayerClock::Now();
  std::memset(AStream, 0, static_cast<size_t>(ALength));
  // Until the output is set up (SDL may call before it says so) there is only silence.
  if (!self->FAudioReady.load(std::memory_order_acquire)) return;
  if (self->FPaused || ALength <= 0) return;  // silence, and the clock stands still
  size_t want = std::min(static_cast<size_t>(ALength), self->FCallbackBuf.size());
  double endPts = NAN;
  int serial = -1;
  size_t got = self->FRing.Read(self->FCallbackBuf.data(), want, &endPts, &serial);
  if (got == 0) return;  // nothing decoded yet: silence
  if (!self->FOwner.FMute) {
    ff::sdl.SDL_MixAudioFormat(AStream, self->FCallbackBuf.data(), AUDIO_S16SYS,
                               static_cast<Uint32>(got), self->FOwner.FAudioVolume);
  }
  if (!std::isnan(endPts)) {
    // What was just handed over plays after the buffer the device is playing now.
    double latency = static_cast<double>(2 * self->FHwBufBytes) / self->FBytesPerSec;
    self->FAudClk.SetAt(endPts - latency, serial, now);
    self->FExtClk.SyncTo(self->FAudClk);
  }
}

int TPlayback::WantedSamples(int ASamples) {
  if (FMaster == AV_SYNC_AUDIO_MASTER) return ASamples;
  double diff = FAudClk.Get() - MasterClock();
  if (std::isnan(diff) || std::fabs(diff) >= 10.0) {
    // Too far apart to be a drift: start averaging again.
    FDiffCum = 0;
    FDiffCount = 0;
    return ASamples;
  }
  const double coef = std::exp(std::log(0.01) / kDiffAverageCount);
  FDiffCum = diff + coef * FDiffCum;
  if (FDiffCount < kDiffAverageCount) {
    ++FDiffCount;
    return ASamples;
  }
  double avg = FDiffCum * (1.0 - coef);
  if (std::fabs(avg) < 2048.0 / FAudioRate) return ASamples;
  int wanted = ASamples + static_cast<int>(std::lround(diff * FAudioRate));
  int lo = ASamples * 90 / 100;
  int hi = ASamples * 110 / 100;
  return std::clamp(wanted, lo, hi);
}

void TPlayback::RecordSamples(const int16_t *ASamples, int AFrames) {
  std::lock_guard<std::mutex> lock(FSampleLock);
  for (int i = 0; i < AFrames; ++i) {
    int sum = 0;
    for (int c = 0; c < FAudioChannels; ++c) sum += ASamples[i * FAudioChannels + c];
    FSampleArray[FSampleIndex] = static_cast<int16_t>(sum / FAudioChannels);
    FSampleIndex = (FSampleIndex + 1) % kSampleRing;
  }
}

void TPlayback::AudioThread() {
  AVCodecContext *ctx = FCodecs[kAudio].get();
  ff::PacketPtr pkt(ff::codec.av_packet_alloc());
  ff::FramePtr frame(ff::util.av_frame_alloc());
  std::vector<uint8_t> out;
  AVChannelLayout outLayout{};
  ff::util.av_channel_layout_default(&outLayout, FAudioChannels);
  AVRational tb = FStreams[kAudio]->time_base;
  int serial = 0;
  for (;;) {
    TPacketQueue::TGetResult got = FQueues[kAudio].Get(pkt.get(), true, &serial);
    if (got == TPacketQueue::grAborted) break;
    if (got == TPacketQueue::grFlush) {
      ff::codec.avcodec_flush_buffers(ctx);
      FRing.Clear();
      continue;
    }
    int ret = ff::codec.avcodec_send_packet(ctx, pkt->data ? pkt.get() : nullptr);
    if (ret < 0 && ret != AVERROR_EOF && ret != AVERROR(EAGAIN)) {
      Log(AV_LOG_INFO, "avcodec_decode_audio2() failed\n");
      continue;
    }
    for (;;) {
      ret = ff::codec.avcodec_receive_frame(ctx, frame.get());
      if (ret == AVERROR_EOF) {
        ff::codec.avcodec_flush_buffers(ctx);
        break;
      }
      if (ret < 0) break;
      if (serial != FQueues[kAudio].Serial()) {
        ff::util.av_frame_unref(frame.get());
        continue;
      }
      auto fmt = static_cast<AVSampleFormat>(frame->format);
      if (!FSwr || fmt != FSwrFormat || frame->sample_rate != FSwrRate ||
          ff::util.av_channel_layout_compare(&frame->ch_layout, &FSwrLayout) != 0) {
        SwrContext *swr = nullptr;
        ff::resample.swr_alloc_set_opts2(&swr, &outLayout, AV_SAMPLE_FMT_S16, FAudioRate,
                                         &frame->ch_layout, fmt, frame->sample_rate, 0, nullptr);
        FSwr.reset(swr);
        if (!swr || ff::resample.swr_init(swr) < 0) {
          Log(AV_LOG_ERROR, std::string("Cannot convert ") + ff::util.av_get_sample_fmt_name(fmt) +
                                " sample format to s16 sample format\n");
          FSwr.reset();
          ff::util.av_frame_unref(frame.get());
          continue;
        }
        FSwrFormat = fmt;
        FSwrRate = frame->sample_rate;
        ff::util.av_channel_layout_uninit(&FSwrLayout);
        ff::util.av_channel_layout_copy(&FSwrLayout, &frame->ch_layout);
      }
      int maxOut = static_cast<int>(static_cast<int64_t>(frame->nb_samples) * FAudioRate /
                                    frame->sample_rate) +
                   256;
      out.resize(static_cast<size_t>(maxOut) * FAudioChannels * 2 * 11 / 10 + 64);
      uint8_t *outPlanes[1] = {out.data()};
      int n = ff::resample.swr_convert(FSwr.get(), outPlanes, maxOut,
                                       const_cast<const uint8_t **>(frame->extended_data),
                                       frame->nb_samples);
      if (n < 0) {
        Log(AV_LOG_ERROR, "av_audio_convert() failed\n");
        ff::util.av_frame_unref(frame.get());
        continue;
      }
      double pts = NAN;
      if (frame->best_effort_timestamp != AV_NOPTS_VALUE)
        pts = frame->best_effort_timestamp * av_q2d(tb);
      // Keep in step with the master clock by shortening the block or repeating its
      // last sample frame.
      int wanted = WantedSamples(n);
      int frameBytes = FAudioChannels * 2;
      if (wanted > n && n > 0) {
        for (int i = n; i < wanted; ++i)
          std::memcpy(out.data() + static_cast<size_t>(i) * frameBytes,
                      out.data() + static_cast<size_t>(n - 1) * frameBytes, frameBytes);
      }
      n = wanted > 0 ? wanted : n;
      RecordSamples(reinterpret_cast<const int16_t *>(out.data()), n);
      ff::util.av_frame_unref(frame.get());
      if (!FRing.Write(out.data(), static_cast<size_t>(n) * frameBytes, pts, serial)) {
        ff::util.av_channel_layout_uninit(&outLayout);
        return;
      }
    }
  }
  ff::util.av_channel_layout_uninit(&outLayout);
}
