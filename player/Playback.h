// One open file of the preview player: the read thread, the audio, video and subtitle
// decoding threads, the SDL audio callback and the display work that the play thread
// drives.
// Internal to the player.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "AudioRing.h"
#include "FFmpegLoader/AVPtr.h"
#include "PacketQueue.h"
#include "PictureQueue.h"
#include "PlayerClock.h"
#include "PlayerTypes.h"
#include "SubtitleQueue.h"

class TFFPlayer;

// What the playback copies from the player's settings when it opens.
struct TPlaybackParams {
  std::string FileName;
  std::string Format;
  IVideoSurface *Surface = nullptr;
  bool StartPaused = false;
  bool DisableAudio = false;
  bool DisableVideo = false;
  bool DisableDisplay = false;
  bool AudioAvailable = true;  // SDL audio could be initialised
  int FrameWidth = 0;
  int FrameHeight = 0;
  bool VerticalFlip = false;
  int64_t StartTime = INT64_MIN;
  int64_t PlayTime = INT64_MIN;
  TRepeatType RepeatType = rtStop;
  std::string VideoFilters;
  int WantedStream[3] = {-1, -1, -1};  // audio, video, subtitle
  int SeekByBytes = -1;
  int WorkaroundBugs = 1;
  bool Fast = false;
  bool GenPts = false;
  int Lowres = 0;
  int IdctAlgo = 0;
  int DebugMv = 0;
  int ErrorRecognition = 1;
  int ErrorConcealment = 3;
  int DecoderReorderPts = -1;
  int FrameDrop = 1;
  int RdftSpeed = 20;
  Tav_sync_type SyncType = AV_SYNC_AUDIO_MASTER;
  std::function<void(TPlayerBitmap &, int64_t)> Hook;
};

class TPlayback {
 public:
  TPlayback(TFFPlayer &AOwner, TPlaybackParams AParams);
  ~TPlayback();
  TPlayback(const TPlayback &) = delete;
  TPlayback &operator=(const TPlayback &) = delete;

  // Starts the read thread and waits until the file is open or failed. On failure
  // AError holds the reason and everything is closed again. Reading waits for
  // ReleaseReading, so the owner can look at the opened container undisturbed.
  bool Open(std::string &AError);
  void ReleaseReading();
  [[nodiscard]] AVFormatContext *FormatContext() const { return FFormatCtx; }
  void Close();

  // The play thread's display step; returns the seconds until the next one is due.
  double Refresh();

  [[nodiscard]] bool Paused() const { return FPaused; }
  void TogglePause();
  void CancelStep() { FStep = false; }
  void StepToNextFrame();
  // ATarget in the stream's time (µs, container start included) or bytes.
  void RequestSeek(int64_t ATarget, int64_t ARelative, int AFlags);
  bool WaitSeekDone(int AMilliseconds);
  [[nodiscard]] bool Seeking() const { return FSeekReq; }
  // A seek was asked for and no position from after it has been reported yet; its
  // target is then the best idea of where playback is.
  [[nodiscard]] bool PositionStale() const { return FPositionStale; }
  [[nodiscard]] int64_t SeekTarget() const { return FSeekPos; }
  [[nodiscard]] int SeekFlags() const { return FSeekFlags; }
  [[nodiscard]] double MasterClock() const;
  [[nodiscard]] int64_t LastBytePos() const { return FLastPos; }
  [[nodiscard]] bool ReadThreadEnded() const { return FReadEnded; }
  void SetDrawSize(int AWidth, int AHeight) {
    FDrawWidth = AWidth;
    FDrawHeight = AHeight;
  }
  void ClearDrawing();
  // The picture on screen at its frame size; false without one.
  bool GrabCurrentFrame(TPlayerBitmap &ABitmap, int64_t &APts);

  // Facts of the opened file.
  [[nodiscard]] int64_t DurationUs() const { return FDurationUs; }
  [[nodiscard]] int64_t StartTimeUs() const { return FStartTimeUs; }
  [[nodiscard]] bool SeekByBytes() const { return FSeekByBytes; }
  [[nodiscard]] int FrameWidth() const { return FFrameWidth; }
  [[nodiscard]] int FrameHeight() const { return FFrameHeight; }
  [[nodiscard]] int StreamIndex(int AKind) const { return FStreamIndex[AKind]; }
  // Replaces the open stream of a kind by another stream of the file while playing
  // (-1 closes the subtitles) and seeks to ASeekTo with ASeekFlags before reading goes
  // on. The caller excludes the display (the player's data lock); reading is held
  // meanwhile. False when the index is not a stream of that kind or its decoder cannot
  // be opened (the previous stream is then kept).
  bool SwitchStream(int AKind, int AStreamIndex, int64_t ASeekTo, int ASeekFlags);
  [[nodiscard]] bool HasVideo() const { return FStreamIndex[kVideo] >= 0; }

  static constexpr int kAudio = 0, kVideo = 1, kSubtitle = 2;

 private:
  // Reading (PlaybackRead.cpp).
  void ReadThread();
  bool OpenInput(std::string &AError);
  bool OpenComponent(int AStreamIndex);
  [[nodiscard]] bool IsCoverPicture(int AStreamIndex) const;
  bool StartDecoder(int AKind);
  void CloseComponent(int AKind);
  void HoldReading();
  void DoSeek();
  bool QueuesFull() const;
  void SignalOpen(bool AOk, const std::string &AError);
  static int InterruptCallback(void *AOpaque);

  // Video (PlaybackVideo.cpp).
  void VideoThread();
  bool FilterAndQueue(AVFrame *AFrame, int ASerial);
  bool ConfigureFilters(const AVFrame *AFrame);
  bool QueuePicture(AVFrame *AFrame, double APts, double ADuration, int64_t APos, int ASerial);
  void CallHook(AVFrame *AFrame, double APts);

  // Subtitles (PlaybackSubtitle.cpp).
  void SubtitleThread();
  // The subtitle to show with a picture of this time, after dropping those that are over.
  const TSubtitle *CurrentSubtitle(double APts);
  void DrawSubtitle(const TSubtitle *ASubtitle, TPlayerBitmap &ABitmap);

  // Audio (PlaybackAudio.cpp).
  bool OpenAudioDevice();
  void AudioThread();
  int WantedSamples(int ASamples);
  static void AudioCallback(void *AOpaque, uint8_t *AStream, int ALength);
  void RecordSamples(const int16_t *ASamples, int AFrames);

  // Display (PlaybackDisplay.cpp).
  void VideoRefresh(double &ARemaining);
  double ComputeTargetDelay(double ADelay) const;
  void VideoDisplay();
  void AudioDisplay();
  void UpdatePosition();
  bool ToBitmap(const AVFrame *AFrame, int AWidth, int AHeight, TPlayerBitmap &ABitmap,
                SwsContext *&AContext);
  void DisplaySize(const AVFrame *AFrame, int &AWidth, int &AHeight);

  void SetPictureReady();
  void SetSeekDone();

  TFFPlayer &FOwner;
  const TPlaybackParams FParams;

  AVFormatContext *FFormatCtx = nullptr;  // read thread once open; Close
  std::atomic<bool> FAbort{false};
  std::atomic<bool> FReadEnded{false};
  std::atomic<int> FStreamIndex[3] = {-1, -1, -1};
  AVStream *FStreams[3] = {nullptr, nullptr, nullptr};
  ff::CodecContextPtr FCodecs[3];
  TPacketQueue FQueues[3];
  int64_t FDurationUs = -1;
  int64_t FStartTimeUs = 0;
  bool FSeekByBytes = false;
  bool FRealtime = false;
  std::atomic<int> FFrameWidth{-1};  // the subtitle thread reads them
  std::atomic<int> FFrameHeight{-1};

  std::thread FReadThread, FVideoThread, FAudioThread, FSubThread;

  // Open handshake; guarded by FOpenLock.
  std::mutex FOpenLock;
  std::condition_variable FOpenCond;
  int FOpenState = 0;  // 0 waiting, 1 open, -1 failed
  std::string FOpenError;
  // Reading held (at opening and while a stream is switched); guarded by FOpenLock.
  bool FHoldReq = true;
  bool FHeld = false;

  // Seek request from the caller to the read thread.
  std::atomic<bool> FSeekReq{false};
  std::atomic<int64_t> FSeekPos{0};
  std::atomic<int64_t> FSeekRel{0};
  std::atomic<int> FSeekFlags{0};
  std::atomic<bool> FSeekPending{false};  // read thread sought, no picture since
  std::atomic<bool> FPositionStale{false};
  std::atomic<int64_t> FLastPos{-1};

  // "seek done" and "picture ready" events; guarded by FEventLock.
  std::mutex FEventLock;
  std::condition_variable FEventCond;
  bool FSeekDone = true;
  bool FPictureReady = false;

  std::atomic<bool> FPaused{false};
  std::atomic<bool> FStep{false};
  std::atomic<bool> FEof{false};         // read thread met the end of input
  std::atomic<bool> FEndReached{false};  // ... and every packet queue ran dry
  std::atomic<double> FSkipRatio{0};
  std::atomic<int> FQueuedPictures{0};

  TPlayerClock FAudClk{&FQueues[kAudio].Serial()};
  TPlayerClock FVidClk{&FQueues[kVideo].Serial()};
  TPlayerClock FExtClk;
  Tav_sync_type FMaster = AV_SYNC_AUDIO_MASTER;

  TPictureQueue FPictures;
  TSubtitleQueue FSubtitles;
  std::string FShownText;       // display: subtitle text the surface has
  int64_t FDrawnSubtitle = -1;  // display: Id of the subtitle drawn, -1 for none
  int64_t FSubtitleIds = 0;     // subtitle thread only

  // Audio output.
  uint32_t FAudioDev = 0;
  bool FSilentOutput = false;
  std::atomic<bool> FAudioReady{false};  // output fields below are set
  std::thread FSilentThread;             // stands in for the device when there is none
  std::atomic<bool> FAudioStop{false};   // ends the silent output of a closed stream
  int FAudioRate = 0;
  int FAudioChannels = 0;
  int FBytesPerSec = 0;
  int FHwBufBytes = 0;
  TAudioRing FRing;
  std::vector<uint8_t> FCallbackBuf;  // callback thread only
  // Audio thread only.
  ff::SwrPtr FSwr;
  AVSampleFormat FSwrFormat = AV_SAMPLE_FMT_NONE;
  int FSwrRate = 0;
  AVChannelLayout FSwrLayout{};
  double FDiffCum = 0;
  int FDiffCount = 0;
  // Samples for the wave form and spectrum; guarded by FSampleLock (PlaybackAudio.cpp).
  static constexpr int kSampleRing = 131072;
  mutable std::mutex FSampleLock;
  std::vector<int16_t> FSampleArray = std::vector<int16_t>(kSampleRing);
  int FSampleIndex = 0;

  // Video thread only.
  ff::FilterGraphPtr FGraph;
  AVFilterContext *FFilterIn = nullptr;
  AVFilterContext *FFilterOut = nullptr;
  int FGraphW = 0, FGraphH = 0, FGraphFormat = -1;
  double FSkipCount = 0;
  SwsContext *FToRGB = nullptr;
  SwsContext *FFromRGB = nullptr;
  TPlayerBitmap FHookBitmap;

  // Display (play thread under the player's data lock).
  double FFrameTimer = 0;
  double FLastDelay = 0.04;
  bool FForceRefresh = false;
  bool FStarted = false;  // first refresh done
  std::atomic<int> FDrawWidth{0}, FDrawHeight{0};
  SwsContext *FDisplaySws = nullptr;
  SwsContext *FGrabSws = nullptr;
  TPlayerBitmap FDisplayBitmap;
  TShowAudio FLastShowAudio = saNone;
  double FLastAudioDraw = 0;
  RDFTContext *FRdft = nullptr;
  int FRdftBits = 0;
  std::vector<float> FRdftData;
  int FSpectrumX = 0;
  bool FLoopArmed = true;
};
