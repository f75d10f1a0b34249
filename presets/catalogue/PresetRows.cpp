#include "PresetRows.h"

#include <algorithm>
#include <unordered_map>

TDiscTargetInfo DiscTargetInfo(TDiscTarget target) {
  switch (target) {
    case TDiscTarget::DVD:
      return {"PAL_DVD视频压缩器", "dvd", "PAL"};
    case TDiscTarget::SVCD:
      return {"PAL_SVCD视频压缩器", "svcd", "PAL"};
    case TDiscTarget::VCD:
      return {"PAL_VCD视频压缩器", "vcd", "PAL"};
    case TDiscTarget::None:
      break;
  }
  return {nullptr, nullptr, nullptr};
}

const TPresetRow *FindPresetRow(int presetId) {
  static const std::unordered_map<int, const TPresetRow *> byId = [] {
    std::unordered_map<int, const TPresetRow *> m;
    for (const TPresetRow &row : PresetRows()) m.emplace(row.Id, &row);
    return m;
  }();
  const auto it = byId.find(presetId);
  return it == byId.end() ? nullptr : it->second;
}
