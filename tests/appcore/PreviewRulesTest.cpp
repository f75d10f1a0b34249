#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "PreviewRules.h"

namespace fs = std::filesystem;

TEST(PreviewRules, SeekBarFollowsThePositionInIntegerSteps) {
  struct Case {
    int64_t Pts, Duration;
    int Maximum, Expected;
  } cases[] = {
      {0, 2000000, 254, 0},
      {1000000, 2000000, 254, 127},
      {1999999, 2000000, 254, 253},
      {2000000, 2000000, 254, 254},
      {-1, 2000000, 254, -1},
      {500000, 0, 254, -1},
      // Hours of video at microsecond resolution must not overflow.
      {INT64_C(36000000000), INT64_C(72000000000), 254, 127},
  };
  for (const Case &c : cases)
    EXPECT_EQ(SeekBarPosition(c.Pts, c.Duration, c.Maximum), c.Expected) << c.Pts;
}

TEST(PreviewRules, ReleasedBarSeeksToItsShareOfTheDuration) {
  EXPECT_EQ(SeekBarTarget(127, 254, 2000000), 1000000);
  EXPECT_EQ(SeekBarTarget(254, 254, 2000000), 2000000);
  EXPECT_EQ(SeekBarTarget(0, 254, 2000000), 0);
  EXPECT_EQ(SeekBarTarget(100, 254, INT64_C(72000000000)), INT64_C(28346456692));
  EXPECT_EQ(SeekBarTarget(100, 0, 2000000), 0);
}

TEST(PreviewRules, UnknownPictureTypesAreSavedAsBitmaps) {
  EXPECT_EQ(SnapshotExtension("BMP"), ".bmp");
  EXPECT_EQ(SnapshotExtension("JPG"), ".jpg");
  EXPECT_EQ(SnapshotExtension("GIF"), ".gif");
  EXPECT_EQ(SnapshotExtension("PNG"), ".png");
  EXPECT_EQ(SnapshotExtension("TIF"), ".bmp");
  EXPECT_EQ(SnapshotExtension("Error"), ".bmp");
}

TEST(PreviewRules, SnapshotFilesTakeTheSmallestFreeNumber) {
  fs::path dir = fs::temp_directory_path() / ("quorvel_snap_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string folder = dir.string();
  EXPECT_EQ(NextSnapshotFile(folder, "D:\\v\\clip.avi", ".jpg"), folder + "/clip_1.jpg");
  std::ofstream(folder + "/clip_1.jpg") << "x";
  EXPECT_EQ(NextSnapshotFile(folder + "/", "/home/u/clip.avi", ".jpg"), folder + "/clip_2.jpg");
  // A gap is filled first; another extension counts on its own.
  std::ofstream(folder + "/clip_3.jpg") << "x";
  EXPECT_EQ(NextSnapshotFile(folder, "clip.avi", ".jpg"), folder + "/clip_2.jpg");
  EXPECT_EQ(NextSnapshotFile(folder, "clip.avi", ".png"), folder + "/clip_1.png");
  // Only the last extension goes; dotted and non-ASCII names keep the rest.
  EXPECT_EQ(NextSnapshotFile(folder, "/a/my.holiday.clip.mkv", ".bmp"),
            folder + "/my.holiday.clip_1.bmp");
  EXPECT_EQ(NextSnapshotFile(folder, "/a/预览.mp4", ".bmp"), folder + "/预览_1.bmp");
  fs::remove_all(dir);
}

#include <cstdio>

#include "GifWriter.h"

// The picture read back by the FFmpeg command-line tool as raw RGB.
static std::vector<uint8_t> DecodeWithFfmpeg(const std::string &AFile, size_t ABytes) {
  std::string cmd = "ffmpeg -v error -i '" + AFile + "' -f rawvideo -pix_fmt rgb24 - 2>/dev/null";
  std::vector<uint8_t> data(ABytes + 1);
  FILE *p = popen(cmd.c_str(), "r");
  if (!p) return {};
  size_t n = std::fread(data.data(), 1, data.size(), p);
  pclose(p);
  data.resize(n);
  return data;
}

TEST(GifWriter, LargeNoisyPicturesDecodeToTheirPaletteColours) {
  // Enough distinct runs to fill and restart the code table several times.
  const int w = 301, h = 203;
  std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
  uint32_t seed = 12345;
  for (size_t i = 0; i < rgb.size(); i += 3) {
    seed = seed * 1103515245u + 12345u;
    int c = (seed >> 16) % 4;
    rgb[i] = c & 1 ? 255 : 0;
    rgb[i + 1] = c & 2 ? 255 : 0;
    rgb[i + 2] = c == 3 ? 255 : 0;
  }
  fs::path file =
      fs::temp_directory_path() / ("quorvel_gif_" + std::to_string(::getpid()) + ".gif");
  ASSERT_TRUE(WriteGif(file.string(), rgb.data(), w, h, w * 3));
  std::vector<uint8_t> back = DecodeWithFfmpeg(file.string(), rgb.size());
  fs::remove(file);
  ASSERT_EQ(back.size(), rgb.size());
  EXPECT_EQ(back, rgb);  // pure colours are exact in the palette
}

TEST(GifWriter, EmptyPicturesWriteNothing) {
  EXPECT_TRUE(EncodeGif(nullptr, 10, 10, 30).empty());
  uint8_t px[3] = {1, 2, 3};
  EXPECT_TRUE(EncodeGif(px, 0, 1, 3).empty());
  EXPECT_FALSE(EncodeGif(px, 1, 1, 3).empty());
}
