#include "OptionRules.h"

#include <algorithm>

#include "OptionLists.h"
#include "PresetRows.h"

namespace {

std::string_view Trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

void Fill(TSelectorState &selector, const TSelectorChoice &choice) {
  selector.Items = Items(choice.List);
  selector.Index = selector.Items.empty() ? -1 : 0;
  if (choice.Preselected) selector.Select(choice.Preselected);
}

void SetIfWritten(std::string &field, const char *value) {
  if (value) field = value;
}

// File name part of a path: whatever follows the last separator.
std::string_view FileNamePart(std::string_view path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// File name without its extension. A leading dot (".profile") starts the name and is
// not an extension.
std::string_view StemOf(std::string_view fileName) {
  const size_t dot = fileName.find_last_of('.');
  if (dot == std::string_view::npos || dot == 0) return fileName;
  return fileName.substr(0, dot);
}

std::string JoinFolder(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (!path.empty() && path.back() != '/') path += '/';
  path += name;
  return path;
}

// Disc targets leave every format decision to the engine's target settings.
void ClearForDiscTarget(TConversionProfile &p) {
  p.Video_AudioChannels.clear();
  p.Video_AudioSampleRate.clear();
  p.Video_FrameSize.clear();
  p.Video_FrameRate.clear();
  p.Video_FrameAspectRatio.clear();
  p.Video_FileFormat.clear();
  p.Video_VideoTag.clear();
  p.Video_VideoCodec.clear();
  p.Video_AudioCodec.clear();
  p.Video_AudioVolume = "256";
  p.Video_VideoBitrate = kNoBitrate;
  p.Video_AudioBitrate = kNoBitrate;
}

std::string AspectValue(std::string_view text) {
  if (text == "普通视频4:3模式") return "4:3";
  if (text == "宽屏视频16:9模式") return "16:9";
  if (text == "宽屏视频37:20模式") return "37:20";
  if (text == "宽屏视频47:20模式") return "47:20";
  return {};  // keep the source's shape, or no video
}

}  // namespace

std::string TSelectorState::Text() const {
  return Index >= 0 && Index < static_cast<int>(Items.size()) ? Items[Index] : std::string();
}

bool TSelectorState::Select(std::string_view text) {
  const auto it = std::find(Items.begin(), Items.end(), text);
  if (it == Items.end()) return false;
  Index = static_cast<int>(it - Items.begin());
  return true;
}

void TSelectorState::Clear() {
  Items.clear();
  Index = -1;
}

void ClearOptionSelectors(TOptionSelectors &s, TConversionProfile &profile) {
  for (TSelectorState *sel : {&s.Resolution, &s.VideoBitrate, &s.FrameRate, &s.Aspect,
                              &s.AudioBitrate, &s.SampleRate, &s.Channels, &s.Target})
    sel->Clear();
  profile.Video_VideoFilters.clear();
  profile.Video_VideoTag.clear();
}

void EnableVideoOptions(TOptionSelectors &s, TConversionProfile &profile) {
  for (TSelectorState *sel : {&s.Resolution, &s.VideoBitrate, &s.FrameRate, &s.Aspect, &s.Target})
    sel->Enabled = true;
  profile.Video_DisableVideo = false;
  profile.Video_FileFormat.clear();
  profile.Video_NormType.clear();
  profile.Video_TargetType.clear();
}

std::string ComposeOutputFileName(std::string_view outputFolder, std::string_view sourcePath,
                                  std::string_view ext) {
  std::string name(StemOf(FileNamePart(sourcePath)));
  name += ext;
  return JoinFolder(outputFolder, name);
}

bool ApplyPresetRow(TOptionSelectors &s, TConversionProfile &profile,
                    std::string_view outputFolder) {
  EnableVideoOptions(s, profile);
  const TPresetRow *row = FindPresetRow(profile.VideoSelectType);
  if (!row) return false;

  profile.Video_OutPutFileName = ComposeOutputFileName(outputFolder, profile.AFileName, row->Ext);

  SetIfWritten(profile.Video_FileExt, row->FileExt);
  SetIfWritten(profile.Video_VideoCodec, row->VideoCodec);
  SetIfWritten(profile.Video_VideoTag, row->VideoTag);
  SetIfWritten(profile.Video_AudioCodec, row->AudioCodec);
  SetIfWritten(profile.Video_FileFormat, row->FileFormat);
  if (row->AudioOnly) profile.Video_DisableVideo = true;
  if (row->Target != TDiscTarget::None) {
    const TDiscTargetInfo info = DiscTargetInfo(row->Target);
    profile.Video_TargetType = info.TargetType;
    profile.Video_NormType = info.NormType;
    ClearForDiscTarget(profile);
  }

  Fill(s.Channels, row->Channels);
  Fill(s.Resolution, row->Resolution);
  Fill(s.VideoBitrate, row->VideoBitrate);
  Fill(s.FrameRate, row->FrameRate);
  Fill(s.AudioBitrate, row->AudioBitrate);
  Fill(s.SampleRate, row->SampleRate);
  Fill(s.Aspect, row->Aspect);
  if (row->Target != TDiscTarget::None) {
    s.Target.Items = {DiscTargetInfo(row->Target).SelectorText};
    s.Target.Index = 0;
  }

  if (row->AudioOnly) {
    for (TSelectorState *sel : {&s.Resolution, &s.VideoBitrate, &s.Aspect, &s.FrameRate})
      sel->Enabled = false;
  }
  return true;
}

TChosenOptions ChosenOptions(const TOptionSelectors &s) {
  return {s.Channels.Text(),  s.SampleRate.Text(), s.AudioBitrate.Text(), s.Resolution.Text(),
          s.FrameRate.Text(), s.Aspect.Text(),     s.VideoBitrate.Text(), s.Target.Text()};
}

std::optional<int32_t> BitrateFromText(std::string_view text) {
  const size_t unit = text.find("kbps");
  std::string_view number = Trim(text.substr(0, unit));
  if (number.empty()) return std::nullopt;

  // Whole kbps and up to three decimals make an exact bit count.
  int64_t whole = 0;
  int64_t thousandths = 0;
  int decimals = 0;
  bool seenDot = false;
  bool seenDigit = false;
  for (char c : number) {
    if (c == '.' && !seenDot) {
      seenDot = true;
    } else if (c >= '0' && c <= '9') {
      seenDigit = true;
      if (!seenDot) {
        whole = whole * 10 + (c - '0');
        if (whole > 2'000'000) return std::nullopt;  // beyond any bitrate the engine takes
      } else if (decimals < 3) {
        thousandths = thousandths * 10 + (c - '0');
        ++decimals;
      }  // finer than one bit per second: dropped, as a whole-number result must
    } else {
      return std::nullopt;
    }
  }
  if (!seenDigit) return std::nullopt;
  for (; decimals < 3; ++decimals) thousandths *= 10;
  return static_cast<int32_t>(whole * 1000 + thousandths);
}

void ConfirmOptions(TConversionProfile &p, const TChosenOptions &c, std::string_view outputFolder) {
  if (c.Channels == kStereo)
    p.Video_AudioChannels = "2";
  else if (c.Channels == kMono)
    p.Video_AudioChannels = "1";

  p.Video_AudioSampleRate = c.SampleRate;

  // A text without a number (only possible for an id without a row, whose selectors are
  // empty) counts as "no value" instead of a made-up bitrate.
  p.Video_AudioBitrate = BitrateFromText(c.AudioBitrate).value_or(kNoBitrate);

  if (c.Resolution == kKeepResolution || c.Resolution == kNoVideoResolution)
    p.Video_FrameSize.clear();
  else
    p.Video_FrameSize = c.Resolution;

  if (c.FrameRate == kKeepFrameRate || c.FrameRate == kNoVideo)
    p.Video_FrameRate.clear();
  else
    p.Video_FrameRate = c.FrameRate;

  p.Video_FrameAspectRatio = AspectValue(c.Aspect);

  if (c.VideoBitrate == kNoVideo)
    p.Video_VideoBitrate = kNoBitrate;
  else
    p.Video_VideoBitrate = BitrateFromText(c.VideoBitrate).value_or(kNoBitrate);

  for (TDiscTarget t : {TDiscTarget::DVD, TDiscTarget::SVCD, TDiscTarget::VCD}) {
    const TDiscTargetInfo info = DiscTargetInfo(t);
    if (c.Target != info.SelectorText) continue;
    p.Video_TargetType = info.TargetType;
    p.Video_NormType = info.NormType;
    ClearForDiscTarget(p);
    // The output name always ends in the extension the row gave it (a bare ".mpg" when
    // several sources share the profile), so its last dot starts the extension.
    const std::string_view outName = FileNamePart(p.Video_OutPutFileName);
    std::string name(outName.substr(0, std::min(outName.find_last_of('.'), outName.size())));
    name += "_PAL.mpg";
    p.Video_OutPutFileName = JoinFolder(outputFolder, name);
    break;
  }

  p.Video_TimeStart = 0;
  p.StartTime_TimeLength = "NoSelect";
}

TConfigureResult ConfigureProfile(TConversionProfile &profile, std::string_view outputFolder,
                                  const TChosenOptions &overrides) {
  TOptionSelectors s;
  ClearOptionSelectors(s, profile);
  if (!ApplyPresetRow(s, profile, outputFolder)) return {TConfigureError::UnknownPreset, {}, {}};
  const std::pair<TSelectorState *, const std::string *> targets[] = {
      {&s.Resolution, &overrides.Resolution},     {&s.VideoBitrate, &overrides.VideoBitrate},
      {&s.FrameRate, &overrides.FrameRate},       {&s.Aspect, &overrides.Aspect},
      {&s.AudioBitrate, &overrides.AudioBitrate}, {&s.SampleRate, &overrides.SampleRate},
      {&s.Channels, &overrides.Channels}};
  const char *const labels[] = {"视频分辨率：", "视频比特率：", "视频帧率：", "视频缩放比：",
                                "音频比特率：", "音频采样率：", "声道设置："};
  for (size_t i = 0; i < std::size(targets); ++i) {
    const auto &[selector, text] = targets[i];
    if (!text->empty() && !selector->Select(*text))
      return {TConfigureError::ItemNotOffered, labels[i], *text};
  }
  ConfirmOptions(profile, ChosenOptions(s), outputFolder);
  return {};
}
