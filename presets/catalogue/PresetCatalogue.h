// The preset catalogue: 14 categories in the order of the chooser's bar, each with
// its ordered preset names. A preset is identified by its id, derived from the
// category number and the position inside the category.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct TPresetCategory {
  std::string BarText;      // entry text in the chooser's category bar
  int Number = 0;           // category number; not consecutive in bar order
  std::string SummaryText;  // footer text while the category is displayed
  std::vector<std::string> Names;
};

// Categories in bar order (top to bottom).
const std::vector<TPresetCategory> &PresetCategories();

// The chooser opens on this category (Android).
inline constexpr int kInitialCategoryNumber = 19;

[[nodiscard]] constexpr int PresetId(int categoryNumber, int position) {
  return 100 + 100 * categoryNumber + position;
}

[[nodiscard]] const TPresetCategory *FindCategory(int categoryNumber);

struct TPresetRef {
  const TPresetCategory *Category = nullptr;
  int Position = 0;
  const std::string &Name() const { return Category->Names[Position]; }
};

// The catalogue entry of a preset id, if the id names one.
[[nodiscard]] std::optional<TPresetRef> FindPreset(int presetId);

// Number of presets over all categories.
[[nodiscard]] int PresetCount();

// Every preset id in bar order and position order.
[[nodiscard]] std::vector<int> AllPresetIds();

// The extension inside a preset name's "(*.ext)" marker, with the dot; empty when the
// name carries none.
[[nodiscard]] std::string ExtensionInPresetName(const std::string &name);
