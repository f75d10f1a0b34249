// The options dialog's choices as command-line options: "--size 320*240" stands for the
// resolution item "320*240", "--ac 2" for "立体声", "keep" for the "保持原…" items. A value
// is accepted only when it names one of the items the preset's row offers.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "OptionRules.h"
#include "PresetRows.h"

namespace cli {

enum class TChoiceOption {
  Size,
  VideoBitrate,
  FrameRate,
  Aspect,
  AudioBitrate,
  SampleRate,
  Channels
};

struct TChoiceOptionInfo {
  TChoiceOption Option;
  const char *Flag;  // "--size"
  const char *Key;   // "size": the key in listings and JSON
  const char *Unit;  // shown in messages: "W*H", "KBPS" ...
};

// The seven options in the dialog's order.
[[nodiscard]] const std::vector<TChoiceOptionInfo> &ChoiceOptions();
[[nodiscard]] const TChoiceOptionInfo *FindChoiceOption(const std::string &AFlag);

// The command-line form of an item ("128 kbps" -> "128", "立体声" -> "2",
// "保持原分辨率" -> "keep"); empty for items that stand for "no video".
[[nodiscard]] std::string CommandLineForm(TChoiceOption AOption, const std::string &AItem);

// The command-line forms of the items the row offers for the option, without repeats.
[[nodiscard]] std::vector<std::string> AllowedValues(const TPresetRow &ARow, TChoiceOption AOption);
// The item preselected by the row, in command-line form (empty when there is none).
[[nodiscard]] std::string PreselectedValue(const TPresetRow &ARow, TChoiceOption AOption);

// The row's item that AValue names, or nothing. Numbers compare by value ("25" names
// "25.00", "12.2" names "12.2 kbps"); sizes may be written with "x" as well as "*".
[[nodiscard]] std::optional<std::string> MatchItem(const TPresetRow &ARow, TChoiceOption AOption,
                                                   const std::string &AValue);

// Puts the item into the matching field of the dialog's choice.
void SetChosen(TChosenOptions &AChosen, TChoiceOption AOption, const std::string &AItem);

}  // namespace cli
