// What the options dialog does with a preset row and with the user's choice, as plain
// functions: the dialog mirrors TOptionSelectors into its drop-down lists, and a program
// without a window fills and confirms a profile with the same calls.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ConversionProfile.h"

// One drop-down list of fixed items.
struct TSelectorState {
  std::vector<std::string> Items;
  int Index = -1;  // current item, -1 = none
  bool Enabled = true;

  [[nodiscard]] std::string Text() const;
  // Makes the first item equal to text current; false (and nothing changed) if absent.
  bool Select(std::string_view text);
  void Clear();
};

struct TOptionSelectors {
  TSelectorState Resolution;    // "视频分辨率："
  TSelectorState VideoBitrate;  // "视频比特率："
  TSelectorState FrameRate;     // "视频帧率："
  TSelectorState Aspect;        // "视频缩放比："
  TSelectorState AudioBitrate;  // "音频比特率："
  TSelectorState SampleRate;    // "音频采样率："
  TSelectorState Channels;      // "声道设置："
  TSelectorState Target;        // never shown; holds the disc target of target rows
};

// Every selector loses its items and text; the filter chain and video tag are cleared.
void ClearOptionSelectors(TOptionSelectors &selectors, TConversionProfile &profile);

// Switches video on: the video and target selectors enabled, and the fields that only
// some rows write (disable-video, container, norm, target) back to their neutral values.
void EnableVideoOptions(TOptionSelectors &selectors, TConversionProfile &profile);

// Applies the row of profile.VideoSelectType: switches video on, composes the output name
// from the folder and profile.AFileName, writes the row's fields and fills and preselects
// the selectors. An id without a row changes nothing after switching video on; then
// false is returned.
bool ApplyPresetRow(TOptionSelectors &selectors, TConversionProfile &profile,
                    std::string_view outputFolder);

// folder + "/" + the source's file name with its extension replaced by ext (appended
// when the name has none).
[[nodiscard]] std::string ComposeOutputFileName(std::string_view outputFolder,
                                                std::string_view sourcePath, std::string_view ext);

// The current texts of the selectors, as the confirmation reads them.
struct TChosenOptions {
  std::string Channels, SampleRate, AudioBitrate, Resolution, FrameRate, Aspect, VideoBitrate,
      Target;
};
[[nodiscard]] TChosenOptions ChosenOptions(const TOptionSelectors &selectors);

// Turns the chosen texts into profile values; a disc target overrides every choice and
// renames the output to "<name>_PAL.mpg" inside outputFolder.
void ConfirmOptions(TConversionProfile &profile, const TChosenOptions &chosen,
                    std::string_view outputFolder);

// "128 kbps" -> 128000, "12.2 kbps" -> 12200. Decimal digits are taken exactly, so
// "5.15 kbps" is 5150 and not one bit less. Nothing for a text without a number.
[[nodiscard]] std::optional<int32_t> BitrateFromText(std::string_view text);

// The whole options-dialog path without a window, for programs that take the choice as
// text: applies the row of profile.VideoSelectType, makes every non-empty text of
// overrides the current item of its selector (the target comes from the row and is not
// overridden), and confirms.
enum class TConfigureError { None, UnknownPreset, ItemNotOffered };
struct TConfigureResult {
  TConfigureError Error = TConfigureError::None;
  std::string Selector;  // label of the selector that refused, e.g. "视频分辨率："
  std::string Item;      // the refused text
  explicit operator bool() const { return Error == TConfigureError::None; }
};
// On an error the profile holds the applied row but is not confirmed.
[[nodiscard]] TConfigureResult ConfigureProfile(TConversionProfile &profile,
                                                std::string_view outputFolder,
                                                const TChosenOptions &overrides);
