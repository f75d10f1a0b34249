// Icons of the chooser, drawn by the program: a device or format silhouette in the
// family's colour, and on preset icons a badge with the output extension.
#pragma once

#include <QPixmap>

// The bar entry's icon of a category.
[[nodiscard]] QPixmap CategoryIcon(int categoryNumber, int size = 22);
// The icon of one preset; audio-only presets show a note, disc targets a disc.
[[nodiscard]] QPixmap PresetIcon(int presetId, int size = 48);
