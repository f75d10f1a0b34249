#include <gtest/gtest.h>

#include "ConversionProfile.h"
#include "OptionRules.h"

namespace {

const char *const kFolder = "/home/u/out";

// What the main window hands the options dialog at the start of a single-file add.
TConversionProfile FreshProfile(int presetId, const char *source = "/media/v/clip.rmvb") {
  TConversionProfile p;
  p.Reset();
  p.VideoSelectType = presetId;
  p.AFileName = source;
  return p;
}

// Clear, then apply: what every showing of the options dialog does.
TOptionSelectors Show(TConversionProfile &p, TOptionSelectors s = {}) {
  ClearOptionSelectors(s, p);
  ApplyPresetRow(s, p, kFolder);
  return s;
}

}  // namespace

TEST(ConversionProfile, ResetRestoresDefaultsButKeepsPresetSourceAndTimeLength) {
  TConversionProfile p = FreshProfile(111);
  TOptionSelectors s = Show(p);
  ConfirmOptions(p, ChosenOptions(s), kFolder);
  p.Video_VideoFilters = "yadif";
  p.Video_FileExt = ".avi";
  p.Video_DisableVideo = true;
  p.Reset();

  TConversionProfile fresh;
  EXPECT_EQ(p.Video_OutPutFileName, "");
  EXPECT_EQ(p.Video_FileExt, "");
  EXPECT_EQ(p.Video_AudioVolume, "256");
  EXPECT_EQ(p.Video_VideoFilters, "");
  EXPECT_EQ(p.Video_TargetType, "");
  EXPECT_EQ(p.Video_NormType, "");
  EXPECT_EQ(p.Video_VideoBitrate, -1);
  EXPECT_EQ(p.Video_AudioBitrate, -1);
  EXPECT_EQ(p.Video_TimeStart, -1);
  EXPECT_FALSE(p.Video_DisableVideo);
  EXPECT_EQ(p.VideoSelectType, 111);
  EXPECT_EQ(p.AFileName, "/media/v/clip.rmvb");
  EXPECT_EQ(p.StartTime_TimeLength, "NoSelect");
  EXPECT_EQ(fresh.Video_AudioVolume, "256");
  EXPECT_EQ(fresh.Video_VideoBitrate, -1);
}

TEST(OptionRules, Preset100PreselectsItsItemsAndConfirmsToEngineValues) {
  TConversionProfile p = FreshProfile(100);
  const TOptionSelectors s = Show(p);
  EXPECT_EQ(s.Resolution.Text(), "保持原分辨率");
  EXPECT_EQ(s.VideoBitrate.Text(), "816 kbps");
  EXPECT_EQ(s.FrameRate.Text(), "25.00");
  EXPECT_EQ(s.Aspect.Text(), "保持原视频模式");
  EXPECT_EQ(s.AudioBitrate.Text(), "128 kbps");
  EXPECT_EQ(s.SampleRate.Text(), "44100");
  EXPECT_EQ(s.Channels.Text(), "立体声");
  EXPECT_EQ(s.Target.Items.size(), 0u);
  EXPECT_EQ(p.Video_FileExt, ".avi");
  EXPECT_EQ(p.Video_VideoCodec, "mpeg4");
  EXPECT_EQ(p.Video_VideoTag, "XVID");
  EXPECT_EQ(p.Video_AudioCodec, "libmp3lame");
  EXPECT_EQ(p.Video_OutPutFileName, "/home/u/out/clip.avi");

  ConfirmOptions(p, ChosenOptions(s), kFolder);
  EXPECT_EQ(p.Video_AudioChannels, "2");
  EXPECT_EQ(p.Video_AudioSampleRate, "44100");
  EXPECT_EQ(p.Video_AudioBitrate, 128000);
  EXPECT_EQ(p.Video_FrameSize, "");
  EXPECT_EQ(p.Video_FrameRate, "25.00");
  EXPECT_EQ(p.Video_FrameAspectRatio, "");
  EXPECT_EQ(p.Video_VideoBitrate, 816000);
  EXPECT_EQ(p.Video_TimeStart, 0);
  EXPECT_EQ(p.StartTime_TimeLength, "NoSelect");
  EXPECT_EQ(p.Video_OutPutFileName, "/home/u/out/clip.avi");
}

TEST(OptionRules, AudioOnlyRowDisablesVideoUntilALaterVideoRow) {
  TConversionProfile p = FreshProfile(200);
  TOptionSelectors s = Show(p);
  for (const TSelectorState *v : {&s.Resolution, &s.VideoBitrate, &s.FrameRate, &s.Aspect}) {
    EXPECT_FALSE(v->Enabled);
    EXPECT_EQ(v->Items.size(), 1u);
  }
  EXPECT_EQ(s.Resolution.Text(), "该格式无视频");
  EXPECT_EQ(s.VideoBitrate.Text(), "无视频");
  EXPECT_TRUE(s.AudioBitrate.Enabled && s.SampleRate.Enabled && s.Channels.Enabled);
  EXPECT_EQ(s.AudioBitrate.Text(), "128 kbps");
  EXPECT_EQ(s.SampleRate.Text(), "44100");
  EXPECT_EQ(s.Channels.Text(), "立体声");
  EXPECT_TRUE(p.Video_DisableVideo);
  EXPECT_EQ(p.Video_VideoCodec, "");  // left as the reset made it
  ConfirmOptions(p, ChosenOptions(s), kFolder);
  EXPECT_EQ(p.Video_VideoBitrate, -1000);
  EXPECT_EQ(p.Video_FrameSize, "");
  EXPECT_EQ(p.Video_FrameRate, "");

  // A later showing on a video preset switches everything back on.
  p.VideoSelectType = 100;
  s = Show(p, s);
  for (const TSelectorState *v : {&s.Resolution, &s.VideoBitrate, &s.FrameRate, &s.Aspect})
    EXPECT_TRUE(v->Enabled);
  EXPECT_FALSE(p.Video_DisableVideo);
  EXPECT_EQ(s.Resolution.Items.size(), 27u);
}

TEST(OptionRules, AmrRowsOfferMonoAt8000AndConvertDecimalBitrates) {
  for (int id : {212, 708}) {
    TConversionProfile p = FreshProfile(id);
    TOptionSelectors s = Show(p);
    EXPECT_EQ(s.Channels.Items, std::vector<std::string>{"单声道"}) << id;
    EXPECT_EQ(s.SampleRate.Items, std::vector<std::string>{"8000"}) << id;
    EXPECT_EQ(s.AudioBitrate.Text(), "7.4 kbps") << id;
    ASSERT_TRUE(s.AudioBitrate.Select("12.2 kbps"));
    ConfirmOptions(p, ChosenOptions(s), kFolder);
    EXPECT_EQ(p.Video_AudioBitrate, 12200) << id;
    EXPECT_EQ(p.Video_AudioChannels, "1") << id;
    EXPECT_EQ(p.Video_AudioSampleRate, "8000") << id;
    EXPECT_EQ(p.Video_VideoBitrate, -1000) << id;
    EXPECT_EQ(p.Video_FrameSize, "") << id;
    EXPECT_EQ(p.Video_OutPutFileName, "/home/u/out/clip.amr") << id;
  }
}

TEST(OptionRules, BitrateTextsBecomeExactBitCounts) {
  const std::vector<std::pair<std::string, std::optional<int32_t>>> cases = {
      {"128 kbps", 128000},
      {"12.2 kbps", 12200},
      {"4.75 kbps", 4750},
      {"5.15 kbps", 5150},
      {"7.95 kbps", 7950},
      {"5.9 kbps", 5900},
      {"8 kbps", 8000},
      {"4000 kbps", 4000000},
      {" 96kbps", 96000},
      {"", std::nullopt},
      {"无视频", std::nullopt},
      {"kbps", std::nullopt},
      {"99999999 kbps", std::nullopt},
  };
  for (const auto &[text, bits] : cases) EXPECT_EQ(BitrateFromText(text), bits) << text;
}

TEST(OptionRules, AspectTextsBecomeRatios) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"保持原视频模式", ""},         {"普通视频4:3模式", "4:3"},     {"宽屏视频16:9模式", "16:9"},
      {"宽屏视频37:20模式", "37:20"}, {"宽屏视频47:20模式", "47:20"}, {"无视频", ""},
  };
  TConversionProfile p = FreshProfile(2001);
  TOptionSelectors s = Show(p);
  EXPECT_EQ(s.Aspect.Text(), "宽屏视频16:9模式");
  for (const auto &[text, ratio] : cases) {
    TChosenOptions c = ChosenOptions(s);
    c.Aspect = text;
    ConfirmOptions(p, c, kFolder);
    EXPECT_EQ(p.Video_FrameAspectRatio, ratio) << text;
  }
}

TEST(OptionRules, DiscTargetOverridesChoicesAndNamesThePalFile) {
  const std::vector<std::tuple<int, std::string, std::string>> cases = {
      {111, "PAL_DVD视频压缩器", "dvd"},
      {112, "PAL_SVCD视频压缩器", "svcd"},
      {113, "PAL_VCD视频压缩器", "vcd"},
  };
  for (const auto &[id, selector, target] : cases) {
    TConversionProfile p = FreshProfile(id);
    p.Video_FileExt = ".keep";
    TOptionSelectors s = Show(p);
    EXPECT_EQ(s.Target.Items, std::vector<std::string>{selector}) << id;
    EXPECT_EQ(p.Video_TargetType, target) << id;
    EXPECT_EQ(p.Video_NormType, "PAL") << id;
    EXPECT_EQ(p.Video_FileExt, ".keep") << id;
    EXPECT_EQ(p.Video_OutPutFileName, "/home/u/out/clip.mpg") << id;
    ASSERT_TRUE(s.Resolution.Select("640*480"));
    ASSERT_TRUE(s.VideoBitrate.Select("2000 kbps"));
    ConfirmOptions(p, ChosenOptions(s), kFolder);
    EXPECT_EQ(p.Video_FrameSize, "") << id;
    EXPECT_EQ(p.Video_VideoBitrate, -1000) << id;
    EXPECT_EQ(p.Video_AudioBitrate, -1000) << id;
    EXPECT_EQ(p.Video_AudioChannels, "") << id;
    EXPECT_EQ(p.Video_AudioSampleRate, "") << id;
    EXPECT_EQ(p.Video_FrameRate, "") << id;
    EXPECT_EQ(p.Video_VideoCodec, "") << id;
    EXPECT_EQ(p.Video_AudioVolume, "256") << id;
    EXPECT_EQ(p.Video_TargetType, target) << id;
    EXPECT_EQ(p.Video_NormType, "PAL") << id;
    EXPECT_EQ(p.Video_OutPutFileName, "/home/u/out/clip_PAL.mpg") << id;
  }
  // Several sources at once: no source name, only the extension matters downstream.
  TConversionProfile group = FreshProfile(111, "");
  ConfirmOptions(group, ChosenOptions(Show(group)), kFolder);
  EXPECT_EQ(group.Video_OutPutFileName, "/home/u/out/_PAL.mpg");

  // The next showing on an ordinary preset drops the target again.
  TConversionProfile p = FreshProfile(111);
  TOptionSelectors s = Show(p);
  p.VideoSelectType = 101;
  s = Show(p, s);
  EXPECT_EQ(p.Video_TargetType, "");
  EXPECT_EQ(p.Video_NormType, "");
  EXPECT_TRUE(s.Target.Items.empty());
}

TEST(OptionRules, RowsWriteOnlyTheirOwnFields) {
  // 114 writes the video codec alone.
  TConversionProfile p = FreshProfile(114);
  p.Video_FileExt = ".x";
  p.Video_AudioCodec = "pcm";
  Show(p);
  EXPECT_EQ(p.Video_VideoCodec, "rv20");
  EXPECT_EQ(p.Video_FileExt, ".x");
  EXPECT_EQ(p.Video_AudioCodec, "pcm");
  EXPECT_EQ(p.Video_OutPutFileName, "/home/u/out/clip.rm");

  // A forced container and the extensions that differ from the file's.
  p = FreshProfile(108);
  Show(p);
  EXPECT_EQ(p.Video_FileFormat, "asf");
  p.VideoSelectType = 306;
  Show(p);
  EXPECT_EQ(p.Video_FileFormat, "");
  EXPECT_EQ(p.Video_FileExt, ".asf");
  EXPECT_EQ(p.Video_OutPutFileName, "/home/u/out/clip.wmv");

  // 710 and 713 are separate presets with the same row.
  TConversionProfile a = FreshProfile(710), b = FreshProfile(713);
  const TOptionSelectors sa = Show(a), sb = Show(b);
  ConfirmOptions(a, ChosenOptions(sa), kFolder);
  ConfirmOptions(b, ChosenOptions(sb), kFolder);
  EXPECT_EQ(ChosenOptions(sa).Resolution, ChosenOptions(sb).Resolution);
  EXPECT_EQ(sa.VideoBitrate.Items, sb.VideoBitrate.Items);
  EXPECT_EQ(a.Video_VideoCodec, b.Video_VideoCodec);
  EXPECT_EQ(a.Video_FrameSize, "176*144");
  EXPECT_EQ(a.Video_FrameSize, b.Video_FrameSize);
  EXPECT_EQ(a.Video_VideoBitrate, b.Video_VideoBitrate);
  EXPECT_EQ(a.Video_FrameRate, "12");
  EXPECT_EQ(a.Video_FrameRate, b.Video_FrameRate);
  EXPECT_EQ(a.Video_OutPutFileName, b.Video_OutPutFileName);
}

TEST(OptionRules, UnknownPresetFillsNothing) {
  TConversionProfile p = FreshProfile(115);
  TOptionSelectors s;
  ClearOptionSelectors(s, p);
  EXPECT_FALSE(ApplyPresetRow(s, p, kFolder));
  EXPECT_TRUE(s.Resolution.Items.empty());
  EXPECT_EQ(p.Video_OutPutFileName, "");
  ConfirmOptions(p, ChosenOptions(s), kFolder);
  EXPECT_EQ(p.Video_AudioBitrate, -1000);
  EXPECT_EQ(p.Video_VideoBitrate, -1000);
}

TEST(OptionRules, OutputNameReplacesOnlyTheFileNamesExtension) {
  struct Case {
    const char *folder, *source, *ext, *expected;
  };
  const Case cases[] = {
      {"/out", "/v/clip.rmvb", ".mp4", "/out/clip.mp4"},
      {"/out/", "/v/clip.rmvb", ".mp4", "/out/clip.mp4"},
      {"/out", "/v/clip", ".mp4", "/out/clip.mp4"},
      {"/out", "/v.d/clip", ".mp4", "/out/clip.mp4"},
      {"/out", "/v/a.b.avi", ".mp3", "/out/a.b.mp3"},
      {"/out", "/v/.hidden", ".mp4", "/out/.hidden.mp4"},
      {"/home/u/Quorvel视频输出", "/媒体/短片.flv", ".3gp", "/home/u/Quorvel视频输出/短片.3gp"},
      {"/out", "", ".mp4", "/out/.mp4"},  // several sources: only the extension is used
  };
  for (const Case &c : cases)
    EXPECT_EQ(ComposeOutputFileName(c.folder, c.source, c.ext), c.expected) << c.source;
}

TEST(OptionRules, ConfigureProfileRunsTheDialogPathWithoutAWindow) {
  TConversionProfile p = FreshProfile(2803);
  TChosenOptions overrides;
  overrides.Resolution = "1280*720";
  overrides.AudioBitrate = "96 kbps";
  ASSERT_TRUE(ConfigureProfile(p, kFolder, overrides));
  EXPECT_EQ(p.Video_FrameSize, "1280*720");
  EXPECT_EQ(p.Video_AudioBitrate, 96000);
  EXPECT_EQ(p.Video_VideoBitrate, 1500000);  // the row's preselection
  EXPECT_EQ(p.Video_VideoCodec, "libx264");
  EXPECT_EQ(p.StartTime_TimeLength, "NoSelect");

  struct Case {
    int id;
    std::string TChosenOptions::*field;
    std::string text;
    TConfigureError error;
    const char *selector;
  };
  const Case refusals[] = {
      {2803, &TChosenOptions::Resolution, "1366*768", TConfigureError::ItemNotOffered,
       "视频分辨率："},
      {200, &TChosenOptions::FrameRate, "25.00", TConfigureError::ItemNotOffered, "视频帧率："},
      {212, &TChosenOptions::Channels, "立体声", TConfigureError::ItemNotOffered, "声道设置："},
      {99, &TChosenOptions::Channels, "", TConfigureError::UnknownPreset, ""},
  };
  for (const Case &c : refusals) {
    TConversionProfile q = FreshProfile(c.id);
    TChosenOptions o;
    o.*c.field = c.text;
    const TConfigureResult r = ConfigureProfile(q, kFolder, o);
    EXPECT_EQ(r.Error, c.error) << c.id;
    EXPECT_EQ(r.Selector, c.selector) << c.id;
    EXPECT_EQ(q.Video_TimeStart, -1) << c.id;  // not confirmed
  }
}
