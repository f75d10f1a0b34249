// The caller's stream objects: byte sources and sinks that conversions can read from and
// write to in place of files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

class TStream {
 public:
  virtual ~TStream() = default;
  // Bytes read, 0 at the end, -1 on failure.
  virtual int64_t Read(void *ABuffer, int64_t ACount) = 0;
  // Bytes written, -1 on failure.
  virtual int64_t Write(const void *ABuffer, int64_t ACount) = 0;
  // AOrigin is SEEK_SET, SEEK_CUR or SEEK_END. The new position, or -1 when the stream
  // cannot seek there.
  virtual int64_t Seek(int64_t AOffset, int AOrigin) = 0;
  // Total size in bytes, -1 when unknown.
  virtual int64_t Size() = 0;
};

// A stream held in memory; writing past the end grows it, seeking past the end and then
// writing fills the gap with zeros.
class TMemoryStream final : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> AData) : FData(std::move(AData)) {}

  int64_t Read(void *ABuffer, int64_t ACount) override;
  int64_t Write(const void *ABuffer, int64_t ACount) override;
  int64_t Seek(int64_t AOffset, int AOrigin) override;
  int64_t Size() override { return static_cast<int64_t>(FData.size()); }

  [[nodiscard]] const std::vector<uint8_t> &Data() const { return FData; }
  [[nodiscard]] int64_t Position() const { return FPosition; }
  // Replaces the contents from a file; false when it cannot be read.
  bool LoadFromFile(const char *AFileName);
  bool SaveToFile(const char *AFileName) const;

 private:
  std::vector<uint8_t> FData;
  int64_t FPosition = 0;
};
