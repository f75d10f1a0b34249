// The media probe: opens a media file (or borrows a container opened elsewhere) and
// reports its format, size, duration, bit rate, tags and streams, as records and as a
// multi-line information text.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "FFmpegLoader/FFmpegLoader.h"

// Raised when the probe is used before its libraries are loaded.
class EAVProbeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TFileStreamInfo {
  int64_t StartTime = -1;  // µs, -1 when unset
  int64_t Duration = -1;   // µs, -1 when unset
  int32_t BitRate = -1;    // bit/s
  int64_t TimeStamp = -1;  // seconds since 1970-01-01 UTC, 0 when none
  int32_t Year = -1;
  int32_t Track = -1;
  std::string Title, Author, Copyright, Comment, Album, Genre;
};

struct TAudioStreamInfo {
  std::string Language;
  std::string CodecName;
  int64_t StartTime = -1;        // stream time-base units
  int64_t StartTimeScaled = -1;  // µs
  int64_t Duration = -1;         // stream time-base units
  int64_t DurationScaled = -1;   // µs
  int32_t BitRate = -1;
  int32_t Channels = -1;
  int32_t SampleRate = -1;
  int32_t SampleFormat = -1;  // AVSampleFormat
};

struct TVideoStreamInfo {
  std::string Language;
  std::string CodecName;
  int64_t StartTime = -1;
  int64_t StartTimeScaled = -1;
  int64_t Duration = -1;
  int64_t DurationScaled = -1;
  int32_t BitRate = -1;
  int32_t Height = -1;
  int32_t Width = -1;
  float AspectRatio = -1.0f;  // width × sample aspect ÷ height
  int32_t PixFmt = -1;        // AVPixelFormat
  AVRational FrameRate{-1, -1};
};

struct TSubtitleStreamInfo {
  std::string Language;
  std::string CodecName;
};

class TCustomAVProbe {
 public:
  TCustomAVProbe() = default;
  virtual ~TCustomAVProbe();
  TCustomAVProbe(const TCustomAVProbe &) = delete;
  TCustomAVProbe &operator=(const TCustomAVProbe &) = delete;

  [[nodiscard]] bool AVLibLoaded() const;
  [[nodiscard]] bool LoadAVLib(const std::string &APath);
  void UnloadAVLib();

  // Opens and analyses a file; false with LastErrMsg on failure (then no container).
  // Raises EAVProbeError when the libraries are not loaded.
  [[nodiscard]] bool LoadFile(const std::string &AFileName, const std::string &AFormatName = "");
  // Forgets the container (closing it only when the probe opened it).
  virtual void CloseFile();

  [[nodiscard]] AVFormatContext *FileHandle() const { return FFileHandle; }
  // Borrows a container opened elsewhere; the probe never closes it.
  virtual void SetFileHandle(AVFormatContext *AValue);

  [[nodiscard]] bool IsAudioStream(int AStreamIndex);
  [[nodiscard]] bool IsVideoStream(int AStreamIndex);
  [[nodiscard]] bool IsSubtitleStream(int AStreamIndex);

  [[nodiscard]] std::string FileName();
  [[nodiscard]] std::string FormatName();
  [[nodiscard]] std::string FormatLongName();
  [[nodiscard]] TFileStreamInfo FileStreamInfo();
  // A negative index means the first stream of that kind.
  [[nodiscard]] TAudioStreamInfo AudioStreamInfo(int AStreamIndex);
  [[nodiscard]] TVideoStreamInfo VideoStreamInfo(int AStreamIndex);
  [[nodiscard]] TSubtitleStreamInfo SubtitleStreamInfo(int AStreamIndex);
  [[nodiscard]] TAudioStreamInfo FirstAudioStreamInfo() { return AudioStreamInfo(-1); }
  [[nodiscard]] TVideoStreamInfo FirstVideoStreamInfo() { return VideoStreamInfo(-1); }
  [[nodiscard]] TSubtitleStreamInfo FirstSubtitleStreamInfo() { return SubtitleStreamInfo(-1); }
  // The information text, one line per fact, each line ended by a line break.
  [[nodiscard]] std::string FileInfoText();

  [[nodiscard]] const std::string &LastErrMsg() const { return FLastErrMsg; }
  [[nodiscard]] const std::string &ForceFormat() const { return FForceFormat; }
  [[nodiscard]] int64_t FileSize() const { return FFileSize; }
  [[nodiscard]] int StreamCount() const { return FStreamCount; }
  [[nodiscard]] int ProgramCount() const { return FProgramCount; }
  [[nodiscard]] int AudioStreamCount() const { return FAudioStreamCount; }
  [[nodiscard]] int VideoStreamCount() const { return FVideoStreamCount; }
  [[nodiscard]] int SubtitleStreamCount() const { return FSubtitleStreamCount; }
  [[nodiscard]] int FirstAudioStreamIndex() const { return FFirstAudioStreamIndex; }
  [[nodiscard]] int FirstVideoStreamIndex() const { return FFirstVideoStreamIndex; }
  [[nodiscard]] int FirstSubtitleStreamIndex() const { return FFirstSubtitleStreamIndex; }

 protected:
  // Recounts after a container change.
  virtual void UpdateInfo();

 private:
  void CheckLibraries() const;
  bool NeedFile();
  void Error(const std::string &AMsg);
  // Index of the stream of the kind to describe, or -1 after recording why there is none.
  int StreamOfKind(int AStreamIndex, AVMediaType AKind);
  bool StreamIndexValid(int AStreamIndex);
  std::string StreamLine(int AIndex);
  void TagBlock(std::string &AText, const AVDictionary *ATags, const char *APrefix);

  AVFormatContext *FFileHandle = nullptr;
  bool FOwnHandle = false;
  std::string FLastErrMsg;
  std::string FForceFormat;
  int64_t FFileSize = -1;
  int FStreamCount = -1;
  int FProgramCount = -1;
  int FAudioStreamCount = -1;
  int FVideoStreamCount = -1;
  int FSubtitleStreamCount = -1;
  int FFirstAudioStreamIndex = -1;
  int FFirstVideoStreamIndex = -1;
  int FFirstSubtitleStreamIndex = -1;
};

class TAVProbe : public TCustomAVProbe {};
