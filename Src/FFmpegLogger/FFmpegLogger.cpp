#include "FFmpegLogger.h"

#include <strings.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <forward_list>
#include <stdexcept>
#include <vector>

#include "FFUtils/MainThread.h"
#include "FFmpegLoader/FFmpegLoader.h"

namespace {

// The level the library is told; the library callback filters by it.
std::atomic<int> gAVLogLevel{AV_LOG_INFO};

std::atomic<TFFLogger *> gInstance{nullptr};
// Guards creating and forgetting the instance.
std::recursive_mutex &InstanceLock() {
  static std::recursive_mutex *lock = new std::recursive_mutex;
  return *lock;
}

// Library text of each thread that does not yet end in a line feed. Kept for the life of
// the process: library threads may log until the very end.
struct TLogItem {
  uint32_t ThreadID = 0;
  std::string LogMsg;
};
struct TLogList {
  std::mutex FLock;  // guards FItems
  std::forward_list<TLogItem> FItems;
};
TLogList &PendingLines() {
  static TLogList *list = new TLogList;
  return *list;
}

constexpr size_t kLineBufferSize = 2048;

void LibraryLogCallback(void *AContext, int ALevel, const char *AFormat, va_list AArgs) {
  if (ALevel > gAVLogLevel.load()) return;
  const uint32_t tid = CurrentThreadID();
  std::vector<std::string> lines;
  {
    TLogList &list = PendingLines();
    std::lock_guard<std::mutex> guard(list.FLock);
    TLogItem *item = nullptr;
    for (TLogItem &it : list.FItems) {
      if (it.ThreadID == tid) {
        item = &it;
        break;
      }
    }
    if (item == nullptr) {
      list.FItems.push_front({tid, {}});
      item = &list.FItems.front();
    }
    char buf[kLineBufferSize] = {};
    size_t used = 0;
    if (AContext != nullptr && item->LogMsg.empty()) {
      const AVClass *avc = *static_cast<const AVClass *const *>(AContext);
      if (avc != nullptr) {
        const char *name = avc->item_name != nullptr ? avc->item_name(AContext) : avc->class_name;
        const int n = std::snprintf(buf, sizeof buf, "[%s @ %p]", name ? name : "", AContext);
        used = n < 0 ? 0 : std::min(static_cast<size_t>(n), sizeof buf - 1);
      }
    }
    // Longer messages are cut at the buffer's end.
    std::vsnprintf(buf + used, sizeof buf - used, AFormat, AArgs);
    item->LogMsg += buf;
    size_t pos = 0;
    while ((pos = item->LogMsg.find('\n')) != std::string::npos) {
      lines.push_back(item->LogMsg.substr(0, pos));
      item->LogMsg.erase(0, pos + 1);
    }
  }
  if (lines.empty()) return;
  const TLogLevel level = AVToLogLevel(ALevel);
  TFFLogger &sink = GlobalLogger();
  for (const std::string &line : lines) sink.DeliverLibraryLine(tid, level, line);
}

struct LevelName {
  const char *Name;
  TLogLevel Level;
};
const LevelName kLevelNames[] = {
    {"quiet", llQuiet},     {"panic", llPanic}, {"fatal", llFatal},     {"error", llError},
    {"warning", llWarning}, {"info", llInfo},   {"verbose", llVerbose}, {"debug", llDebug},
};

}  // namespace

int LogLevelToAV(TLogLevel ALevel) {
  return static_cast<int>(ALevel) * 8 - 8;
}

TLogLevel AVToLogLevel(int AAVLevel) {
  int a = AAVLevel;
  if (a < 0) a += 7;  // the shift below then rounds toward zero
  if (a < -8) return llQuiet;
  if (a < 48) return static_cast<TLogLevel>((a >> 3) + 1);
  return llDebug;
}

int CurrentAVLogLevel() {
  return gAVLogLevel.load();
}

TFFLogger::TFFLogger(const void *AOwner) {
  std::lock_guard<std::recursive_mutex> guard(InstanceLock());
  if (gInstance.load() != nullptr)
    throw std::logic_error("Allow creating only one instance of TFFLogger.");
  FLogLevel = AVToLogLevel(gAVLogLevel.load());
  gInstance.store(this);
}

TFFLogger::~TFFLogger() {
  std::lock_guard<std::recursive_mutex> guard(InstanceLock());
  if (gInstance.load() == this) gInstance.store(nullptr);
}

void TFFLogger::InstallAVLogCallback() {
  if (ff::util.av_log_set_callback == nullptr || ff::util.av_log_set_level == nullptr)
    throw std::logic_error("InstallAVLogCallback needs avutil loaded");
  ff::util.av_log_set_callback(&LibraryLogCallback);
  gAVLogLevel.store(LogLevelToAV(FLogLevel));
  ff::util.av_log_set_level(gAVLogLevel.load());
}

TLogLevel TFFLogger::LogLevel() const {
  return FLogLevel;
}

void TFFLogger::SetLogLevel(TLogLevel ALevel) {
  if (ALevel == FLogLevel) return;
  FLogLevel = ALevel;
  if (ff::util.av_log_set_level != nullptr) {
    gAVLogLevel.store(LogLevelToAV(ALevel));
    ff::util.av_log_set_level(gAVLogLevel.load());
  }
}

bool TFFLogger::OptLogLevel(const std::string &AArg) {
  int avLevel = 0;
  bool found = false;
  for (const LevelName &n : kLevelNames) {
    if (strcasecmp(AArg.c_str(), n.Name) == 0) {
      avLevel = LogLevelToAV(n.Level);
      found = true;
      break;
    }
  }
  if (!found) {
    const char *text = AArg.c_str();
    char *end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || v < INT32_MIN || v > INT32_MAX) return false;
    avLevel = static_cast<int>(v);
  }
  SetLogLevel(AVToLogLevel(avLevel));
  return true;
}

void TFFLogger::SetOnLog(TLogEvent AHandler) {
  std::lock_guard<std::mutex> guard(FHandlerLock);
  FOnLog = std::move(AHandler);
}

bool TFFLogger::HasOnLog() const {
  std::lock_guard<std::mutex> guard(FHandlerLock);
  return static_cast<bool>(FOnLog);
}

void TFFLogger::Log(const void *ASender, TLogLevel ALogLevel, const std::string &ALogMsg) {
  const bool passes = ALogLevel <= FLogLevel || (ALogLevel == llVerbose && FLogLevel != llQuiet);
  if (!passes) return;
  Deliver(ASender, CurrentThreadID(), ALogLevel, ALogMsg);
}

void TFFLogger::Log(const void *ASender, TLogLevel ALogLevel, const char *ALogMsg) {
  Log(ASender, ALogLevel, std::string(ALogMsg != nullptr ? ALogMsg : ""));
}

void TFFLogger::LogFormat(const void *ASender, TLogLevel ALogLevel, const char *AFormat, ...) {
  if (!HasOnLog()) return;
  va_list args;
  va_start(args, AFormat);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, AFormat, copy);
  va_end(copy);
  std::string text(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(text.data(), text.size() + 1, AFormat, args);
  va_end(args);
  Log(ASender, ALogLevel, text);
}

void TFFLogger::DeliverLibraryLine(uint32_t AThreadID, TLogLevel ALevel, const std::string &ALine) {
  Deliver(this, AThreadID, ALevel, ALine);
}

void TFFLogger::Deliver(const void *ASender, uint32_t AThreadID, TLogLevel ALevel,
                        const std::string &AMsg) {
  TLogEvent handler;
  {
    std::lock_guard<std::mutex> guard(FHandlerLock);
    handler = FOnLog;
  }
  if (!handler) return;
  if (FTriggerEventInMainThread) {
    CallInMainThread([&] { handler(ASender, AThreadID, ALevel, AMsg); });
  } else {
    std::lock_guard<std::recursive_mutex> guard(FDeliverLock);
    handler(ASender, AThreadID, ALevel, AMsg);
  }
}

TFFLogger &GlobalLogger() {
  if (TFFLogger *sink = gInstance.load()) return *sink;
  std::lock_guard<std::recursive_mutex> guard(InstanceLock());
  if (TFFLogger *sink = gInstance.load()) return *sink;
  // Lives until the program ends or someone deletes it; library threads may log late.
  static TFFLogger *created = nullptr;
  created = new TFFLogger(nullptr);
  return *created;
}
