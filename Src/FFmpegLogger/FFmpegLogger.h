// The process-wide log sink. The engine, the probe, the player and the media libraries
// themselves log here; the sink hands each whole line, with its thread and level, to one
// handler (the main window's log list), in the main thread unless told otherwise.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>

enum TLogLevel { llQuiet, llPanic, llFatal, llError, llWarning, llInfo, llVerbose, llDebug };

// The libraries' integer level of a TLogLevel ((ordinal * 8) - 8) and back.
[[nodiscard]] int LogLevelToAV(TLogLevel ALevel);
[[nodiscard]] TLogLevel AVToLogLevel(int AAVLevel);

struct TLogInfo {
  const void *Sender = nullptr;
  uint32_t ThreadID = 0;
  TLogLevel LogLevel = llInfo;
  std::string LogMsg;
};

using TLogEvent = std::function<void(const void *ASender, uint32_t AThreadID, TLogLevel ALogLevel,
                                     const std::string &ALogMsg)>;

class TFFLogger {
 public:
  // There is one sink per process: creating a second one while the first exists throws
  // std::logic_error("Allow creating only one instance of TFFLogger.").
  explicit TFFLogger(const void *AOwner = nullptr);
  ~TFFLogger();
  TFFLogger(const TFFLogger &) = delete;
  TFFLogger &operator=(const TFFLogger &) = delete;

  // Installs the sink's callback in the media library and applies LogLevel there. Needs
  // avutil bound.
  void InstallAVLogCallback();

  [[nodiscard]] TLogLevel LogLevel() const;
  // Applies the level to the media library too once avutil is bound.
  void SetLogLevel(TLogLevel ALevel);
  // "quiet" … "debug" (any case) or a library level as a decimal number. Returns false
  // and changes nothing when the text is neither.
  bool OptLogLevel(const std::string &AArg);

  // Delivers one message when it passes the level: ALogLevel at most LogLevel, or a
  // verbose message while the level is not quiet.
  void Log(const void *ASender, TLogLevel ALogLevel, const std::string &ALogMsg);
  // A text without arguments is taken as it stands, never as a format: a file name with
  // '%' in it stays harmless.
  void Log(const void *ASender, TLogLevel ALogLevel, const char *ALogMsg);
  // The same with a printf-style text and at least one argument.
  template <typename... TArgs>
  requires(sizeof...(TArgs) > 0) void Log(const void *ASender, TLogLevel ALogLevel,
                                          const char *AFormat, TArgs &&...AArgs) {
    LogFormat(ASender, ALogLevel, AFormat, std::forward<TArgs>(AArgs)...);
  }
  void LogFormat(const void *ASender, TLogLevel ALogLevel, const char *AFormat, ...)
      __attribute__((format(printf, 4, 5)));

  // The handler; assign before logging starts or from the main thread.
  void SetOnLog(TLogEvent AHandler);
  [[nodiscard]] bool HasOnLog() const;

  bool TriggerEventInMainThread() const { return FTriggerEventInMainThread; }
  void SetTriggerEventInMainThread(bool AValue) { FTriggerEventInMainThread = AValue; }

  // Hands one assembled library line to the handler (used by the library callback).
  void DeliverLibraryLine(uint32_t AThreadID, TLogLevel ALevel, const std::string &ALine);

 private:
  void Deliver(const void *ASender, uint32_t AThreadID, TLogLevel ALevel, const std::string &AMsg);

  bool FTriggerEventInMainThread = true;
  TLogLevel FLogLevel = llInfo;
  mutable std::mutex FHandlerLock;  // guards FOnLog
  TLogEvent FOnLog;
  // One direct delivery at a time. Deliveries through the main thread are serialised by
  // the main thread itself and never take it, so a worker waiting there blocks nobody.
  std::recursive_mutex FDeliverLock;
};

// The process-wide sink, created without an owner when there is none.
TFFLogger &GlobalLogger();

// The current library level (32 at start); what the library callback filters by.
[[nodiscard]] int CurrentAVLogLevel();
