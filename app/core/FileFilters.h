// The file-type list of the file choosers.
#pragma once

#include <vector>

#include "Platform.h"

[[nodiscard]] const std::vector<TFileFilter> &SourceFileFilters();
