// Opening the file and the read thread: demultiplexing into the packet queues, read-ahead
// limits, the end of input and seeking.
#include <cinttypes>
#include <cstring>

#include "Playback.h"
#include "Player.h"

namespace {

constexpr int64_t kMaxQueueBytes = 15 * 1024 * 1024;
constexpr int64_t kMinAudioBytes = 320 * 1024;
constexpr int kMinFrames = 5;

std::string ErrorText(int ACode) {
  char buf[AV_ERROR_MAX_STRING_SIZE] = {0};
  if (ff::util.av_strerror(ACode, buf, sizeof buf) < 0)
    std::snprintf(buf, sizeof buf, "error %d", ACode);
  return buf;
}

void Log(int ALevel, const std::string &AText) {
  ff::util.av_log(nullptr, ALevel, "%s", AText.c_str());
}

void SleepMs(int AMs) {
  std::this_thread::sleep_for(std::chrono::milliseconds(AMs));
}

}  // namespace

TPlayback::TPlayback(TFFPlayer &AOwner, TPlaybackParams AParams)
    : FOwner(AOwner), FParams(std::move(AParams)) {}

TPlayback::~TPlayback() {
  Close();
}

int TPlayback::InterruptCallback(void *AOpaque) {
  return static_cast<TPlayback *>(AOpaque)->FAbort.load() ? 1 : 0;
}

void TPlayback::SignalOpen(bool AOk, const std::string &AError) {
  std::lock_guard<std::mutex> lock(FOpenLock);
  FOpenState = AOk ? 1 : -1;
  FOpenError = AError;
  FOpenCond.notify_all();
}

bool TPlayback::Open(std::string &AError) {
  FPaused = FParams.StartPaused;
  if (FPaused) {
    FAudClk.SetPaused(true);
    FVidClk.SetPaused(true);
    FExtClk.SetPaused(true);
  }
  try {
    FReadThread = std::thread([this] { ReadThread(); });
  } catch (const std::exception &) {
    AError = "SDL_CreateThread() failed.";
    return false;
  }
  std::unique_lock<std::mutex> lock(FOpenLock);
  FOpenCond.wait(lock, [this] { return FOpenState != 0; });
  if (FOpenState > 0) return true;
  AError = FOpenError;
  lock.unlock();
  Close();
  return false;
}

bool TPlayback::OpenInput(std::string &AError) {
  FFormatCtx = ff::format.avformat_alloc_context();
  if (!FFormatCtx) {
    AError = "av_mallocz() failed.";
    return false;
  }
  FFormatCtx->interrupt_callback.callback = InterruptCallback;
  FFormatCtx->interrupt_callback.opaque = this;
  if (FParams.GenPts) FFormatCtx->flags |= AVFMT_FLAG_GENPTS;
  const AVInputFormat *fmt = nullptr;
  if (!FParams.Format.empty()) {
    fmt = ff::format.av_find_input_format(FParams.Format.c_str());
    if (!fmt) {
      AError = "Unknown input format: " + FParams.Format;
      return false;
    }
  }
  int ret = ff::format.avformat_open_input(&FFormatCtx, FParams.FileName.c_str(), fmt, nullptr);
  if (ret < 0) {
    AError = FParams.FileName + ": " + ErrorText(ret);  // the context is freed on failure
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(CodecLock());
    ret = ff::format.avformat_find_stream_info(FFormatCtx, nullptr);
  }
  if (ret < 0) {
    AError = FParams.FileName + ": could not find codec parameters";
    return false;
  }
  if (FFormatCtx->pb) FFormatCtx->pb->eof_reached = 0;
  const char *name = FFormatCtx->iformat->name;
  if (FParams.SeekByBytes < 0)
    FSeekByBytes = (FFormatCtx->iformat->flags & AVFMT_TS_DISCONT) && std::strcmp("ogg", name) != 0;
  else
    FSeekByBytes = FParams.SeekByBytes != 0;
  FRealtime = std::strcmp(name, "video4linux2") == 0 || std::strcmp(name, "x11grab") == 0;
  FStartTimeUs = FFormatCtx->start_time == AV_NOPTS_VALUE ? 0 : FFormatCtx->start_time;
  FDurationUs = FFormatCtx->duration == AV_NOPTS_VALUE ? -1 : FFormatCtx->duration;

  if (FParams.StartTime != INT64_MIN) {
    int64_t ts = FParams.StartTime + FStartTimeUs;
    if (ff::format.avformat_seek_file(FFormatCtx, -1, INT64_MIN, ts, INT64_MAX, 0) < 0)
      Log(AV_LOG_WARNING, FParams.FileName + ": could not seek to position " +
                              std::to_string(static_cast<double>(ts) / AV_TIME_BASE) + "\n");
  }

  int video = -1, audio = -1;
  if (!FParams.DisableVideo && !FParams.DisableDisplay) {
    video = ff::format.av_find_best_stream(FFormatCtx, AVMEDIA_TYPE_VIDEO,
                                           FParams.WantedStream[kVideo], -1, nullptr, 0);
    // Cover art is no film: its one picture would hold the position at 0 for the whole
    // song. Another video stream plays instead, or none and the file plays as sound.
    if (video >= 0 && IsCoverPicture(video)) {
      video = -1;
      for (unsigned i = 0; i < FFormatCtx->nb_streams && video < 0; ++i) {
        if (FFormatCtx->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            !IsCoverPicture(static_cast<int>(i)))
          video = static_cast<int>(i);
      }
    }
  }
  if (!FParams.DisableAudio)
    audio = ff::format.av_find_best_stream(FFormatCtx, AVMEDIA_TYPE_AUDIO,
                                           FParams.WantedStream[kAudio], video, nullptr, 0);
  if (video >= 0 && !OpenComponent(video)) video = -1;
  if (audio >= 0 && !OpenComponent(audio)) audio = -1;
  // Subtitles are drawn over the picture: only with video.
  if (video >= 0) {
    int subtitle = ff::format.av_find_best_stream(FFormatCtx, AVMEDIA_TYPE_SUBTITLE,
                                                  FParams.WantedStream[kSubtitle],
                                                  audio >= 0 ? audio : video, nullptr, 0);
    if (subtitle >= 0) OpenComponent(subtitle);
  }
  if (FStreamIndex[kVideo] < 0 && FStreamIndex[kAudio] < 0) {
    AError = FParams.FileName + ": could not open codecs";
    return false;
  }
  // The master clock falls back to what exists.
  FMaster = FParams.SyncType;
  if (FMaster == AV_SYNC_VIDEO_MASTER && !HasVideo()) FMaster = AV_SYNC_AUDIO_MASTER;
  if (FMaster == AV_SYNC_AUDIO_MASTER && FStreamIndex[kAudio] < 0)
    FMaster = HasVideo() ? AV_SYNC_VIDEO_MASTER : AV_SYNC_EXTERNAL_CLOCK;
  return true;
}

bool TPlayback::IsCoverPicture(int AStreamIndex) const {
  return (FFormatCtx->streams[AStreamIndex]->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
}

bool TPlayback::OpenComponent(int AStreamIndex) {
  AVStream *st = FFormatCtx->streams[AStreamIndex];
  const AVCodec *codec = ff::codec.avcodec_find_decoder(st->codecpar->codec_id);
  if (!codec) {
    Log(AV_LOG_ERROR, "No decoder for stream #" + std::to_string(AStreamIndex) + "\n");
    return false;
  }
  ff::CodecContextPtr ctx(ff::codec.avcodec_alloc_context3(codec));
  if (!ctx || ff::codec.avcodec_parameters_to_context(ctx.get(), st->codecpar) < 0) return false;
  ctx->pkt_timebase = st->time_base;
  ctx->workaround_bugs = FParams.WorkaroundBugs;
  ctx->lowres = std::min(FParams.Lowres, static_cast<int>(codec->max_lowres));
  ctx->idct_algo = FParams.IdctAlgo;
  ctx->error_concealment = FParams.ErrorConcealment;
  ctx->err_recognition = FParams.ErrorRecognition;
  if (FParams.Fast) ctx->flags2 |= AV_CODEC_FLAG2_FAST;
  ctx->thread_count = 0;  // as many as the library finds useful
  int ret = 0;
  {
    std::lock_guard<std::mutex> lock(CodecLock());
    ret = ff::codec.avcodec_open2(ctx.get(), codec, nullptr);
  }
  if (ret < 0) {
    Log(AV_LOG_ERROR, "avcodec_open() failed.\n");
    std::lock_guard<std::mutex> lock(CodecLock());
    ctx.reset();
    return false;
  }
  int kind = ctx->codec_type == AVMEDIA_TYPE_AUDIO      ? kAudio
             : ctx->codec_type == AVMEDIA_TYPE_VIDEO    ? kVideo
             : ctx->codec_type == AVMEDIA_TYPE_SUBTITLE ? kSubtitle
                                                        : -1;
  if (kind < 0) {
    std::lock_guard<std::mutex> lock(CodecLock());
    ctx.reset();
    return false;
  }
  st->discard = AVDISCARD_DEFAULT;
  FStreams[kind] = st;
  FStreamIndex[kind] = AStreamIndex;
  FCodecs[kind] = std::move(ctx);
  if (kind == kAudio) {
    if (!OpenAudioDevice()) {
      std::lock_guard<std::mutex> lock(CodecLock());
      FCodecs[kind].reset();
      FStreams[kind] = nullptr;
      FStreamIndex[kind] = -1;
      return false;
    }
    FQueues[kAudio].Start();
  } else if (kind == kSubtitle) {
    FSubtitles.Reset();
    FQueues[kSubtitle].Start();
  } else {
    FFrameWidth = FCodecs[kind]->width;
    FFrameHeight = FCodecs[kind]->height;
    FQueues[kVideo].Start();
  }
  return true;
}

bool TPlayback::QueuesFull() const {
  int64_t total = FQueues[kAudio].Bytes() + FQueues[kVideo].Bytes() + FQueues[kSubtitle].Bytes();
  if (total > kMaxQueueBytes) return true;
  bool audioShort = FStreamIndex[kAudio] >= 0 && FQueues[kAudio].Bytes() <= kMinAudioBytes;
  bool videoShort = FStreamIndex[kVideo] >= 0 && FQueues[kVideo].Packets() <= kMinFrames;
  bool subShort = FStreamIndex[kSubtitle] >= 0 && FQueues[kSubtitle].Packets() <= kMinFrames;
  return !(audioShort || videoShort || subShort);
}

void TPlayback::DoSeek() {
  int64_t target = FSeekPos;
  int64_t rel = FSeekRel;
  int flags = FSeekFlags;
  int64_t seekMin = rel > 0 ? target - rel + 2 : INT64_MIN;
  int64_t seekMax = rel < 0 ? target - rel - 2 : INT64_MAX;
  int ret = ff::format.avformat_seek_file(FFormatCtx, -1, seekMin, target, seekMax, flags);
  if (ret < 0) ret = ff::format.av_seek_frame(FFormatCtx, -1, target, flags);
  if (ret < 0) ret = ff::format.av_seek_frame(FFormatCtx, -1, target, flags ^ AVSEEK_FLAG_BACKWARD);
  if (ret < 0) {
    Log(AV_LOG_ERROR, FParams.FileName + ": error while seeking\n");
  } else {
    for (int k = 0; k < 3; ++k) {
      if (FStreamIndex[k] >= 0) FQueues[k].PutFlush();
    }
    if (!(flags & AVSEEK_FLAG_BYTE)) {
      // Until the decoders catch up the external clock shows the target.
      FExtClk.Set(static_cast<double>(target) / AV_TIME_BASE, 0);
    }
    FSeekPending = HasVideo();
  }
  FEof = false;
  FEndReached = false;
  FSeekReq = false;
  SetSeekDone();
}

void TPlayback::ReadThread() {
  std::string error;
  if (!OpenInput(error)) {
    Log(AV_LOG_ERROR, error + "\n");
    FReadEnded = true;
    SignalOpen(false, error);
    return;
  }
  // Decoders run from here on; the display thread creates its pictures as they come.
  for (int k : {kVideo, kAudio, kSubtitle}) {
    if (FStreamIndex[k] >= 0 && !StartDecoder(k)) {
      FReadEnded = true;
      SignalOpen(false, "SDL_CreateThread() failed.");
      return;
    }
  }
  SignalOpen(true, "");

  ff::PacketPtr pkt(ff::codec.av_packet_alloc());
  bool lastPaused = false;
  bool errorReported = false;
  bool nullQueued = false;
  while (!FAbort) {
    {
      std::unique_lock<std::mutex> lock(FOpenLock);
      if (FHoldReq) {
        FHeld = true;
        FOpenCond.notify_all();
        FOpenCond.wait(lock, [this] { return !FHoldReq || FAbort; });
        FHeld = false;
        continue;
      }
    }
    if (FPaused != lastPaused) {
      lastPaused = FPaused;
      if (lastPaused)
        ff::format.av_read_pause(FFormatCtx);
      else
        ff::format.av_read_play(FFormatCtx);
    }
    if (FSeekReq) {
      DoSeek();
      errorReported = false;
      nullQueued = false;
      continue;
    }
    if (QueuesFull()) {
      SleepMs(10);
      continue;
    }
    if (FEof) {
      if (!nullQueued) {
        // An empty packet makes the decoders give out what they still hold.
        if (HasVideo()) FQueues[kVideo].PutNull(FStreamIndex[kVideo]);
        if (FStreamIndex[kAudio] >= 0) FQueues[kAudio].PutNull(FStreamIndex[kAudio]);
        nullQueued = true;
      }
      SleepMs(10);
      if (FQueues[kAudio].Empty() && FQueues[kVideo].Empty() && FQueues[kSubtitle].Empty())
        FEndReached = true;
      continue;
    }
    int ret = ff::format.av_read_frame(FFormatCtx, pkt.get());
    if (ret < 0) {
      if (ret == AVERROR(EAGAIN)) {
        SleepMs(10);
        continue;
      }
      if (ret == AVERROR_EOF || (FFormatCtx->pb && ff::format.avio_feof(FFormatCtx->pb)))
        FEof = true;
      if (!errorReported) {
        errorReported = true;
        if (ret == AVERROR_EOF)
          Log(AV_LOG_INFO, "reach end of file: " + FParams.FileName + "\n");
        else
          Log(AV_LOG_ERROR,
              "error #" + std::to_string(ret) + " while reading file: " + FParams.FileName + "\n");
      }
      if (FFormatCtx->pb && FFormatCtx->pb->error && ret != AVERROR_EOF && !FAbort) {
        FEof = true;  // the byte stream failed: treat what was read as all there is
      }
      if (!FEof) SleepMs(100);
      continue;
    }
    if (pkt->pos >= 0) FLastPos = pkt->pos;
    int kind = -1;
    for (int k = 0; k < 3; ++k) {
      if (pkt->stream_index == FStreamIndex[k]) kind = k;
    }
    if (kind >= 0)
      FQueues[kind].Put(pkt.get());
    else
      ff::codec.av_packet_unref(pkt.get());
  }
  FReadEnded = true;
}

void TPlayback::Close() {
  FAbort = true;
  for (TPacketQueue &q : FQueues) q.Abort();
  FPictures.Abort();
  FSubtitles.Abort();
  FRing.Abort();
  SetSeekDone();
  SetPictureReady();
  {
    std::lock_guard<std::mutex> lock(FOpenLock);
    if (FOpenState == 0) FOpenState = -1;
    FOpenCond.notify_all();
  }
  if (FReadThread.joinable()) FReadThread.join();
  if (FAudioDev) {
    ff::sdl.SDL_CloseAudioDevice(FAudioDev);  // no callback runs after this
    FAudioDev = 0;
  }
  if (FSilentThread.joinable()) FSilentThread.join();
  if (FVideoThread.joinable()) FVideoThread.join();
  if (FAudioThread.joinable()) FAudioThread.join();
  if (FSubThread.joinable()) FSubThread.join();
  FGraph.reset();
  {
    std::lock_guard<std::mutex> lock(CodecLock());
    for (auto &c : FCodecs) c.reset();
  }
  if (FFormatCtx) ff::format.avformat_close_input(&FFormatCtx);
  for (SwsContext **s : {&FToRGB, &FFromRGB, &FDisplaySws, &FGrabSws}) {
    if (*s) ff::scale.sws_freeContext(*s);
    *s = nullptr;
  }
  if (FRdft) ff::codec.av_rdft_end(FRdft);
  FRdft = nullptr;
  FSwr.reset();
  if (FSwrLayout.nb_channels) ff::util.av_channel_layout_uninit(&FSwrLayout);
  for (TPacketQueue &q : FQueues) q.Flush();
}

bool TPlayback::StartDecoder(int AKind) {
  try {
    if (AKind == kVideo)
      FVideoThread = std::thread([this] { VideoThread(); });
    else if (AKind == kAudio)
      FAudioThread = std::thread([this] { AudioThread(); });
    else
      FSubThread = std::thread([this] { SubtitleThread(); });
  } catch (const std::exception &) {
    return false;
  }
  return true;
}

void TPlayback::CloseComponent(int AKind) {
  FQueues[AKind].Abort();
  if (AKind == kAudio) {
    FAudioStop = true;
    FRing.Abort();
    if (FAudioDev) {
      ff::sdl.SDL_CloseAudioDevice(FAudioDev);  // no callback runs after this
      FAudioDev = 0;
    }
    if (FSilentThread.joinable()) FSilentThread.join();
    if (FAudioThread.joinable()) FAudioThread.join();
    FAudioReady = false;
    FSilentOutput = false;
    FSwr.reset();
    if (FSwrLayout.nb_channels) ff::util.av_channel_layout_uninit(&FSwrLayout);
    FSwrFormat = AV_SAMPLE_FMT_NONE;
    FSwrRate = 0;
    FDiffCum = 0;
    FDiffCount = 0;
  } else if (AKind == kVideo) {
    FPictures.Abort();
    if (FVideoThread.joinable()) FVideoThread.join();
    FPictures.Reset();
    FGraph.reset();
    FFilterIn = FFilterOut = nullptr;
    FGraphW = FGraphH = 0;
    FGraphFormat = -1;
    FSkipCount = 0;
  } else {
    FSubtitles.Abort();
    if (FSubThread.joinable()) FSubThread.join();
    FSubtitles.Reset();
  }
  FQueues[AKind].Flush();
  {
    std::lock_guard<std::mutex> lock(CodecLock());
    FCodecs[AKind].reset();
  }
  if (FStreams[AKind]) FStreams[AKind]->discard = AVDISCARD_ALL;
  FStreams[AKind] = nullptr;
  FStreamIndex[AKind] = -1;
}

void TPlayback::HoldReading() {
  std::unique_lock<std::mutex> lock(FOpenLock);
  FHoldReq = true;
  // The read thread parks at its next turn; one that has ended never will.
  while (!FHeld && !FReadEnded && !FAbort) FOpenCond.wait_for(lock, std::chrono::milliseconds(10));
}

void TPlayback::ReleaseReading() {
  std::lock_guard<std::mutex> lock(FOpenLock);
  FHoldReq = false;
  FOpenCond.notify_all();
}

bool TPlayback::SwitchStream(int AKind, int AStreamIndex, int64_t ASeekTo, int ASeekFlags) {
  static const AVMediaType kTypes[3] = {AVMEDIA_TYPE_AUDIO, AVMEDIA_TYPE_VIDEO,
                                        AVMEDIA_TYPE_SUBTITLE};
  if (!FFormatCtx || FAbort) return false;
  const int old = FStreamIndex[AKind];
  if (AStreamIndex == old) return true;
  if (AStreamIndex < 0) {
    if (AKind != kSubtitle) return false;  // only subtitles can be switched off
  } else {
    if (AStreamIndex >= static_cast<int>(FFormatCtx->nb_streams) ||
        FFormatCtx->streams[AStreamIndex]->codecpar->codec_type != kTypes[AKind])
      return false;
    if (AKind == kAudio && FParams.DisableAudio) return false;
    if (AKind != kAudio && (FParams.DisableVideo || FParams.DisableDisplay)) return false;
    if (AKind == kVideo && IsCoverPicture(AStreamIndex)) return false;
    if (AKind == kSubtitle && !HasVideo()) return false;
  }
  HoldReading();
  if (old >= 0) CloseComponent(AKind);
  bool ok = AStreamIndex < 0 || OpenComponent(AStreamIndex);
  if (ok && AStreamIndex >= 0 && !StartDecoder(AKind)) {
    CloseComponent(AKind);
    ok = false;
  }
  if (!ok && old >= 0 && OpenComponent(old) && !StartDecoder(AKind)) CloseComponent(AKind);
  if (ok && AStreamIndex >= 0) RequestSeek(ASeekTo, 0, ASeekFlags);
  ReleaseReading();
  return ok;
}

void TPlayback::SetSeekDone() {
  std::lock_guard<std::mutex> lock(FEventLock);
  FSeekDone = true;
  FEventCond.notify_all();
}

void TPlayback::SetPictureReady() {
  std::lock_guard<std::mutex> lock(FEventLock);
  FPictureReady = true;
  FEventCond.notify_all();
}

void TPlayback::RequestSeek(int64_t ATarget, int64_t ARelative, int AFlags) {
  {
    std::lock_guard<std::mutex> lock(FEventLock);
    FSeekDone = false;
    FPictureReady = false;
  }
  FSeekPos = ATarget;
  FPositionStale = true;
  FSeekRel = ARelative;
  FSeekFlags = AFlags;
  FSeekReq = true;
}

bool TPlayback::WaitSeekDone(int AMilliseconds) {
  std::unique_lock<std::mutex> lock(FEventLock);
  return FEventCond.wait_for(lock, std::chrono::milliseconds(AMilliseconds),
                             [this] { return FSeekDone; });
}

double TPlayback::MasterClock() const {
  switch (FMaster) {
    case AV_SYNC_VIDEO_MASTER:
      return FVidClk.Get();
    case AV_SYNC_AUDIO_MASTER:
      return FAudClk.Get();
    default:
      return FExtClk.Get();
  }
}

void TPlayback::TogglePause() {
  // Let a seek under way and its first picture land first, so the paused picture is
  // the one after the seek.
  {
    std::unique_lock<std::mutex> lock(FEventLock);
    auto ready = [this] { return FSeekDone && (!HasVideo() || FPictureReady || FAbort); };
    if (!FEventCond.wait_for(lock, std::chrono::milliseconds(250), ready)) {
      FSeekDone = true;
      FPictureReady = true;
    }
  }
  bool pause = !FPaused;
  if (!pause) {
    // Resume the frame timer where the pause left it.
    FFrameTimer += TPlayerClock::Now() - FVidClk.LastUpdated();
  }
  FAudClk.SetPaused(pause);
  FVidClk.SetPaused(pause);
  FExtClk.SetPaused(pause);
  FPaused = pause;
}

void TPlayback::StepToNextFrame() {
  if (FPaused) TogglePause();
  FStep = true;
}
