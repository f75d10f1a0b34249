// The display step run by the play thread: picture timing and dropping, drawing into the
// host's surface, the wave form and spectrum of files without video, position reports.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "Playback.h"
#include "Player.h"

namespace {
constexpr double kRefreshRate = 0.01;
constexpr double kNoSyncThreshold = 10.0;
constexpr double kMinSyncThreshold = 0.01;
}  // namespace

double TPlayback::Refresh() {
  double remaining = kRefreshRate;
  double now = TPlayerClock::Now();
  if (!FStarted) {
    FStarted = true;
    FFrameTimer = now;
  }
  IVideoSurface *surface = FParams.DisableDisplay ? nullptr : FParams.Surface;
  TShowAudio show = FOwner.FShowAudio;
  if (!HasVideo() && surface && FStreamIndex[kAudio] >= 0) {
    if (show != FLastShowAudio) {
      FLastShowAudio = show;
      surface->Clear();
      FSpectrumX = 0;
      FLastAudioDraw = 0;
    }
    if (show != saNone) {
      double interval = std::max(FParams.RdftSpeed, 1) / 1000.0;
      if (now - FLastAudioDraw >= interval || FForceRefresh) {
        AudioDisplay();
        FLastAudioDraw = now;
        FForceRefresh = false;
      }
      remaining = std::min(remaining, std::max(0.0, FLastAudioDraw + interval - now));
    }
  }
  if (HasVideo()) VideoRefresh(remaining);
  UpdatePosition();
  return std::max(remaining, 0.001);
}

double TPlayback::ComputeTargetDelay(double ADelay) const {
  if (FMaster == AV_SYNC_VIDEO_MASTER) return ADelay;
  double diff = FVidClk.Get() - MasterClock();
  if (std::isnan(diff) || std::fabs(diff) >= kNoSyncThreshold) return ADelay;
  double threshold = std::max(ADelay, kMinSyncThreshold);
  if (diff <= -threshold) return 0;          // behind: show at once
  if (diff >= threshold) return 2 * ADelay;  // ahead: wait twice as long
  return ADelay;
}

void TPlayback::VideoRefresh(double &ARemaining) {
  for (;;) {
    if (FPictures.Pending() == 0) break;
    TPicture &vp = FPictures.Next();
    if (vp.Serial != FQueues[kVideo].Serial()) {
      FPictures.Pop();  // from before a seek
      continue;
    }
    bool shown = FPictures.HasShown();
    if (!shown || FPictures.Last().Serial != vp.Serial) FFrameTimer = TPlayerClock::Now();
    if (FPaused) {
      // Paused: only the first picture after opening or seeking is put up.
      if (!shown || FPictures.Last().Serial != vp.Serial) {
        FPictures.Pop();
        if (!std::isnan(vp.Pts)) FVidClk.Set(vp.Pts, vp.Serial);
        FForceRefresh = true;
      }
      break;
    }
    // The first picture of a file or of a seek goes up at once.
    double delay = 0;
    if (shown && FPictures.Last().Serial == vp.Serial) {
      delay = FLastDelay;
      double d = vp.Pts - FPictures.Last().Pts;
      if (!std::isnan(d) && d > 0 && d < 10.0) delay = d;
      FLastDelay = delay;
      delay = ComputeTargetDelay(delay);
    }
    double time = TPlayerClock::Now();
    if (time < FFrameTimer + delay) {
      ARemaining = std::min(FFrameTimer + delay - time, ARemaining);
      break;
    }
    FFrameTimer += delay;
    if (delay > 0 && time - FFrameTimer > 0.1) FFrameTimer = time;
    if (!std::isnan(vp.Pts)) {
      FVidClk.Set(vp.Pts, vp.Serial);
      FExtClk.SyncTo(FVidClk);
    }
    bool seekPending = FSeekPending;
    if (!FStep && (FPictures.Pending() > 1 || seekPending)) {
      double nextTarget = FFrameTimer;
      if (FPictures.Pending() > 1) {
        TPicture &next = FPictures.NextNext();
        double d = next.Pts - vp.Pts;
        nextTarget += (!std::isnan(d) && d > 0 && d < 10.0) ? d : delay;
      }
      bool late = FParams.FrameDrop && time > nextTarget && !FRealtime;
      if (late || seekPending) {
        FSkipRatio = FSkipRatio * 1.05;
        if (FPictures.Pending() > 1 || time > nextTarget + 0.5 || seekPending) {
          FPictures.Pop();  // dropped unseen
          continue;
        }
      }
    }
    FPictures.Pop();
    FForceRefresh = true;
    if (FStep && !FPaused) {
      FStep = false;
      TogglePause();
    }
    break;
  }
  if (FForceRefresh && FPictures.HasShown()) VideoDisplay();
  FForceRefresh = false;
  // A subtitle that begins or ends between two pictures, or is decoded after a paused
  // picture went up, is drawn at once.
  if (FPictures.HasShown()) {
    const TSubtitle *subtitle = CurrentSubtitle(FPictures.Last().Pts);
    if ((subtitle ? subtitle->Id : -1) != FDrawnSubtitle) VideoDisplay();
  }
}

void TPlayback::DisplaySize(const AVFrame *AFrame, int &AWidth, int &AHeight) {
  AWidth = AHeight = 0;
  int sw = FDrawWidth, sh = FDrawHeight;
  if ((sw <= 0 || sh <= 0) && FParams.Surface) FParams.Surface->ClientSize(sw, sh);
  if (sw <= 0 || sh <= 0) return;
  double aspect = FOwner.FAspectRatio;
  if (aspect <= 0 && AFrame && AFrame->width > 0 && AFrame->height > 0) {
    aspect = static_cast<double>(AFrame->width) / AFrame->height;
    if (AFrame->sample_aspect_ratio.num > 0 && AFrame->sample_aspect_ratio.den > 0)
      aspect *= av_q2d(AFrame->sample_aspect_ratio);
  }
  if (aspect <= 0) aspect = static_cast<double>(sw) / sh;
  int h = sh;
  int w = static_cast<int>(std::lrint(h * aspect)) & ~1;
  if (w > sw) {
    w = sw & ~1;
    h = static_cast<int>(std::lrint(w / aspect)) & ~1;
  }
  AWidth = std::max(w, 2);
  AHeight = std::max(h & ~1, 2);
}

bool TPlayback::ToBitmap(const AVFrame *AFrame, int AWidth, int AHeight, TPlayerBitmap &ABitmap,
                         SwsContext *&AContext) {
  if (!AFrame || AFrame->width <= 0 || AFrame->height <= 0 || AWidth <= 0 || AHeight <= 0)
    return false;
  AContext = ff::scale.sws_getCachedContext(
      AContext, AFrame->width, AFrame->height, static_cast<AVPixelFormat>(AFrame->format), AWidth,
      AHeight, AV_PIX_FMT_RGB24, TFFPlayer::kScalerFlags, nullptr, nullptr, nullptr);
  if (!AContext) return false;
  if (ABitmap.Width != AWidth || ABitmap.Height != AHeight) ABitmap.Resize(AWidth, AHeight);
  uint8_t *dst[4] = {ABitmap.Pixels.data(), nullptr, nullptr, nullptr};
  int stride[4] = {ABitmap.Stride, 0, 0, 0};
  return ff::scale.sws_scale(AContext, AFrame->data, AFrame->linesize, 0, AFrame->height, dst,
                             stride) > 0;
}

void TPlayback::VideoDisplay() {
  const TSubtitle *subtitle = CurrentSubtitle(FPictures.Last().Pts);
  FDrawnSubtitle = subtitle ? subtitle->Id : -1;
  IVideoSurface *surface = FParams.DisableDisplay ? nullptr : FParams.Surface;
  if (!surface) return;
  const AVFrame *frame = FPictures.Last().Frame;
  int w = 0, h = 0;
  DisplaySize(frame, w, h);
  if (!ToBitmap(frame, w, h, FDisplayBitmap, FDisplaySws)) return;
  DrawSubtitle(subtitle, FDisplayBitmap);
  if (FParams.VerticalFlip) {
    std::vector<uint8_t> row(static_cast<size_t>(FDisplayBitmap.Stride));
    for (int y = 0; y < h / 2; ++y) {
      uint8_t *a = FDisplayBitmap.Row(y);
      uint8_t *b = FDisplayBitmap.Row(h - 1 - y);
      std::memcpy(row.data(), a, row.size());
      std::memcpy(a, b, row.size());
      std::memcpy(b, row.data(), row.size());
    }
  }
  surface->Present(FDisplayBitmap);
}

void TPlayback::AudioDisplay() {
  IVideoSurface *surface = FParams.Surface;
  int w = FDrawWidth, h = FDrawHeight;
  if ((w <= 0 || h <= 0) && surface) surface->ClientSize(w, h);
  if (!surface || w <= 0 || h <= 0) return;
  TShowAudio show = FOwner.FShowAudio;
  if (FDisplayBitmap.Width != w || FDisplayBitmap.Height != h) {
    FDisplayBitmap.Resize(w, h);
    FSpectrumX = 0;
  }
  // The samples now being heard: the newest decoded ones less what waits for the device.
  int frameBytes = std::max(1, FAudioChannels * 2);
  int delay =
      static_cast<int>((FRing.Buffered() + 2 * static_cast<size_t>(FHwBufBytes)) / frameBytes);
  int count = show == saWave ? w : 0;
  int bits = 0;
  if (show == saRDFT) {
    while ((1 << bits) < 2 * h) ++bits;
    count = 1 << bits;
  }
  std::vector<int16_t> samples(static_cast<size_t>(count));
  {
    std::lock_guard<std::mutex> lock(FSampleLock);
    int start = FSampleIndex - std::min(delay, kSampleRing / 2) - count;
    start = ((start % kSampleRing) + kSampleRing) % kSampleRing;
    for (int i = 0; i < count; ++i) samples[i] = FSampleArray[(start + i) % kSampleRing];
  }
  if (show == saWave) {
    std::fill(FDisplayBitmap.Pixels.begin(), FDisplayBitmap.Pixels.end(), 0);
    int mid = h / 2;
    for (int x = 0; x < w; ++x) {
      int y = mid - samples[x] * (h / 2) / 32768;
      y = std::clamp(y, 0, h - 1);
      for (int yy = std::min(mid, y); yy <= std::max(mid, y); ++yy) {
        uint8_t *p = FDisplayBitmap.Row(yy) + x * 3;
        p[0] = 255;
        p[1] = 255;
        p[2] = 255;
      }
    }
  } else if (show == saRDFT) {
    if (!FRdft || FRdftBits != bits) {
      if (FRdft) ff::codec.av_rdft_end(FRdft);
      FRdft = ff::codec.av_rdft_init(bits, DFT_R2C);
      FRdftBits = bits;
      FRdftData.assign(static_cast<size_t>(count), 0.f);
    }
    if (!FRdft) return;
    for (int i = 0; i < count; ++i) {
      // Welch window.
      double wnd = 1.0 - std::pow((i - count / 2.0) / (count / 2.0), 2);
      FRdftData[i] = static_cast<float>(samples[i] * wnd);
    }
    ff::codec.av_rdft_calc(FRdft, FRdftData.data());
    int x = FSpectrumX % w;
    for (int y = 0; y < h; ++y) {
      float re = FRdftData[2 * y];
      float im = y == 0 ? 0.f : FRdftData[2 * y + 1];
      int a = static_cast<int>(std::sqrt(128.0 * std::sqrt(re * re + im * im) / count * 64));
      a = std::min(a, 255);
      uint8_t *p = FDisplayBitmap.Row(h - 1 - y) + x * 3;
      p[0] = static_cast<uint8_t>(a);
      p[1] = static_cast<uint8_t>(a);
      p[2] = static_cast<uint8_t>(255 - a / 2 > 255 ? 255 : a);
    }
    FSpectrumX = (x + 1) % w;
  }
  surface->Present(FDisplayBitmap);
}

void TPlayback::ClearDrawing() {
  FForceRefresh = true;
  FSpectrumX = 0;
  if (FParams.Surface && !FParams.DisableDisplay) FParams.Surface->Clear();
}

void TPlayback::UpdatePosition() {
  // Once the read thread has taken a seek, a valid clock is one from after it.
  bool seekTaken = !FSeekReq;
  double clock = HasVideo() ? FVidClk.Get() : FAudClk.Get();
  if (!std::isnan(clock)) {
    if (seekTaken) FPositionStale = false;
    int64_t pos = static_cast<int64_t>(std::llround(clock * 1e6)) - FStartTimeUs;
    if (pos < 0) pos = 0;
    if (FDurationUs > 0 && pos >= FDurationUs) pos = FDurationUs;
    FOwner.ReportPosition(pos);
    if (FParams.PlayTime != INT64_MIN && FParams.PlayTime > 0) {
      int64_t begin = FParams.StartTime != INT64_MIN ? FParams.StartTime : 0;
      int64_t limit = begin + FParams.PlayTime;
      if (pos < limit) {
        FLoopArmed = true;
      } else if (FLoopArmed && !FSeekReq) {
        FLoopArmed = false;
        if (FParams.RepeatType == rtStop) {
          FOwner.RequestQuit();
        } else if (FParams.RepeatType == rtLoop) {
          if (FParams.StartTime != INT64_MIN)
            RequestSeek(FParams.StartTime + FStartTimeUs, 0, 0);
          else
            RequestSeek(FStartTimeUs, 0, AVSEEK_FLAG_ANY);
          FOwner.FEndRaised = false;
        }
      }
    }
  }
  // Not while a seek waits for the read thread: the end met before it is gone.
  if (!FSeekReq && FEndReached && (!HasVideo() || FPictures.Pending() == 0) &&
      (FStreamIndex[kAudio] < 0 || FRing.Buffered() == 0))
    FOwner.RaiseEnd();
}

bool TPlayback::GrabCurrentFrame(TPlayerBitmap &ABitmap, int64_t &APts) {
  APts = -1;
  if (!HasVideo()) {
    ABitmap.Resize(0, 0);
    return false;
  }
  int w = FParams.FrameWidth > 0 ? FParams.FrameWidth : FFrameWidth.load();
  int h = FParams.FrameHeight > 0 ? FParams.FrameHeight : FFrameHeight.load();
  ABitmap.Resize(w, h);  // black
  // Right after opening or seeking the picture about to go up is the current one.
  if (!FPictures.HasShown() && FPictures.Pending() == 0) return true;
  TPicture &pic = FPictures.HasShown() ? FPictures.Last() : FPictures.Next();
  if (!ToBitmap(pic.Frame, w, h, ABitmap, FGrabSws)) {
    ABitmap.Resize(0, 0);
    return false;
  }
  if (!std::isnan(pic.Pts)) APts = static_cast<int64_t>(std::llround(pic.Pts * 1e6)) - FStartTimeUs;
  return true;
}
