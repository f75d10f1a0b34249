#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "FFmpegLoader/AVPtr.h"
#include "FFmpegLoader/FFmpegLoader.h"
#include "MediaFixtures.h"
#include "UnicodeProtocol/UnicodeProtocol.h"

namespace fs = std::filesystem;

TEST(UnicodeNames, LibraryFormNeedsTheProtocolOnlyWhenTheCharacterSetCannotSpellIt) {
  const struct {
    const char *name;
    const char *codeSet;
    const char *library;
  } cases[] = {
      {"/tmp/clip.avi", "ISO-8859-1", "/tmp/clip.avi"},
      {"/tmp/caf\xC3\xA9.avi", "ISO-8859-1", "/tmp/caf\xE9.avi"},
      {"/tmp/\xE6\xB5\x8B.avi", "ISO-8859-1", "unicode:utf8:/tmp/\xE6\xB5\x8B.avi"},
      {"http://host/\xE6\xB5\x8B.avi", "ISO-8859-1", "http://host/\xE6\xB5\x8B.avi"},
      {"httpx:\xE6\xB5\x8B.avi", "ISO-8859-1", "unicode:utf8:httpx:\xE6\xB5\x8B.avi"},
      {"/tmp/\xE6\xB5\x8B.avi", "UTF-8", "/tmp/\xE6\xB5\x8B.avi"},
      {"/tmp/\xE6\xB5\x8B.avi", "GBK", "/tmp/\xB2\xE2.avi"},
  };
  for (const auto &c : cases) {
    const std::string lib = ToLibraryFileName(c.name, c.codeSet);
    EXPECT_EQ(lib, c.library) << c.name << " " << c.codeSet;
    if (!HasProtocolPrefix(c.name)) {
      EXPECT_EQ(FromLibraryFileName(lib, c.codeSet), c.name);
    }
  }
  EXPECT_TRUE(HasProtocolPrefix("udp://1.2.3.4"));
  EXPECT_FALSE(HasProtocolPrefix("c:clip.avi"));
  EXPECT_FALSE(IsUnicodeFileName("unicode:utf8:"));  // nothing after the prefix
}

TEST(UnicodeNames, InputAndOutputAreServedThroughCustomIO) {
  ASSERT_TRUE(FFLoader().Load(kQueueLibraries)) << FFLoader().LastErrMsg();
  const fs::path dir = fs::path(qvtest::FixtureDir()) / "unicode \xE6\xB5\x8B\xE8\xAF\x95";
  fs::create_directories(dir);
  const fs::path source = dir / "\xE5\xA3\xB0\xE9\x9F\xB3.wav";
  fs::copy_file(qvtest::Fixture(qvtest::TFixture::Wav), source,
                fs::copy_options::overwrite_existing);
  const std::string url = kUnicodePrefix + source.string();

  AVFormatContext *raw = nullptr;
  ASSERT_EQ(OpenMediaInput(&raw, url, nullptr, nullptr), 0);
  ff::FormatInputPtr input(raw);
  EXPECT_TRUE(input->flags & AVFMT_FLAG_CUSTOM_IO);
  ASSERT_EQ(ff::format.avformat_find_stream_info(input.get(), nullptr), 0);
  ASSERT_EQ(input->nb_streams, 1u);
  EXPECT_EQ(input->streams[0]->codecpar->codec_id, AV_CODEC_ID_PCM_S16LE);
  EXPECT_GT(input->duration, 0);
  ff::PacketPtr pkt(ff::codec.av_packet_alloc());
  int64_t bytes = 0;
  while (ff::format.av_read_frame(input.get(), pkt.get()) >= 0) {
    bytes += pkt->size;
    ff::codec.av_packet_unref(pkt.get());
  }
  EXPECT_GT(bytes, 0);
  ASSERT_GE(ff::format.av_seek_frame(input.get(), 0, 0, AVSEEK_FLAG_BACKWARD), 0);
  EXPECT_GE(ff::format.av_read_frame(input.get(), pkt.get()), 0);
  ff::codec.av_packet_unref(pkt.get());
  input.reset();

  // A missing file gives "No such file" and leaves nothing open.
  raw = nullptr;
  EXPECT_EQ(OpenMediaInput(&raw, url + ".missing", nullptr, nullptr), AVERROR(ENOENT));
  EXPECT_EQ(raw, nullptr);

  // Writing creates the file anew.
  const fs::path target = dir / "\xE8\xBE\x93\xE5\x87\xBA.bin";
  { std::ofstream(target) << "old contents that must disappear"; }
  AVIOContext *pb = nullptr;
  ASSERT_EQ(OpenMediaIO(&pb, kUnicodePrefix + target.string(), AVIO_FLAG_WRITE), 0);
  ff::format.avio_write(pb, reinterpret_cast<const unsigned char *>("written"), 7);
  CloseMediaIO(&pb);
  EXPECT_EQ(pb, nullptr);
  std::ifstream in(target);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "written");
  fs::remove_all(dir);
}
