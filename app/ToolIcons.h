// The pictures of the large tool-bar buttons, drawn so that they look the same on every
// desktop theme.
#pragma once

#include <QIcon>

enum class TToolIcon { Add, Remove, Clear, Start, Pause, Stop, Skin, Help };

[[nodiscard]] QIcon ToolIcon(TToolIcon AKind);
