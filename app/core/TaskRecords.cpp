#include "TaskRecords.h"

#include <strings.h>

#include <cstdlib>

#include "OutputNaming.h"

namespace {

int32_t ToInt(const std::string &AText) {
  return static_cast<int32_t>(std::strtol(AText.c_str(), nullptr, 10));
}

}  // namespace

TInputOptions BuildInputOptions(const std::string &ASource, const TConversionProfile &AProfile) {
  TInputOptions options;
  InitInputOptions(options);
  options.FileName = ASource;
  if (::strcasecmp(ExtractFileExt(ASource).c_str(), ".dat") == 0) options.FileFormat = "mpeg";
  // A profile never confirmed holds -1: no offset rather than a seek before the start.
  if (AProfile.Video_TimeStart >= 0) options.TimeStart = AProfile.Video_TimeStart * 1000;
  return options;
}

TOutputOptions BuildOutputOptions(const std::string &AOutputName,
                                  const TConversionProfile &AProfile, TAddKind AKind) {
  const TConversionProfile &p = AProfile;
  TOutputOptions o;
  InitOutputOptions(o);
  o.FileName = AOutputName;
  if (!p.Video_AudioChannels.empty()) o.AudioChannels = ToInt(p.Video_AudioChannels);
  if (!p.Video_AudioSampleRate.empty() && p.Video_AudioSampleRate != "AUTO")
    o.AudioSampleRate = ToInt(p.Video_AudioSampleRate);
  if (!p.Video_FrameSize.empty()) o.FrameSize = p.Video_FrameSize;
  if (!p.Video_FrameRate.empty()) o.FrameRate = p.Video_FrameRate;
  if (!p.Video_TargetType.empty()) {
    if (p.Video_TargetType == "vcd")
      o.TargetType = ttVCD;
    else if (p.Video_TargetType == "svcd")
      o.TargetType = ttSVCD;
    else if (p.Video_TargetType == "dvd")
      o.TargetType = ttDVD;
    else
      o.TargetType = ttIgnore;
  }
  if (p.Video_NormType == "PAL")
    o.NormType = ntPAL;
  else if (p.Video_NormType == "NTSC")
    o.NormType = ntNTSC;
  else
    o.NormType = ntAuto;
  if (AKind == TAddKind::OneFile) o.TimeStart = 0;
  if (p.Video_AudioVolume != "256") o.AudioVolume = ToInt(p.Video_AudioVolume);
  o.DisableVideo = p.Video_DisableVideo;
  if (!p.Video_FrameAspectRatio.empty()) o.FrameAspectRatio = p.Video_FrameAspectRatio;
  if (p.Video_VideoBitrate != kNoBitrate) o.VideoBitrate = p.Video_VideoBitrate;
  if (p.Video_AudioBitrate != kNoBitrate && p.Video_AudioBitrate != -2000)
    o.AudioBitrate = p.Video_AudioBitrate;
  if (!p.Video_FileFormat.empty()) o.FileFormat = p.Video_FileFormat;
  if (!p.Video_VideoFilters.empty()) o.VideoFilters = p.Video_VideoFilters;
  if (!p.Video_VideoTag.empty()) o.VideoTag = p.Video_VideoTag;
  if (!p.Video_VideoCodec.empty()) {
    o.VideoCodec = p.Video_VideoCodec;
    if (p.Video_VideoCodec == "libx264") o.VideoPreset = "libx264-default";
    if (p.Video_VideoCodec == "mpeg4") {
      const bool avi = p.Video_FileExt == ".avi";
      if (avi && (p.Video_VideoTag == "DX50" || p.Video_VideoTag == "XVID"))
        o.VideoTag = p.Video_VideoTag;
      else
        o.VideoTag.clear();
    }
  }
  if (!p.Video_AudioCodec.empty() && p.Video_AudioCodec != "AUTO")
    o.AudioCodec = p.Video_AudioCodec;
  return o;
}
