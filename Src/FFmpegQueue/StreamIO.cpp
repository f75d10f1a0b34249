#include "StreamIO.h"

#include <cstdint>
#include <limits>

#include "../FFmpegLoader/FFmpegLoader.h"

namespace {

constexpr int kBufferSize = 32768;

int ReadPacket(void *AOpaque, uint8_t *ABuffer, int ASize) {
  const int64_t n = static_cast<TStream *>(AOpaque)->Read(ABuffer, ASize);
  if (n < 0 || n > ASize) return AVERROR(EIO);
  return n == 0 ? AVERROR_EOF : static_cast<int>(n);
}

int WritePacket(void *AOpaque, uint8_t *ABuffer, int ASize) {
  return static_cast<TStream *>(AOpaque)->Write(ABuffer, ASize) == ASize ? ASize : AVERROR(EIO);
}

int64_t SeekStream(void *AOpaque, int64_t AOffset, int AWhence) {
  auto *stream = static_cast<TStream *>(AOpaque);
  if (AWhence & AVSEEK_SIZE) return stream->Size() >= 0 ? stream->Size() : AVERROR(ENOSYS);
  const int64_t pos = stream->Seek(AOffset, AWhence & ~AVSEEK_FORCE);
  return pos >= 0 ? pos : AVERROR(EIO);
}

class TStreamIO final : public TCustomIO {
 public:
  TStreamIO(TStream &AStream, bool AWrite) {
    auto *buffer = static_cast<unsigned char *>(ff::util.av_malloc(kBufferSize));
    if (!buffer) throw FFmpegException("av_malloc fail");
    FContext = ff::format.avio_alloc_context(buffer, kBufferSize, AWrite ? 1 : 0, &AStream,
                                             AWrite ? nullptr : &ReadPacket,
                                             AWrite ? &WritePacket : nullptr, &SeekStream);
    if (!FContext) {
      ff::util.av_free(buffer);
      throw FFmpegException("avio_alloc_context fail");
    }
  }
  ~TStreamIO() override {
    // The libraries may have swapped the buffer for one of their own: free the current one.
    ff::util.av_freep(&FContext->buffer);
    ff::format.avio_context_free(&FContext);
  }
  TStreamIO(const TStreamIO &) = delete;
  TStreamIO &operator=(const TStreamIO &) = delete;
  [[nodiscard]] AVIOContext *Context() const override { return FContext; }

 private:
  AVIOContext *FContext = nullptr;
};

}  // namespace

std::string StreamFileName(const TStream *AStream, const std::string &APrivateData) {
  return "stream:" + std::to_string(reinterpret_cast<uintptr_t>(AStream)) + ":" + APrivateData;
}

std::shared_ptr<TCustomIO> OpenStreamIO(TStream &AStream, bool AWrite) {
  return std::make_shared<TStreamIO>(AStream, AWrite);
}
