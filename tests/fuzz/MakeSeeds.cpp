// Writes a small seed corpus for the probe fuzzer: short clips of the test fixtures'
// kind, each prefixed with the byte that picks its extension in the fuzzer.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "MediaFixtures.h"

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  const std::filesystem::path out = argv[1];
  std::filesystem::create_directories(out);
  struct TSeed {
    const char *Name;
    unsigned char ExtensionByte;  // index into the fuzzer's extension list
    qvtest::TClipParams Params;
  };
  auto clip = [](const char *AContainer, const char *AExt, const char *AVideo,
                 std::vector<qvtest::TAudioTrack> AAudio) {
    qvtest::TClipParams s;
    s.Container = AContainer;
    s.Extension = AExt;
    s.DurationSec = 0.2;
    s.Width = 32;
    s.Height = 24;
    s.VideoCodec = AVideo;
    s.Audio = std::move(AAudio);
    return s;
  };
  const bool lame = qvtest::HasEncoder("libmp3lame");
  std::vector<TSeed> seeds = {
      {"avi", 0, clip("avi", "avi", "mpeg4", {qvtest::Track("mp2", 22050, 1, 32000)})},
      {"mp4", 1, clip("mp4", "mp4", "mpeg4", {qvtest::Track("aac", 22050, 2, 32000)})},
      {"mkv", 2,
       clip("matroska", "mkv", "mpeg4",
            {qvtest::Track("flac", 8000, 1), qvtest::Track("mp2", 22050, 2, 32000, "fre")})},
      {"mpg", 3, clip("vob", "mpg", "mpeg2video", {qvtest::Track("mp2", 44100, 2, 64000)})},
      {"ts", 4, clip("mpegts", "ts", "mpeg2video", {qvtest::Track("mp2", 44100, 2, 64000)})},
      {"flv", 5, clip("flv", "flv", "flv", {qvtest::Track("aac", 22050, 1, 32000)})},
      // The MP3 writer takes only MP3; without its encoder the file is layer 2 audio.
      {"mp3", 6,
       lame ? clip("mp3", "mp3", "", {qvtest::Track("libmp3lame", 44100, 2, 64000)})
            : clip("mp2", "mp3", "", {qvtest::Track("mp2", 44100, 2, 64000)})},
      {"wav", 7, clip("wav", "wav", "", {qvtest::Track("pcm_s16le", 8000, 1)})},
  };
  seeds[6].Params.Tags = {{"title", "t"}, {"artist", "a"}, {"track", "3/9"}};
  seeds[2].Params.AudioFirst = true;
  for (const TSeed &seed : seeds) {
    const std::string clipFile = qvtest::MakeClip(seed.Params);
    std::ifstream in(clipFile, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream o(out / seed.Name, std::ios::binary);
    o.put(static_cast<char>(seed.ExtensionByte));
    o.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    std::printf("%s: %zu bytes\n", seed.Name, bytes.size() + 1);
  }
  return 0;
}
