// Task option records: one input record per source file and one output record per
// output file. Plain data; the queue turns each field into an engine option.
#pragma once

#include <cstdint>
#include <string>

// The libraries' "no time stamp" value: a time that is not set.
inline constexpr int64_t NOPTS = static_cast<int64_t>(0x8000000000000000ULL);

enum TOptionTargetType { ttIgnore, ttVCD, ttSVCD, ttDVD };
enum TOptionNormType { ntAuto, ntPAL, ntNTSC };
// Subrange ntPAL..ntNTSC of TOptionNormType.
using TOptionNormDefault = TOptionNormType;

// Metadata of an output file. Texts are UTF-8 throughout the program.
struct TStreamInfo {
  double TimeStamp = -1.0;  // days since 1899-12-30, local time; 0 = now; < 0 = not set
  int32_t Year = -1;
  int32_t Track = -1;
  std::string Title;
  std::string Author;
  std::string Copyright;
  std::string Comment;
  std::string Album;
  std::string Genre;
};

struct TInputOptions {
  std::string FileName;
  std::string FileFormat;
  int64_t TimeStart = NOPTS;  // µs
  int32_t ProgramID = -1;
  std::string ExtOptions;
  int32_t Tag = 0;
  void *Data = nullptr;
};

struct TOutputOptions {
  std::string FileName;
  std::string FileExt;
  std::string FileFormat;
  int32_t PacketSize = -1;
  int32_t MuxRate = -1;
  float MuxDelay = -1.0f;    // seconds
  float MuxPreload = -1.0f;  // seconds
  std::string AudioCodec;
  std::string AudioPreset;
  bool DisableAudio = false;
  int32_t AudioVolume = -1;
  int32_t AudioChannels = -1;
  int32_t AudioSampleRate = -1;
  int32_t AudioBitrate = -1;  // bit/s
  int32_t AudioBitRateTolerance = -1;
  std::string AudioLanguage;
  int32_t AudioSyncMethod = 0;
  std::string AudioTag;
  std::string VideoCodec;
  std::string VideoPreset;
  bool DisableVideo = false;
  std::string FrameRate;
  std::string FrameSize;
  std::string FrameAspectRatio;
  int32_t CropTop = -1;
  int32_t CropBottom = -1;
  int32_t CropLeft = -1;
  int32_t CropRight = -1;
  int32_t GroupPictureSize = -1;
  int32_t VideoBitrate = -1;  // bit/s
  int32_t VideoMaxRate = -1;
  int32_t VideoMinRate = -1;
  int32_t VideoBitRateTolerance = -1;
  int32_t VideoBufSize = -1;
  int32_t VideoSyncMethod = -1;
  std::string VideoTag;
  std::string VideoFilters;
  std::string VideoLanguage;
  std::string SubtitleCodec;
  std::string SubtitlePreset;
  bool DisableSubtitle = false;
  std::string SubtitleLanguage;
  bool InputSync = false;
  bool CopyTimestamp = false;
  int64_t TimeStart = NOPTS;   // µs
  int64_t TimeLength = NOPTS;  // µs
  TStreamInfo Info;
  TOptionTargetType TargetType = ttIgnore;
  TOptionNormType NormType = ntAuto;
  TOptionNormDefault NormDefault = ntPAL;
  bool CustomHook = false;
  bool Join = false;
  std::string ExtOptions;
  int32_t Tag = 0;
  void *Data = nullptr;
};

void InitInputOptions(TInputOptions &AOptions);
void InitOutputOptions(TOutputOptions &AOptions);
