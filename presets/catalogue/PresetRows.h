// The option row of every preset: what the options dialog fills its selectors with
// and which fixed settings it writes into the conversion profile.
#pragma once

#include <span>

#include "OptionLists.h"

// One selector's list and its preselected item (nullptr = the list's first item).
struct TSelectorChoice {
  TItemList List = TItemList::R1;
  const char *Preselected = nullptr;
};

enum class TDiscTarget : unsigned char { None, DVD, SVCD, VCD };

struct TDiscTargetInfo {
  const char *SelectorText;  // the hidden target selector's single item
  const char *TargetType;    // Video_TargetType
  const char *NormType;      // Video_NormType
};

// Target and norm of a disc target; nullptr texts for TDiscTarget::None.
[[nodiscard]] TDiscTargetInfo DiscTargetInfo(TDiscTarget target);

// A null text means the row leaves that profile field as it is; an empty text is
// written as empty (the engine then chooses).
struct TPresetRow {
  int Id = 0;
  const char *Ext = nullptr;      // extension given to the output file name, with dot
  const char *FileExt = nullptr;  // Video_FileExt
  const char *VideoCodec = nullptr;
  const char *VideoTag = nullptr;
  const char *AudioCodec = nullptr;
  TSelectorChoice Resolution, VideoBitrate, FrameRate, Aspect, AudioBitrate, SampleRate, Channels;
  const char *FileFormat = nullptr;  // forced container
  TDiscTarget Target = TDiscTarget::None;
  bool AudioOnly = false;
};

// All rows, in the catalogue's bar order.
[[nodiscard]] std::span<const TPresetRow> PresetRows();

// The row of a preset id, or nullptr when the id has none.
[[nodiscard]] const TPresetRow *FindPresetRow(int presetId);
