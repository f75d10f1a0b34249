// The option records of a new row, built from the current conversion profile: one input
// record for the source and one output record for the output file.
#pragma once

#include <string>

#include "ConversionProfile.h"
#include "FFmpegQueue/OptionRecords.h"

// The input record of ASource: ".dat" files (any letter case) are read as "mpeg"; the
// profile's start offset (ms) becomes the record's (µs).
[[nodiscard]] TInputOptions BuildInputOptions(const std::string &ASource,
                                              const TConversionProfile &AProfile);

// How the sources were added: one file, or a group (several files, a folder).
enum class TAddKind { OneFile, Group };

// The output record for AOutputName from the profile. An "mpeg4" output keeps the
// four-character codes "XVID" and "DX50" only in an AVI file; "libx264" gets the
// encoder preset "libx264-default".
[[nodiscard]] TOutputOptions BuildOutputOptions(const std::string &AOutputName,
                                                const TConversionProfile &AProfile, TAddKind AKind);
