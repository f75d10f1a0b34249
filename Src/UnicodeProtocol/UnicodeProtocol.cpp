#include "UnicodeProtocol.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "FFmpegLoader/FFmpegLoader.h"

namespace {

constexpr int kIOBufferSize = 32768;

// Converts between character sets; false when a character cannot be converted.
bool Convert(const std::string &AText, const char *AFrom, const char *ATo, std::string &AOut) {
  iconv_t cd = iconv_open(ATo, AFrom);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string in = AText;
  std::string out(in.size() * 4 + 16, '\0');
  char *inPtr = in.data();
  size_t inLeft = in.size();
  char *outPtr = out.data();
  size_t outLeft = out.size();
  const size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1) || inLeft != 0) return false;
  out.resize(out.size() - outLeft);
  AOut = std::move(out);
  return true;
}

// Per-open state of a "unicode:utf8:" file.
struct TUnicodeFile {
  int Handle = -1;
};

int ReadPacket(void *AOpaque, uint8_t *ABuf, int ASize) {
  auto *file = static_cast<TUnicodeFile *>(AOpaque);
  const ssize_t n = ::read(file->Handle, ABuf, static_cast<size_t>(ASize));
  if (n < 0) return AVERROR(errno);
  return n == 0 ? AVERROR_EOF : static_cast<int>(n);
}

int WritePacket(void *AOpaque, uint8_t *ABuf, int ASize) {
  auto *file = static_cast<TUnicodeFile *>(AOpaque);
  int done = 0;
  while (done < ASize) {
    const ssize_t n = ::write(file->Handle, ABuf + done, static_cast<size_t>(ASize - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return AVERROR(errno);
    }
    done += static_cast<int>(n);
  }
  return done;
}

int64_t Seek(void *AOpaque, int64_t AOffset, int AWhence) {
  auto *file = static_cast<TUnicodeFile *>(AOpaque);
  if (AWhence & AVSEEK_SIZE) {
    struct stat st {};
    return ::fstat(file->Handle, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
  }
  const off_t pos = ::lseek(file->Handle, AOffset, AWhence & ~AVSEEK_FORCE);
  return pos < 0 ? AVERROR(errno) : static_cast<int64_t>(pos);
}

bool IsOurs(const AVIOContext *APb) {
  return APb != nullptr && APb->read_packet == &ReadPacket;
}

// Opens a "unicode:utf8:" name as a custom I/O context. Returns 0 or a library error.
int OpenUnicodeIO(AVIOContext **APb, const std::string &AUrl, int AFlags) {
  const std::string path = FromLibraryFileName(AUrl);
  int mode = O_RDONLY;
  if ((AFlags & AVIO_FLAG_READ_WRITE) == AVIO_FLAG_READ_WRITE)
    mode = O_RDWR | O_CREAT | O_TRUNC;
  else if (AFlags & AVIO_FLAG_WRITE)
    mode = O_WRONLY | O_CREAT | O_TRUNC;
  const int fd = ::open(path.c_str(), mode | O_CLOEXEC, 0666);
  if (fd < 0) return AVERROR(ENOENT);
  auto *file = new TUnicodeFile{fd};
  auto *buffer = static_cast<unsigned char *>(ff::util.av_malloc(kIOBufferSize));
  AVIOContext *pb =
      buffer == nullptr
          ? nullptr
          : ff::format.avio_alloc_context(buffer, kIOBufferSize, (AFlags & AVIO_FLAG_WRITE) ? 1 : 0,
                                          file, &ReadPacket, &WritePacket, &Seek);
  if (pb == nullptr) {
    ff::util.av_free(buffer);
    ::close(fd);
    delete file;
    return AVERROR(ENOMEM);
  }
  *APb = pb;
  return 0;
}

void FreeUnicodeIO(AVIOContext **APb) {
  AVIOContext *pb = *APb;
  if (pb == nullptr) return;
  if (pb->write_flag) ff::format.avio_flush(pb);
  auto *file = static_cast<TUnicodeFile *>(pb->opaque);
  ff::util.av_freep(&pb->buffer);
  ff::format.avio_context_free(APb);
  if (file != nullptr) {
    ::close(file->Handle);
    delete file;
  }
}

}  // namespace

bool HasProtocolPrefix(const std::string &AFileName) {
  const size_t colon = AFileName.find(':');
  if (colon == std::string::npos) return false;
  const std::string framed = ":" + AFileName.substr(0, colon) + ":";
  return std::string(":unicode:stream:gopher:http:pipe:rtp:tcp:udp:").find(framed) !=
         std::string::npos;
}

bool IsUnicodeFileName(const std::string &AName) {
  return AName.size() >= 14 && AName.compare(0, 13, kUnicodePrefix) == 0;
}

std::string ToLibraryFileName(const std::string &AFileName, const char *ACodeSet) {
  std::string narrow;
  const bool spelled = Convert(AFileName, "UTF-8", ACodeSet, narrow);
  std::string back;
  const bool roundTrip = spelled && Convert(narrow, ACodeSet, "UTF-8", back) && back == AFileName;
  if (!HasProtocolPrefix(AFileName) && !roundTrip) return kUnicodePrefix + AFileName;
  if (spelled) return narrow;
  // A protocol name the character set cannot spell: pass what it can.
  return AFileName;
}

std::string FromLibraryFileName(const std::string &ALibraryName, const char *ACodeSet) {
  if (IsUnicodeFileName(ALibraryName)) return ALibraryName.substr(13);
  std::string wide;
  return Convert(ALibraryName, ACodeSet, "UTF-8", wide) ? wide : ALibraryName;
}

int OpenMediaInput(AVFormatContext **APs, const std::string &AUrl, const AVInputFormat *AFormat,
                   AVDictionary **AOptions) {
  if (!IsUnicodeFileName(AUrl))
    return ff::format.avformat_open_input(APs, AUrl.c_str(), AFormat, AOptions);
  AVIOContext *pb = nullptr;
  int ret = OpenUnicodeIO(&pb, AUrl, AVIO_FLAG_READ);
  if (ret < 0) {
    if (*APs != nullptr) ff::format.avformat_free_context(*APs);
    *APs = nullptr;
    return ret;
  }
  AVFormatContext *ctx = *APs != nullptr ? *APs : ff::format.avformat_alloc_context();
  if (ctx == nullptr) {
    FreeUnicodeIO(&pb);
    return AVERROR(ENOMEM);
  }
  ctx->pb = pb;
  // The real name, so that the format can still be guessed from the extension.
  ret = ff::format.avformat_open_input(&ctx, FromLibraryFileName(AUrl).c_str(), AFormat, AOptions);
  if (ret < 0) {
    FreeUnicodeIO(&pb);  // the library frees the context but never a caller's I/O
    *APs = nullptr;
    return ret;
  }
  *APs = ctx;
  return 0;
}

void CloseMediaInput(AVFormatContext **APs) {
  if (APs == nullptr || *APs == nullptr) return;
  AVIOContext *pb = ((*APs)->flags & AVFMT_FLAG_CUSTOM_IO) ? (*APs)->pb : nullptr;
  ff::format.avformat_close_input(APs);
  if (IsOurs(pb)) FreeUnicodeIO(&pb);
}

int OpenMediaIO(AVIOContext **APb, const std::string &AUrl, int AFlags) {
  if (!IsUnicodeFileName(AUrl)) return ff::format.avio_open(APb, AUrl.c_str(), AFlags);
  return OpenUnicodeIO(APb, AUrl, AFlags);
}

void CloseMediaIO(AVIOContext **APb) {
  if (APb == nullptr || *APb == nullptr) return;
  if (IsOurs(*APb))
    FreeUnicodeIO(APb);
  else
    ff::format.avio_closep(APb);
}
