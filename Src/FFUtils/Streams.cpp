#include "Streams.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

int64_t TMemoryStream::Read(void *ABuffer, int64_t ACount) {
  if (ACount < 0) return -1;
  const int64_t size = Size();
  const int64_t n = FPosition >= size ? 0 : std::min(ACount, size - FPosition);
  if (n > 0) std::memcpy(ABuffer, FData.data() + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

int64_t TMemoryStream::Write(const void *ABuffer, int64_t ACount) {
  if (ACount < 0) return -1;
  if (ACount == 0) return 0;
  const int64_t end = FPosition + ACount;
  if (end > Size()) FData.resize(static_cast<size_t>(end));
  std::memcpy(FData.data() + FPosition, ABuffer, static_cast<size_t>(ACount));
  FPosition = end;
  return ACount;
}

int64_t TMemoryStream::Seek(int64_t AOffset, int AOrigin) {
  int64_t base = 0;
  switch (AOrigin) {
    case SEEK_SET:
      base = 0;
      break;
    case SEEK_CUR:
      base = FPosition;
      break;
    case SEEK_END:
      base = Size();
      break;
    default:
      return -1;
  }
  if ((AOffset > 0 && base > INT64_MAX - AOffset) || base + AOffset < 0) return -1;
  FPosition = base + AOffset;
  return FPosition;
}

bool TMemoryStream::LoadFromFile(const char *AFileName) {
  std::ifstream in(AFileName, std::ios::binary);
  if (!in) return false;
  std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return false;
  FData = std::move(data);
  FPosition = 0;
  return true;
}

bool TMemoryStream::SaveToFile(const char *AFileName) const {
  std::ofstream out(AFileName, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(FData.data()),
            static_cast<std::streamsize>(FData.size()));
  return static_cast<bool>(out);
}
