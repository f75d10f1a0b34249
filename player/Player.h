// The preview player: plays one media file, drawing its video into the host's surface
// and its sound to an SDL audio device, and reports the opened file, the position and
// every change of its play state through an event thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "AVProbe.h"
#include "PlayerEventQueue.h"
#include "PlayerTypes.h"

class TPlayback;
class TFFPlayer;

using TFileOpenEvent = std::function<void(TFFPlayer *Sender, int64_t ADuration, int AFrameWidth,
                                          int AFrameHeight, int &AScreenWidth, int &AScreenHeight)>;
using TPositionEvent = std::function<void(TFFPlayer *Sender, int64_t APTS)>;
using TPlayStateEvent = std::function<void(TFFPlayer *Sender, TPlayState AState)>;
using THookEvent = std::function<void(TFFPlayer *Sender, TPlayerBitmap &ABitmap, int64_t APTS)>;

class TFFPlayer {
 public:
  TFFPlayer();
  ~TFFPlayer();
  TFFPlayer(const TFFPlayer &) = delete;
  TFFPlayer &operator=(const TFFPlayer &) = delete;

  // Library set of the player (codec, filter, format, util, scale, resample, SDL).
  [[nodiscard]] bool AVLibLoaded() const;
  bool LoadAVLib(const std::string &ALibraryPath);
  void UnloadAVLib();

  // Opens AFileName and starts it; with APaused it stops on its first picture.
  // ASurface may be nullptr (nothing drawn). False on failure, with LastErrMsg.
  bool Open(const std::string &AFileName, IVideoSurface *ASurface, bool APaused);
  void Stop(bool AWaitForStop);
  void Pause();
  void Resume();
  void TogglePause();
  void StepToNextFrame();
  void ToggleAudioDisplay();
  // Seek to APTS µs from the start of the file (a byte position with sfByte).
  void Seek(int64_t APTS, TSeekFlags ASeekFlags = 0, bool AWaitForSeekEnd = false);
  // Seek ADelta seconds (bytes with sfByte) from the current position.
  void Seek(double ADelta, TSeekFlags ASeekFlags = 0, bool AWaitForSeekEnd = false);
  // The picture on screen at its frame size, owned by the player; 0 × 0 and -1 without video.
  const TPlayerBitmap &CurrentFrame(int64_t *APTS = nullptr);
  // The drawing code has nothing to follow on this platform: the surface is the host's.
  void UpdateScreenPosition() {}

  // Settings read when a file opens (values after creation; the ones marked * return to
  // these after every stop).
  TAudioDriver AudioDriver = adDefault;
  TVideoDriver VideoDriver = vdDefault;
  bool DisableAudio = false;
  bool DisableVideo = false;
  bool DisableDisplay = false;
  int ScreenWidth = 0;
  int ScreenHeight = 0;
  int FrameWidth = 0;
  int FrameHeight = 0;
  bool VerticalFlip = false;        // *
  TRepeatType RepeatType = rtStop;  // *
  int64_t PlayTime = kUnset;        // * µs
  int64_t start_time = kUnset;      // * µs
  std::string VideoFilters;
  bool TriggerEventInMainThread = true;
  int wanted_audio_stream = -1;     // *
  int wanted_video_stream = -1;     // *
  int wanted_subtitle_stream = -1;  // *
  int seek_by_bytes = -1;           // *
  int workaround_bugs = 1;
  bool fast = false;
  bool genpts = false;
  int lowres = 0;
  int idct_algo = 0;
  int debug_mv = 0;
  int error_recognition = 1;
  int error_concealment = 3;
  int decoder_reorder_pts = -1;
  int framedrop = 1;
  int rdftspeed = 20;
  Tav_sync_type av_sync_type = AV_SYNC_AUDIO_MASTER;

  static constexpr int64_t kUnset = INT64_MIN;  // "not set"
  static constexpr int kScalerFlags = 4;        // bicubic

  // Settings that act while playing.
  [[nodiscard]] int AudioVolume() const { return FAudioVolume; }
  void SetAudioVolume(int AValue) { FAudioVolume = AValue < 0 ? 0 : (AValue > 128 ? 128 : AValue); }
  [[nodiscard]] bool Mute() const { return FMute; }
  void SetMute(bool AValue) { FMute = AValue; }
  [[nodiscard]] TShowAudio ShowAudio() const { return FShowAudio; }
  void SetShowAudio(TShowAudio AValue) { FShowAudio = AValue; }
  [[nodiscard]] bool Hook() const { return FHook; }
  void SetHook(bool AValue) { FHook = AValue; }
  [[nodiscard]] float AspectRatio() const { return FAspectRatio; }
  void SetAspectRatio(float AValue) { FAspectRatio = AValue; }
  [[nodiscard]] const std::string &Format() const { return FFormat; }
  // Throws std::invalid_argument("Unknown input format: ...") for a name the library lacks.
  void SetFormat(const std::string &AValue);

  // Read-only state.
  [[nodiscard]] const std::string &FileName() const { return FFileName; }
  [[nodiscard]] const std::string &LastErrMsg() const { return FLastErrMsg; }
  [[nodiscard]] IVideoSurface *ScreenHandle() const { return FSurface; }
  [[nodiscard]] bool FullScreen() const { return false; }
  [[nodiscard]] int64_t CurrentPTS() const { return FCurrentPTS; }
  [[nodiscard]] bool Paused() const;
  [[nodiscard]] TPlayState PlayState() const { return FPlayState; }
  [[nodiscard]] bool Seeking() const;
  [[nodiscard]] int AudioStreamIndex() const;
  [[nodiscard]] int VideoStreamIndex() const;
  [[nodiscard]] int SubtitleStreamIndex() const;
  // Switch the open file to another stream of that kind while it plays, starting it at
  // the current position; -1 switches subtitles off. False when nothing is open, the
  // index is not a stream of that kind or its decoder cannot be opened.
  bool SetAudioStreamIndex(int AIndex);
  bool SetVideoStreamIndex(int AIndex);
  bool SetSubtitleStreamIndex(int AIndex);
  // The probe attached to the open file's container (never owned by it): stream kinds
  // and the information text while a file is open.
  [[nodiscard]] TAVProbe *AVProbe() { return &FProbe; }
  // Duration of the open file in µs, -1 when unknown or nothing is open.
  [[nodiscard]] int64_t Duration() const;
  // A position is reported when none was yet or it moved by more than 10 ms.
  [[nodiscard]] static bool IsPositionChange(int64_t ALast, int64_t APos) {
    return ALast == kUnset || APos - ALast > 10000 || ALast - APos > 10000;
  }
  [[nodiscard]] static std::string Version() { return "2.3"; }
  [[nodiscard]] static std::string About() { return "Quorvel preview player"; }

  TFileOpenEvent OnFileOpen;
  TPositionEvent OnPosition;
  TPlayStateEvent OnState;
  THookEvent OnHook;

 private:
  friend class TPlayback;
  void ResetAfterStop();
  void SetState(TPlayState AState);
  // From the pipeline: the position, already relative to the file start.
  void ReportPosition(int64_t APosition);
  // From the pipeline: the end of the file has been shown.
  void RaiseEnd();
  // From the pipeline: stop without waiting (end of the play time).
  void RequestQuit();
  void PlayThread();
  void EventThread();
  void DeliverInMainThread(const std::function<void()> &AProc);
  void JoinThreads();
  void WaitSeek();
  void CloseStreamLocked();
  bool SwitchStream(int AKind, int AIndex);
  void Fail(const std::string &AMessage);

  std::string FFormat;
  std::atomic<int> FAudioVolume{128};
  std::atomic<bool> FMute{false};
  std::atomic<TShowAudio> FShowAudio{saWave};
  std::atomic<bool> FHook{false};
  std::atomic<float> FAspectRatio{0};

  std::string FFileName;
  std::string FLastErrMsg;
  IVideoSurface *FSurface = nullptr;
  std::atomic<int64_t> FCurrentPTS{-1};
  std::atomic<int64_t> FLastReported{kUnset};
  std::atomic<TPlayState> FPlayState{psStop};
  std::atomic<bool> FEndRaised{false};
  std::atomic<bool> FStepping{false};
  TPlayerBitmap FCurrentFrame;
  TAVProbe FProbe;

  // FDataLock serialises the play thread's work on the playback with the public
  // operations and with stopping. Guards FPlayback (the pointer and the object).
  mutable std::mutex FDataLock;
  std::unique_ptr<TPlayback> FPlayback;

  // Play thread commands; guarded by FCmdLock.
  std::mutex FCmdLock;
  std::condition_variable FCmdCond;
  bool FQuit = false;
  bool FStopped = true;  // "stopped" event, guarded by FCmdLock

  TPlayerEventQueue FEvents;
  std::atomic<bool> FEventDone{true};      // the event thread has ended
  std::atomic<bool> FStateHandler{false};  // OnState was set when the file opened
  std::atomic<bool> FResetClaimed{true};   // a caller's Stop already reset the settings
  std::atomic<bool> FResetPending{false};  // the play thread ended by itself: reset due
  int FDelivering = 0;                     // main thread: handlers running now
  bool FSDLAudio = false;                  // SDL's audio was initialised for this file
  std::thread FPlayThread;
  std::thread FEventThread;
};

using TCustomPlayer = TFFPlayer;
