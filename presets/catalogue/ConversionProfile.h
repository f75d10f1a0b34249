// The main window's current conversion profile: the output settings for the sources
// of the add in progress. Values are held as the texts the engine options take.
#pragma once

#include <cstdint>
#include <string>

struct TConversionProfile {
  int32_t VideoSelectType = 0;  // preset id; written only by the format chooser
  std::string AFileName;        // full path of the source of a single-file add
  std::string Video_OutPutFileName;
  std::string Video_FileExt;          // with dot
  std::string Video_AudioChannels;    // "2" or "1"
  std::string Video_AudioSampleRate;  // hertz
  std::string Video_FrameSize;        // "640*480"; empty = keep the source's size
  std::string Video_FrameRate;        // "25.00"; empty = keep the source's rate
  std::string Video_NormType;         // "PAL" for disc targets
  std::string Video_VideoFilters;
  std::string Video_AudioVolume = "256";  // 256 leaves the volume unchanged
  std::string Video_FrameAspectRatio;     // "4:3", "16:9" …; empty = keep
  std::string Video_VideoCodec;           // empty = the engine's choice
  std::string Video_AudioCodec;
  std::string Video_FileFormat;     // forced container or empty
  std::string Video_TargetType;     // "dvd", "svcd", "vcd" or empty
  std::string Video_VideoTag;       // four-character code or empty
  int32_t Video_VideoBitrate = -1;  // bit/s; -1000 = no value
  int32_t Video_AudioBitrate = -1;  // bit/s; -1000 = no value
  bool Video_DisableVideo = false;
  int64_t Video_TimeStart = -1;  // ms
  std::string StartTime_TimeLength;

  // The main window's reset at the start of every add. VideoSelectType, AFileName and
  // StartTime_TimeLength keep their values.
  void Reset();
};

// Bitrate value meaning "none" (no video, or a disc target decides).
inline constexpr int32_t kNoBitrate = -1000;
