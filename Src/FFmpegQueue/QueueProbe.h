// What the task queue needs of a media probe. The probe library implements it (the
// queue sits below the probe in the link order), so the queue only borrows containers
// to probes it creates through a factory the program installs.
#pragma once

#include <functional>
#include <memory>

struct AVFormatContext;

class TQueueProbe {
 public:
  virtual ~TQueueProbe() = default;
  // Borrows a container opened elsewhere; the probe never closes it. nullptr forgets it.
  virtual void SetFileHandle(AVFormatContext *AValue) = 0;
  [[nodiscard]] virtual AVFormatContext *FileHandle() const = 0;
};

using TQueueProbeFactory = std::function<std::unique_ptr<TQueueProbe>()>;

// A probe that only keeps the borrowed container; used when no factory is given.
class TBorrowedContextProbe final : public TQueueProbe {
 public:
  void SetFileHandle(AVFormatContext *AValue) override { FHandle = AValue; }
  [[nodiscard]] AVFormatContext *FileHandle() const override { return FHandle; }

 private:
  AVFormatContext *FHandle = nullptr;
};

// A probe class of a higher layer (one with SetFileHandle and FileHandle, such as the
// media probe) made usable by the queue: TFFmpegQueue queue(QueueProbeFactory<TAVProbe>());
template <class TProbe>
class TQueueProbeOf final : public TProbe, public TQueueProbe {
 public:
  void SetFileHandle(AVFormatContext *AValue) override { TProbe::SetFileHandle(AValue); }
  [[nodiscard]] AVFormatContext *FileHandle() const override { return TProbe::FileHandle(); }
};

template <class TProbe>
[[nodiscard]] TQueueProbeFactory QueueProbeFactory() {
  return [] { return std::make_unique<TQueueProbeOf<TProbe>>(); };
}

// The probe behind a queue probe made by QueueProbeFactory<TProbe> (nullptr otherwise).
template <class TProbe>
[[nodiscard]] TProbe *ProbeAs(TQueueProbe *AProbe) {
  return dynamic_cast<TProbe *>(AProbe);
}
