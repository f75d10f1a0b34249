#include "PresetCatalogue.h"

const TPresetCategory *FindCategory(int categoryNumber) {
  for (const TPresetCategory &c : PresetCategories())
    if (c.Number == categoryNumber) return &c;
  return nullptr;
}

std::optional<TPresetRef> FindPreset(int presetId) {
  for (const TPresetCategory &c : PresetCategories()) {
    const int position = presetId - PresetId(c.Number, 0);
    if (position >= 0 && position < static_cast<int>(c.Names.size()))
      return TPresetRef{&c, position};
  }
  return std::nullopt;
}

int PresetCount() {
  int n = 0;
  for (const TPresetCategory &c : PresetCategories()) n += static_cast<int>(c.Names.size());
  return n;
}

std::vector<int> AllPresetIds() {
  std::vector<int> ids;
  for (const TPresetCategory &c : PresetCategories())
    for (int i = 0; i < static_cast<int>(c.Names.size()); ++i) ids.push_back(PresetId(c.Number, i));
  return ids;
}

std::string ExtensionInPresetName(const std::string &name) {
  const size_t open = name.find("(*.");
  if (open == std::string::npos) return {};
  const size_t close = name.find(')', open);
  if (close == std::string::npos) return {};
  return name.substr(open + 2, close - open - 2);
}
