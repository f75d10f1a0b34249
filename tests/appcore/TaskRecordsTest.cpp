#include <gtest/gtest.h>

#include "TaskRecords.h"

namespace {

// A profile as the options dialog leaves it after a confirmation.
TConversionProfile Confirmed() {
  TConversionProfile p;
  p.Reset();
  p.Video_OutPutFileName = "/out/clip.mp4";
  p.Video_FileExt = ".mp4";
  p.Video_VideoBitrate = kNoBitrate;
  p.Video_AudioBitrate = kNoBitrate;
  p.Video_TimeStart = 0;
  return p;
}

TEST(InputRecordTest, DatFilesAreReadAsMpegProgramStreams) {
  const TConversionProfile p = Confirmed();
  EXPECT_EQ(BuildInputOptions("/v/clip.DAT", p).FileFormat, "mpeg");
  EXPECT_EQ(BuildInputOptions("/v/clip.dat", p).FileFormat, "mpeg");
  EXPECT_EQ(BuildInputOptions("/v/clip.mpg", p).FileFormat, "");
  EXPECT_EQ(BuildInputOptions("/v/clip.dat.mp4", p).FileFormat, "");
  const TInputOptions in = BuildInputOptions("/v/clip.mpg", p);
  EXPECT_EQ(in.FileName, "/v/clip.mpg");
  EXPECT_EQ(in.TimeStart, 0);
  TConversionProfile late = p;
  late.Video_TimeStart = 1500;
  EXPECT_EQ(BuildInputOptions("/v/a.avi", late).TimeStart, 1500000);  // ms -> µs
}

TEST(OutputRecordTest, EveryProfileFieldReachesItsRecordField) {
  TConversionProfile p = Confirmed();
  p.Video_AudioChannels = "1";
  p.Video_AudioSampleRate = "22050";
  p.Video_FrameSize = "320*240";
  p.Video_FrameRate = "15.00";
  p.Video_TargetType = "dvd";
  p.Video_NormType = "PAL";
  p.Video_AudioVolume = "512";
  p.Video_DisableVideo = true;
  p.Video_FrameAspectRatio = "16:9";
  p.Video_VideoBitrate = 768000;
  p.Video_AudioBitrate = 96000;
  p.Video_FileFormat = "asf";
  p.Video_VideoFilters = "hflip";
  p.Video_VideoCodec = "wmv2";
  p.Video_AudioCodec = "wmav2";
  p.Video_VideoTag = "WMV2";
  const TOutputOptions o = BuildOutputOptions("/out/x.wmv", p, TAddKind::Group);
  EXPECT_EQ(o.FileName, "/out/x.wmv");
  EXPECT_EQ(o.AudioChannels, 1);
  EXPECT_EQ(o.AudioSampleRate, 22050);
  EXPECT_EQ(o.FrameSize, "320*240");
  EXPECT_EQ(o.FrameRate, "15.00");
  EXPECT_EQ(o.TargetType, ttDVD);
  EXPECT_EQ(o.NormType, ntPAL);
  EXPECT_EQ(o.TimeStart, NOPTS);  // only a single-file add starts at 0
  EXPECT_EQ(o.TimeLength, NOPTS);
  EXPECT_EQ(o.AudioVolume, 512);
  EXPECT_TRUE(o.DisableVideo);
  EXPECT_EQ(o.FrameAspectRatio, "16:9");
  EXPECT_EQ(o.VideoBitrate, 768000);
  EXPECT_EQ(o.AudioBitrate, 96000);
  EXPECT_EQ(o.FileFormat, "asf");
  EXPECT_EQ(o.VideoFilters, "hflip");
  EXPECT_EQ(o.VideoCodec, "wmv2");
  EXPECT_EQ(o.VideoTag, "WMV2");
  EXPECT_EQ(o.AudioCodec, "wmav2");
  EXPECT_EQ(o.VideoPreset, "");
  EXPECT_EQ(BuildOutputOptions("/out/x.mp4", p, TAddKind::OneFile).TimeStart, 0);
}

TEST(OutputRecordTest, NeutralProfileValuesLeaveTheDefaults) {
  TConversionProfile p = Confirmed();
  p.Video_AudioSampleRate = "AUTO";
  p.Video_AudioCodec = "AUTO";
  p.Video_AudioBitrate = -2000;
  TOutputOptions defaults;
  InitOutputOptions(defaults);
  const TOutputOptions o = BuildOutputOptions("/out/x.mp4", p, TAddKind::Group);
  EXPECT_EQ(o.AudioChannels, defaults.AudioChannels);
  EXPECT_EQ(o.AudioSampleRate, defaults.AudioSampleRate);
  EXPECT_EQ(o.AudioCodec, "");
  EXPECT_EQ(o.AudioBitrate, defaults.AudioBitrate);
  EXPECT_EQ(o.VideoBitrate, defaults.VideoBitrate);
  EXPECT_EQ(o.AudioVolume, defaults.AudioVolume);
  EXPECT_EQ(o.TargetType, ttIgnore);
  EXPECT_EQ(o.NormType, ntAuto);
  EXPECT_EQ(o.FrameSize, "");
  EXPECT_EQ(o.SubtitleLanguage, defaults.SubtitleLanguage);
  p.Video_TargetType = "cd";
  p.Video_NormType = "NTSC";
  const TOutputOptions other = BuildOutputOptions("/out/x.mpg", p, TAddKind::Group);
  EXPECT_EQ(other.TargetType, ttIgnore);
  EXPECT_EQ(other.NormType, ntNTSC);
}

TEST(OutputRecordTest, VideoCodecRulesForTagsAndPresets) {
  struct Case {
    std::string codec, tag, ext;
    std::string expectedTag, expectedPreset;
  } cases[] = {
      {"mpeg4", "XVID", ".avi", "XVID", ""},   {"mpeg4", "XVID", ".mp4", "", ""},
      {"mpeg4", "DX50", ".avi", "DX50", ""},   {"mpeg4", "DX50", ".mp4", "", ""},
      {"mpeg4", "FMP4", ".avi", "", ""},       {"libx264", "", ".mp4", "", "libx264-default"},
      {"libxvid", "XVID", ".mp4", "XVID", ""},
  };
  for (const Case &c : cases) {
    TConversionProfile p = Confirmed();
    p.Video_VideoCodec = c.codec;
    p.Video_VideoTag = c.tag;
    p.Video_FileExt = c.ext;
    const TOutputOptions o = BuildOutputOptions("/out/x" + c.ext, p, TAddKind::OneFile);
    EXPECT_EQ(o.VideoCodec, c.codec);
    EXPECT_EQ(o.VideoTag, c.expectedTag) << c.codec << " " << c.tag << " " << c.ext;
    EXPECT_EQ(o.VideoPreset, c.expectedPreset) << c.codec;
  }
}

}  // namespace
