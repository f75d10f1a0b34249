// A single-picture GIF file from 24-bit RGB rows: a fixed 6 × 7 × 6 colour cube as the
// palette (no dithering) and LZW-compressed image data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The GIF file's bytes. ARgb holds AHeight rows of AStride bytes, R, G, B per pixel.
[[nodiscard]] std::vector<uint8_t> EncodeGif(const uint8_t *ARgb, int AWidth, int AHeight,
                                             int AStride);
// Writes the file; false when it cannot be written or the picture is empty.
bool WriteGif(const std::string &AFile, const uint8_t *ARgb, int AWidth, int AHeight, int AStride);
