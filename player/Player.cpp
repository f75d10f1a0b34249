#include "Player.h"

#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include "FFUtils/MainThread.h"
#include "FFmpegLoader/FFmpegLoader.h"
#include "Playback.h"

namespace {

void Log(int ALevel, const std::string &AText) {
  if (FFLoader().Loaded(avUtil)) ff::util.av_log(nullptr, ALevel, "%s", AText.c_str());
}

// Counts the handlers running in the main thread, so Stop knows not to wait for the
// event thread that is waiting for the very handler Stop was called from.
struct TDeliveryScope {
  explicit TDeliveryScope(int &ACounter) : Counter(ACounter) { ++Counter; }
  ~TDeliveryScope() { --Counter; }
  int &Counter;
};

// The lock within AMs milliseconds, or an unowned lock. Polls instead of a timed lock:
// the thread checker cannot follow timed locks.
std::unique_lock<std::mutex> LockFor(std::mutex &AMutex, int AMs) {
  std::unique_lock<std::mutex> lock(AMutex, std::defer_lock);
  for (int i = 0; i <= AMs && !lock.try_lock(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return lock;
}

}  // namespace

TFFPlayer::TFFPlayer() = default;

TFFPlayer::~TFFPlayer() {
  OnFileOpen = nullptr;
  OnPosition = nullptr;
  OnState = nullptr;
  FStateHandler = false;
  Stop(true);
  JoinThreads();
  OnHook = nullptr;
}

bool TFFPlayer::AVLibLoaded() const {
  return ::AVLibLoaded(kPlayerLibraries);
}

bool TFFPlayer::LoadAVLib(const std::string &ALibraryPath) {
  return ::LoadAVLib(kPlayerLibraries, ALibraryPath, FLastErrMsg);
}

void TFFPlayer::UnloadAVLib() {
  Stop(true);
  JoinThreads();
  FFLoader().Unload(TLibraries{lbSDL});
}

void TFFPlayer::SetFormat(const std::string &AValue) {
  if (!AValue.empty()) {
    if (!AVLibLoaded()) {
      FLastErrMsg = "libav or libsdl not loaded.";
      Log(AV_LOG_ERROR, FLastErrMsg + "\n");
      return;
    }
    if (!ff::format.av_find_input_format(AValue.c_str()))
      throw std::invalid_argument("Unknown input format: " + AValue);
  }
  FFormat = AValue;
}

void TFFPlayer::Fail(const std::string &AMessage) {
  FLastErrMsg = AMessage;
  Log(AV_LOG_ERROR, AMessage + "\n");
}

bool TFFPlayer::Paused() const {
  std::unique_lock<std::mutex> lock(FDataLock);
  return !FPlayback || FPlayback->Paused();
}

bool TFFPlayer::Seeking() const {
  std::unique_lock<std::mutex> lock(FDataLock);
  return FPlayback && FPlayback->Seeking();
}

int TFFPlayer::AudioStreamIndex() const {
  std::unique_lock<std::mutex> lock(FDataLock);
  return FPlayback ? FPlayback->StreamIndex(TPlayback::kAudio) : -1;
}

int TFFPlayer::VideoStreamIndex() const {
  std::unique_lock<std::mutex> lock(FDataLock);
  return FPlayback ? FPlayback->StreamIndex(TPlayback::kVideo) : -1;
}

int TFFPlayer::SubtitleStreamIndex() const {
  std::unique_lock<std::mutex> lock(FDataLock);
  return FPlayback ? FPlayback->StreamIndex(TPlayback::kSubtitle) : -1;
}

bool TFFPlayer::SetAudioStreamIndex(int AIndex) {
  return SwitchStream(TPlayback::kAudio, AIndex);
}

bool TFFPlayer::SetVideoStreamIndex(int AIndex) {
  return SwitchStream(TPlayback::kVideo, AIndex);
}

bool TFFPlayer::SetSubtitleStreamIndex(int AIndex) {
  return SwitchStream(TPlayback::kSubtitle, AIndex);
}

bool TFFPlayer::SwitchStream(int AKind, int AIndex) {
  std::lock_guard<std::mutex> lock(FDataLock);
  if (!FPlayback) return false;
  // The new stream's packets would start where reading is, ahead of what is heard and
  // seen: playback goes back to the current position so that it starts in step.
  int flags = AVSEEK_FLAG_BACKWARD;
  int64_t pos = FCurrentPTS.load() + FPlayback->StartTimeUs();
  if (FPlayback->PositionStale()) {
    pos = FPlayback->SeekTarget();  // a time, or a byte position after a seek by bytes
    flags |= FPlayback->SeekFlags() & AVSEEK_FLAG_BYTE;
  }
  if (!(flags & AVSEEK_FLAG_BYTE) && pos < FPlayback->StartTimeUs()) pos = FPlayback->StartTimeUs();
  const int old = FPlayback->StreamIndex(AKind);
  if (!FPlayback->SwitchStream(AKind, AIndex, pos, flags)) return false;
  if (old != AIndex && AIndex >= 0) FEndRaised = false;
  return true;
}

int64_t TFFPlayer::Duration() const {
  std::unique_lock<std::mutex> lock(FDataLock);
  return FPlayback ? FPlayback->DurationUs() : -1;
}

void TFFPlayer::ResetAfterStop() {
  wanted_audio_stream = -1;
  wanted_video_stream = -1;
  wanted_subtitle_stream = -1;
  seek_by_bytes = -1;
  start_time = kUnset;
  PlayTime = kUnset;
  RepeatType = rtStop;
  VerticalFlip = false;
}

void TFFPlayer::SetState(TPlayState AState) {
  FPlayState = AState;
  if (FStateHandler)
    FEvents.Add(TPlayerEventQueue::ekState, AState);
  else if (AState == psStop)
    FEvents.Add(TPlayerEventQueue::ekEnd, 0);  // lets the event thread end
}

void TFFPlayer::ReportPosition(int64_t APosition) {
  FCurrentPTS = APosition;
  int64_t last = FLastReported;
  if (IsPositionChange(last, APosition)) {
    FLastReported = APosition;
    FEvents.Add(TPlayerEventQueue::ekPosition, APosition);
  }
}

void TFFPlayer::RaiseEnd() {
  if (!FEndRaised.exchange(true)) SetState(psEnd);
}

void TFFPlayer::RequestQuit() {
  std::lock_guard<std::mutex> lock(FCmdLock);
  FQuit = true;
  FCmdCond.notify_all();
}

void TFFPlayer::DeliverInMainThread(const std::function<void()> &AProc) {
  if (TriggerEventInMainThread)
    CallInMainThread(AProc);
  else
    AProc();
}

bool TFFPlayer::Open(const std::string &AFileName, IVideoSurface *ASurface, bool APaused) {
  if (!AVLibLoaded()) {
    Fail("libav or libsdl not loaded.");
    return false;
  }
  Stop(true);
  JoinThreads();
  FLastErrMsg.clear();

  // Sound output: the default driver leaves SDL's own choice (and the environment) alone.
  if (AudioDriver == adDirectSound)
    ff::sdl.SDL_setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
  else if (AudioDriver == adWaveOut)
    ff::sdl.SDL_setenv("SDL_AUDIODRIVER", "alsa", 1);
  FSDLAudio = false;
  if (!DisableAudio) {
    if (ff::sdl.SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
      FSDLAudio = true;
      const char *driver = ff::sdl.SDL_GetCurrentAudioDriver();
      Log(AV_LOG_INFO, std::string("using audio driver: ") + (driver ? driver : "") + "\n");
    } else {
      // No sound device: the picture still plays, timed by the wall clock.
      Log(AV_LOG_WARNING,
          std::string("Could not initialize SDL audio: ") + ff::sdl.SDL_GetError() + "\n");
    }
  }

  TPlaybackParams p;
  p.FileName = AFileName;
  p.Format = FFormat;
  p.Surface = ASurface;
  p.StartPaused = APaused;
  p.DisableAudio = DisableAudio;
  p.DisableVideo = DisableVideo || DisableDisplay;
  p.DisableDisplay = DisableDisplay;
  p.AudioAvailable = FSDLAudio;
  p.FrameWidth = FrameWidth;
  p.FrameHeight = FrameHeight;
  p.VerticalFlip = VerticalFlip;
  p.StartTime = start_time;
  p.PlayTime = PlayTime;
  p.RepeatType = RepeatType;
  p.VideoFilters = VideoFilters;
  p.WantedStream[TPlayback::kAudio] = wanted_audio_stream;
  p.WantedStream[TPlayback::kVideo] = wanted_video_stream;
  p.WantedStream[TPlayback::kSubtitle] = wanted_subtitle_stream;
  p.SeekByBytes = seek_by_bytes;
  p.WorkaroundBugs = workaround_bugs;
  p.Fast = fast;
  p.GenPts = genpts;
  p.Lowres = lowres;
  p.IdctAlgo = idct_algo;
  p.DebugMv = debug_mv;
  p.ErrorRecognition = error_recognition;
  p.ErrorConcealment = error_concealment;
  p.DecoderReorderPts = decoder_reorder_pts;
  p.FrameDrop = framedrop;
  p.RdftSpeed = rdftspeed;
  p.SyncType = av_sync_type;
  if (OnHook) {
    THookEvent hook = OnHook;
    p.Hook = [this, hook](TPlayerBitmap &ABitmap, int64_t APts) { hook(this, ABitmap, APts); };
  }

  // Playing from here on: the decoder may report the paused first picture at once.
  FEvents.Clear();
  FStateHandler = static_cast<bool>(OnState);
  FEndRaised = false;
  SetState(psPlay);
  auto playback = std::make_unique<TPlayback>(*this, std::move(p));
  std::string error;
  if (!playback->Open(error)) {
    FEvents.Clear();
    FPlayState = psStop;
    playback.reset();
    if (FSDLAudio) ff::sdl.SDL_QuitSubSystem(SDL_INIT_AUDIO);
    FSDLAudio = false;
    FLastErrMsg = error.empty() ? "Could not open " + AFileName : error;
    return false;
  }

  FFileName = AFileName;
  FSurface = ASurface;
  FProbe.SetFileHandle(playback->FormatContext());
  FCurrentPTS = -1;
  FLastReported = kUnset;
  FResetClaimed = false;
  FResetPending = false;

  // The file-open notification; the handler may choose the drawing size.
  int64_t duration = playback->DurationUs();
  int fw = playback->HasVideo() ? playback->FrameWidth() : -1;
  int fh = playback->HasVideo() ? playback->FrameHeight() : -1;
  int sw = ScreenWidth, sh = ScreenHeight;
  if (OnFileOpen) {
    DeliverInMainThread([&] {
      if (OnFileOpen) OnFileOpen(this, duration, fw, fh, sw, sh);
    });
  }
  // 0 × 0 follows the surface's client size as it changes.
  playback->SetDrawSize(sw, sh);
  playback->ReleaseReading();
  {
    std::lock_guard<std::mutex> lock(FDataLock);
    FPlayback = std::move(playback);
  }
  {
    std::lock_guard<std::mutex> lock(FCmdLock);
    FQuit = false;
    FStopped = false;
  }
  try {
    FEventDone = false;
    FEventThread = std::thread([this] { EventThread(); });
    FPlayThread = std::thread([this] { PlayThread(); });
  } catch (const std::exception &) {
    Fail("SDL_CreateThread() failed.");
    if (FEventThread.joinable()) {
      FEvents.Add(TPlayerEventQueue::ekEnd, 0);
      FEventThread.join();
    }
    std::lock_guard<std::mutex> lock(FDataLock);
    CloseStreamLocked();
    return false;
  }
  return true;
}

void TFFPlayer::CloseStreamLocked() {
  if (!FPlayback) return;
  FProbe.CloseFile();  // only forgets the borrowed container
  FPlayback.reset();
  if (FSDLAudio) ff::sdl.SDL_QuitSubSystem(SDL_INIT_AUDIO);
  FSDLAudio = false;
}

void TFFPlayer::PlayThread() {
  for (;;) {
    double remaining = 0.01;
    {
      std::lock_guard<std::mutex> lock(FCmdLock);
      if (FQuit) break;
    }
    {
      std::unique_lock<std::mutex> lock(FDataLock);
      if (!FPlayback) break;  // closed by a Stop that gave up waiting
      try {
        remaining = FPlayback->Refresh();
      } catch (const std::exception &e) {
        Log(AV_LOG_FATAL, std::string("PlayThread Exception: ") + e.what() + "\n");
        break;
      }
    }
    std::unique_lock<std::mutex> lock(FCmdLock);
    FCmdCond.wait_for(lock, std::chrono::duration<double>(remaining), [this] { return FQuit; });
  }
  {
    std::lock_guard<std::mutex> lock(FDataLock);
    CloseStreamLocked();
  }
  if (!FResetClaimed.exchange(true)) FResetPending = true;
  SetState(psStop);
  std::lock_guard<std::mutex> lock(FCmdLock);
  FStopped = true;
  FCmdCond.notify_all();
}

void TFFPlayer::EventThread() {
  for (;;) {
    TPlayerEventQueue::TEntry entry;
    if (!FEvents.Take(entry, std::chrono::milliseconds(100))) continue;
    if (entry.Kind == TPlayerEventQueue::ekEnd) break;
    if (entry.Kind == TPlayerEventQueue::ekPosition) {
      DeliverInMainThread([this, &entry] {
        TDeliveryScope scope(FDelivering);
        if (OnPosition) OnPosition(this, entry.Value);
      });
      continue;
    }
    auto state = static_cast<TPlayState>(entry.Value);
    DeliverInMainThread([this, state] {
      TDeliveryScope scope(FDelivering);
      if (state == psStop && FResetPending.exchange(false)) ResetAfterStop();
      if (OnState) OnState(this, state);
    });
    if (state == psStop) break;
  }
  FEventDone = true;
}

void TFFPlayer::JoinThreads() {
  if (FPlayThread.joinable()) {
    bool stopped = false;
    {
      std::lock_guard<std::mutex> lock(FCmdLock);
      stopped = FStopped;
    }
    if (stopped) FPlayThread.join();
  }
  if (FEventThread.joinable() && FDelivering == 0) {
    // The event thread may wait for the main thread: keep serving it meanwhile.
    const bool inMain = IsMainThread();
    while (!FEventDone) {
      if (inMain) PumpMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    FEventThread.join();
  }
}

void TFFPlayer::Stop(bool AWaitForStop) {
  if (!FPlayThread.joinable()) {
    JoinThreads();
    return;
  }
  bool running = false;
  {
    std::lock_guard<std::mutex> lock(FCmdLock);
    running = !FStopped;
  }
  if (running) {
    {
      std::unique_lock<std::mutex> lock = LockFor(FDataLock, 100);
      if (lock.owns_lock() && FPlayback) {
        if (FPlayback->Paused()) FPlayback->TogglePause();
        FPlayback->CancelStep();
      }
    }
    if (!FResetClaimed.exchange(true)) ResetAfterStop();
    RequestQuit();
  }
  if (!AWaitForStop) return;

  const bool inMain = IsMainThread();
  for (int tries = 0;;) {
    {
      std::unique_lock<std::mutex> lock(FCmdLock);
      if (FCmdCond.wait_for(lock, std::chrono::milliseconds(100), [this] { return FStopped; }))
        break;
    }
    if (inMain) PumpMessages();
    // Still running: ask again, and in the end close the stream from here.
    std::unique_lock<std::mutex> lock = LockFor(FDataLock, 100);
    RequestQuit();
    ++tries;
    bool readEnded = lock.owns_lock() && FPlayback && FPlayback->ReadThreadEnded();
    if (lock.owns_lock() && (tries >= 20 || (readEnded && tries >= 10))) CloseStreamLocked();
  }
  if (FResetPending.exchange(false)) ResetAfterStop();
  JoinThreads();
}

void TFFPlayer::Pause() {
  std::lock_guard<std::mutex> lock(FDataLock);
  if (!FPlayback || FPlayback->Paused()) return;
  FPlayback->TogglePause();
  FPlayback->CancelStep();
  SetState(psPause);
}

void TFFPlayer::Resume() {
  std::lock_guard<std::mutex> lock(FDataLock);
  if (!FPlayback || !FPlayback->Paused()) return;
  FPlayback->TogglePause();
  FPlayback->CancelStep();
  SetState(psResume);
}

void TFFPlayer::TogglePause() {
  std::lock_guard<std::mutex> lock(FDataLock);
  if (!FPlayback) return;
  FPlayback->TogglePause();
  FPlayback->CancelStep();
  SetState(FPlayback->Paused() ? psPause : psResume);
}

void TFFPlayer::StepToNextFrame() {
  std::lock_guard<std::mutex> lock(FDataLock);
  if (!FPlayback) return;
  bool first = !FStepping.exchange(true);
  FPlayback->StepToNextFrame();
  if (first) SetState(psStep);
}

void TFFPlayer::ToggleAudioDisplay() {
  FShowAudio = static_cast<TShowAudio>((FShowAudio.load() + 1) % 3);
  std::lock_guard<std::mutex> lock(FDataLock);
  if (FPlayback) FPlayback->ClearDrawing();
}

void TFFPlayer::Seek(int64_t APTS, TSeekFlags ASeekFlags, bool AWaitForSeekEnd) {
  {
    std::lock_guard<std::mutex> lock(FDataLock);
    if (!FPlayback) return;
    int64_t target = APTS;
    if (!(ASeekFlags & sfByte)) {
      int64_t duration = FPlayback->DurationUs();
      if (target < 0) target = 0;
      if (duration > 0 && target > duration) target = duration;
      target += FPlayback->StartTimeUs();
    }
    FPlayback->RequestSeek(target, 0, static_cast<int>(ASeekFlags));
    FEndRaised = false;
    FStepping = false;
  }
  if (AWaitForSeekEnd) WaitSeek();
}

void TFFPlayer::Seek(double ADelta, TSeekFlags ASeekFlags, bool AWaitForSeekEnd) {
  {
    std::lock_guard<std::mutex> lock(FDataLock);
    if (!FPlayback) return;
    if ((ASeekFlags & sfByte) || FPlayback->SeekByBytes()) {
      int64_t pos = FPlayback->LastBytePos();
      if (pos < 0) pos = 0;
      int64_t delta = static_cast<int64_t>(ADelta);
      FPlayback->RequestSeek(pos + delta, delta, static_cast<int>(ASeekFlags | sfByte));
    } else {
      double now = FPlayback->MasterClock();
      if (std::isnan(now))
        now = static_cast<double>(FCurrentPTS.load() + FPlayback->StartTimeUs()) / 1e6;
      now += ADelta;
      double start = static_cast<double>(FPlayback->StartTimeUs()) / 1e6;
      if (now < start) now = start;
      auto target = static_cast<int64_t>(now * 1e6);
      auto delta = static_cast<int64_t>(ADelta * 1e6);
      FPlayback->RequestSeek(target, delta, static_cast<int>(ASeekFlags));
    }
    FEndRaised = false;
    FStepping = false;
  }
  if (AWaitForSeekEnd) WaitSeek();
}

void TFFPlayer::WaitSeek() {
  for (int i = 0; i < 50; ++i) {
    {
      std::lock_guard<std::mutex> lock(FDataLock);
      if (!FPlayback || FPlayback->WaitSeekDone(100)) return;
    }
    if (IsMainThread()) PumpMessages();
  }
}

const TPlayerBitmap &TFFPlayer::CurrentFrame(int64_t *APTS) {
  int64_t pts = -1;
  {
    std::lock_guard<std::mutex> lock(FDataLock);
    if (FPlayback)
      FPlayback->GrabCurrentFrame(FCurrentFrame, pts);
    else
      FCurrentFrame.Resize(0, 0);
  }
  if (APTS) *APTS = pts;
  return FCurrentFrame;
}
