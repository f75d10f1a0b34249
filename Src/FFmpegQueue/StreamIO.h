// The libraries' custom I/O over a caller's stream object, for the queue's stream forms.
#pragma once

#include <memory>
#include <string>

#include "../FFUtils/Streams.h"
#include "../FFmpeg/FFmpeg.h"

// "stream:<address in decimal>:<private data>", the name a stream form gives its file.
[[nodiscard]] std::string StreamFileName(const TStream *AStream, const std::string &APrivateData);

// Reads from (or, with AWrite, writes to) AStream, which must outlive the returned I/O.
// Raises FFmpegException when the libraries cannot allocate it.
[[nodiscard]] std::shared_ptr<TCustomIO> OpenStreamIO(TStream &AStream, bool AWrite);
