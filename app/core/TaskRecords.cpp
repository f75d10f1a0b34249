#include "TaskRecords.h"

#include <strings.h>

#include <cstdlib>

#include "FFmpegLoader/FFmpegLoader.h"
#include "OutputNaming.h"

namespace {

// True when an output that names no video codec gets H.264 from libx264: the codec its
// container chooses by itself. libx264 refuses the engine's generic defaults, so such an
// output needs the x264 preset as much as one that names libx264.
bool ContainerDefaultIsX264(const TOutputOptions &AOutput) {
  if (ff::format.av_guess_format == nullptr || ff::codec.avcodec_find_encoder == nullptr)
    return false;
  const char *format = AOutput.FileFormat.empty() ? nullptr : AOutput.FileFormat.c_str();
  const AVOutputFormat *of = ff::format.av_guess_format(format, AOutput.FileName.c_str(), nullptr);
  if (of == nullptr) return false;
  const AVCodecID id =
      ff::format.av_guess_codec(of, nullptr, AOutput.FileName.c_str(), nullptr, AVMEDIA_TYPE_VIDEO);
  if (id != AV_CODEC_ID_H264) return false;
  const AVCodec *encoder = ff::codec.avcodec_find_encoder(id);
  return encoder != nullptr && std::string(encoder->name) == "libx264";
}

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
  if (o.VideoCodec.empty() && !o.DisableVideo && o.VideoPreset.empty() && ContainerDefaultIsX264(o))
    o.VideoPreset = "libx264-default";
  return o;
}
