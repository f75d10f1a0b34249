#include "PresetOptions.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "OptionLists.h"

namespace cli {
namespace {

const TSelectorChoice &RowChoice(const TPresetRow &ARow, TChoiceOption AOption) {
  switch (AOption) {
    case TChoiceOption::Size:
      return ARow.Resolution;
    case TChoiceOption::VideoBitrate:
      return ARow.VideoBitrate;
    case TChoiceOption::FrameRate:
      return ARow.FrameRate;
    case TChoiceOption::Aspect:
      return ARow.Aspect;
    case TChoiceOption::AudioBitrate:
      return ARow.AudioBitrate;
    case TChoiceOption::SampleRate:
      return ARow.SampleRate;
    case TChoiceOption::Channels:
      break;
  }
  return ARow.Channels;
}

// A whole decimal number, nothing before or after it.
std::optional<double> Number(const std::string &AText) {
  if (AText.empty() || !(std::isdigit(static_cast<unsigned char>(AText[0])) || AText[0] == '.'))
    return std::nullopt;
  char *end = nullptr;
  const double v = std::strtod(AText.c_str(), &end);
  if (end != AText.c_str() + AText.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

// "128", "128k", "128kbps", "128 kbps" -> bit/s.
std::optional<int32_t> KbpsValue(std::string AText) {
  std::transform(AText.begin(), AText.end(), AText.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const char *suffix : {" kbps", "kbps", "k"})
    if (AText.size() > std::char_traits<char>::length(suffix) && AText.ends_with(suffix)) {
      AText.resize(AText.size() - std::char_traits<char>::length(suffix));
      break;
    }
  if (!Number(AText)) return std::nullopt;
  return BitrateFromText(AText + " kbps");
}

bool IsKeep(const std::string &AValue) {
  std::string v = AValue;
  std::transform(v.begin(), v.end(), v.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return v == "keep";
}

}  // namespace

const std::vector<TChoiceOptionInfo> &ChoiceOptions() {
  static const std::vector<TChoiceOptionInfo> options = {
      {TChoiceOption::Size, "--size", "size", "W*H"},
      {TChoiceOption::VideoBitrate, "--vb", "vb", "KBPS"},
      {TChoiceOption::FrameRate, "--fps", "fps", "R"},
      {TChoiceOption::Aspect, "--aspect", "aspect", "A"},
      {TChoiceOption::AudioBitrate, "--ab", "ab", "KBPS"},
      {TChoiceOption::SampleRate, "--ar", "ar", "HZ"},
      {TChoiceOption::Channels, "--ac", "ac", "1|2"},
  };
  return options;
}

const TChoiceOptionInfo *FindChoiceOption(const std::string &AFlag) {
  for (const TChoiceOptionInfo &o : ChoiceOptions())
    if (AFlag == o.Flag) return &o;
  return nullptr;
}

std::string CommandLineForm(TChoiceOption AOption, const std::string &AItem) {
  if (AItem == kNoVideo || AItem == kNoVideoResolution) return {};
  if (AItem == kKeepResolution || AItem == kKeepFrameRate || AItem == kKeepAspect) return "keep";
  switch (AOption) {
    case TChoiceOption::VideoBitrate:
    case TChoiceOption::AudioBitrate:
      // "12.2 kbps" -> "12.2"
      return AItem.substr(0, AItem.find(' '));
    case TChoiceOption::Aspect: {
      // "宽屏视频16:9模式" -> "16:9"
      const std::size_t colon = AItem.find(':');
      if (colon == std::string::npos) return AItem;
      std::size_t b = colon, e = colon + 1;
      while (b > 0 && std::isdigit(static_cast<unsigned char>(AItem[b - 1]))) --b;
      while (e < AItem.size() && std::isdigit(static_cast<unsigned char>(AItem[e]))) ++e;
      return AItem.substr(b, e - b);
    }
    case TChoiceOption::Channels:
      if (AItem == kStereo) return "2";
      if (AItem == kMono) return "1";
      return AItem;
    default:
      return AItem;
  }
}

std::vector<std::string> AllowedValues(const TPresetRow &ARow, TChoiceOption AOption) {
  std::vector<std::string> values;
  for (const std::string &item : Items(RowChoice(ARow, AOption).List)) {
    std::string v = CommandLineForm(AOption, item);
    if (!v.empty() && std::find(values.begin(), values.end(), v) == values.end())
      values.push_back(std::move(v));
  }
  return values;
}

std::string PreselectedValue(const TPresetRow &ARow, TChoiceOption AOption) {
  const TSelectorChoice &choice = RowChoice(ARow, AOption);
  const std::vector<std::string> &items = Items(choice.List);
  if (choice.Preselected) return CommandLineForm(AOption, choice.Preselected);
  return items.empty() ? std::string() : CommandLineForm(AOption, items.front());
}

std::optional<std::string> MatchItem(const TPresetRow &ARow, TChoiceOption AOption,
                                     const std::string &AValue) {
  std::string value = AValue;
  if (AOption == TChoiceOption::Size) std::replace(value.begin(), value.end(), 'x', '*');
  for (const std::string &item : Items(RowChoice(ARow, AOption).List)) {
    const std::string form = CommandLineForm(AOption, item);
    if (form.empty()) continue;
    if (form == "keep") {
      if (IsKeep(value)) return item;
      continue;
    }
    bool same = form == value;
    switch (AOption) {
      case TChoiceOption::VideoBitrate:
      case TChoiceOption::AudioBitrate: {
        const auto want = KbpsValue(value);
        same = want && want == BitrateFromText(item);
        break;
      }
      case TChoiceOption::FrameRate:
      case TChoiceOption::SampleRate: {
        const auto want = Number(value), have = Number(form);
        same = want && have && std::fabs(*want - *have) < 0.0005;
        break;
      }
      case TChoiceOption::Channels:
        same = same || (value == "stereo" && form == "2") || (value == "mono" && form == "1");
        break;
      default:
        break;
    }
    if (same) return item;
  }
  return std::nullopt;
}

void SetChosen(TChosenOptions &AChosen, TChoiceOption AOption, const std::string &AItem) {
  switch (AOption) {
    case TChoiceOption::Size:
      AChosen.Resolution = AItem;
      break;
    case TChoiceOption::VideoBitrate:
      AChosen.VideoBitrate = AItem;
      break;
    case TChoiceOption::FrameRate:
      AChosen.FrameRate = AItem;
      break;
    case TChoiceOption::Aspect:
      AChosen.Aspect = AItem;
      break;
    case TChoiceOption::AudioBitrate:
      AChosen.AudioBitrate = AItem;
      break;
    case TChoiceOption::SampleRate:
      AChosen.SampleRate = AItem;
      break;
    case TChoiceOption::Channels:
      AChosen.Channels = AItem;
      break;
  }
}

}  // namespace cli
