// The engine's life and run control, and the transcode loop: input choice, packet
// timing, limits, discontinuity correction, join mode, flushing and trailers.
#include <cmath>
#include <thread>

#include "../FFUtils/MainThread.h"
#include "../FFmpegLoader/AVPtr.h"
#include "../FFmpegLoader/FFmpegLoader.h"
#include "FFmpeg.h"

using namespace engine;

namespace {
constexpr AVRational kMicro{1, AV_TIME_BASE};

int CheckedMaxFiles(int AMaxFiles) {
  if (AMaxFiles < 1 || AMaxFiles > 512)
    throw std::invalid_argument("TCustomFFmpeg: the maximum file count must be 1 to 512");
  return AMaxFiles;
}
}  // namespace

// ---------------------------------------------------------------- worker thread

TConvertThread::~TConvertThread() {
  Join();
}

void TConvertThread::Resume() {
  std::lock_guard<std::mutex> g(FLock);
  if (FStarted) {
    FEngine->Resume();
    return;
  }
  FThread = std::thread([this] {
    FId = std::this_thread::get_id();
    FEngine->Run();
  });
  FStarted = true;
}

void TConvertThread::Join() {
  std::thread t;
  {
    std::lock_guard<std::mutex> g(FLock);
    t = std::move(FThread);
  }
  if (t.joinable() && t.get_id() != std::this_thread::get_id())
    t.join();
  else if (t.joinable())
    t.detach();
}

// ---------------------------------------------------------------- life

TCustomFFmpeg::TCustomFFmpeg(int AMaxFiles) : FMaxFiles(CheckedMaxFiles(AMaxFiles)) {
  FTotalOutputDuration = -1;
  ResetSettings();
}

TCustomFFmpeg::~TCustomFFmpeg() {
  Stop(true);
  if (FThreadObj) FThreadObj->Join();
  {
    std::unique_lock<std::mutex> g(FStateLock);
    FStateCond.wait(g, [this] { return !FTermRunning; });
  }
  if (FTermThread.joinable()) FTermThread.join();
  ReleaseAll();
  FOptions.Free();
}

void TCustomFFmpeg::ResetForTask() {
  Stop(true);
  if (FThreadObj) {
    FThreadObj->Join();
    FThreadObj.reset();
  }
  if (FTermThread.joinable()) FTermThread.join();
  ReleaseAll();
  ResetSettings();
  FJoinMode = false;
  FConverting = false;
  FBroken = false;
  FFinished = false;
  FTerminated = false;
  FTotalOutputDuration = -1;
  (void)FOptions.Allocate(static_cast<int>(Fsws_flags));
}

void TCustomFFmpeg::ReleaseAll() {
  FOptions.Free();
  for (auto &p : FPrivateOptions) p.clear();
  ReleaseOutputs();
  ReleaseInputs();
  Fintra_matrix.clear();
  Finter_matrix.clear();
  Fvideo_codec_name.clear();
  Faudio_codec_name.clear();
  Fsubtitle_codec_name.clear();
  Fvideo_standard.clear();
  Fvideo_rc_override_string.clear();
  Fvideo_language.clear();
  Faudio_language.clear();
  Fsubtitle_language.clear();
  Fsubtitle_out.clear();
  Fsubtitle_out.shrink_to_fit();
}

std::string TCustomFFmpeg::FatalMessage() const {
  std::lock_guard<std::mutex> g(FStateLock);
  return FFatalMessage;
}

bool TCustomFFmpeg::Paused() const {
  std::lock_guard<std::mutex> g(FStateLock);
  return FPaused;
}

// ---------------------------------------------------------------- run control

void TCustomFFmpeg::DoTerminate() {
  // Exactly one notification per conversion.
  if (FTerminated.exchange(true)) return;
  FConverting = false;
  FThread = nullptr;
  if (OnTerminate) OnTerminate(this);
}

void TCustomFFmpeg::Fail(const std::string &AMsg) {
  EngineLog(llQuiet, AMsg);
  {
    std::lock_guard<std::mutex> g(FStateLock);
    FFatalMessage = AMsg;
  }
  FFatalException = true;
}

TConvertThread *TCustomFFmpeg::StartConvert(bool AUseThread) {
  if (FConverting || FTerminated) return nullptr;
  if (Fnb_output_files == 0 || Fnb_input_files == 0) {
    const char *msg = Fnb_output_files == 0 ? "At least one output file must be specified"
                                            : "At least one input file must be specified";
    ReleaseAll();
    Fail(msg);
    DoTerminate();
    return nullptr;
  }
  FConverting = true;
  FBroken = false;
  FFinished = false;
  FTerminated = false;
  {
    std::lock_guard<std::mutex> g(FStateLock);
    FRunning = true;
    FPaused = false;
  }
  if (!AUseThread) {
    Run();
    return nullptr;
  }
  FThreadObj = std::make_unique<TConvertThread>(this);
  FThread = FThreadObj.get();
  return FThreadObj.get();
}

void TCustomFFmpeg::Stop(bool AWaitFor) {
  FBroken = true;
  TConvertThread *t = FThread.load();
  {
    std::lock_guard<std::mutex> g(FStateLock);
    FPaused = false;
  }
  FStateCond.notify_all();
  if (t && !t->Started()) t->Resume();
  // The worker cannot wait for itself (a stop from inside its own notification).
  if (!AWaitFor || (FThreadObj && FThreadObj->IsCurrent())) return;
  if (FThreadObj && FThreadObj->Started()) {
    std::unique_lock<std::mutex> g(FStateLock);
    // In the main thread, serve the calls a worker may be waiting on meanwhile.
    while (FRunning) {
      FStateCond.wait_for(g, std::chrono::milliseconds(20));
      if (FRunning && IsMainThread()) {
        g.unlock();
        PumpMessages();
        g.lock();
      }
    }
  }
}

void TCustomFFmpeg::Pause() {
  if (!FThread.load()) return;
  std::lock_guard<std::mutex> g(FStateLock);
  FPaused = true;
}

void TCustomFFmpeg::Resume() {
  {
    std::lock_guard<std::mutex> g(FStateLock);
    FPaused = false;
  }
  FStateCond.notify_all();
}

void TCustomFFmpeg::WaitWhilePaused() {
  std::unique_lock<std::mutex> g(FStateLock);
  FStateCond.wait(g, [this] { return !FPaused || FBroken.load(); });
}

void TCustomFFmpeg::EndTask(bool AWaitFor) {
  if (FConverting) {
    Stop(AWaitFor);
    return;
  }
  if (FTerminated) return;
  {
    std::lock_guard<std::mutex> g(FStateLock);
    if (FTermRunning) return;
    FTermRunning = true;
  }
  if (FTermThread.joinable()) FTermThread.join();
  FTermThread = std::thread([this] {
    DoTerminate();
    {
      std::lock_guard<std::mutex> g(FStateLock);
      FTermRunning = false;
    }
    FStateCond.notify_all();
  });
  if (AWaitFor) FTermThread.join();
}

void TCustomFFmpeg::Run() {
  FFinished = false;
  auto guard = [this](auto &&AStep) {
    try {
      AStep();
    } catch (const std::exception &e) {
      Fail(e.what());
    } catch (...) {
      Fail("Unknown error");
    }
  };
  guard([this] { Transcode(); });
  guard([this] { CloseCodecs(); });
  guard([this] { ReleaseRunTables(); });
  guard([this] { ReleaseAll(); });
  guard([this] { DoTerminate(); });
  {
    std::lock_guard<std::mutex> g(FStateLock);
    FRunning = false;
  }
  FStateCond.notify_all();
}

// ---------------------------------------------------------------- transcode

int64_t TCustomFFmpeg::OutputWritePosition() const {
  if (Fnb_output_files == 0) return 0;
  AVIOContext *pb = Foutput_files[0]->ctx->pb;
  return pb ? ff::format.avio_seek(pb, 0, SEEK_CUR) : 0;
}

int TCustomFFmpeg::ChooseInputFile(int ACurrentFile) {
  if (FJoinMode) {
    for (const TAVOutputStream &ost : Fost_table)
      if (ost.file_index == ACurrentFile &&
          ost.frame_number >= MaxFrames(ost.st->codecpar->codec_type))
        return -1;
    return ACurrentFile;
  }
  int chosen = -1;
  double smallestOut = 1e300;
  int64_t smallestIn = INT64_MAX;
  for (const TAVOutputStream &ost : Fost_table) {
    const TAVInputStream &ist = Fist_table[ost.source_index];
    if (ist.is_past_recording_time || Fno_packet[ist.file_index]) continue;
    const double opts =
        ost.last_mux_dts == AV_NOPTS_VALUE
            ? 0.0
            : ost.last_mux_dts * (double(ost.st->time_base.num) / ost.st->time_base.den);
    const int64_t ipts = ist.pts;
    if (!Ffile_table[ist.file_index].eof_reached) {
      if (Finput_sync ? ipts < smallestIn : opts < smallestOut) {
        smallestIn = ipts;
        smallestOut = opts;
        chosen = ist.file_index;
      }
    }
    if (ost.frame_number >= MaxFrames(ost.st->codecpar->codec_type)) return -1;
  }
  return chosen;
}

bool TCustomFFmpeg::JoinStep(int &ACurrentFile) {
  const int file = ACurrentFile;
  for (int i = 0; i < static_cast<int>(Fist_table.size()); ++i) {
    TAVInputStream &ist = Fist_table[i];
    if (ist.file_index != file || !ist.decoding_needed) continue;
    // Drain this input's decoder into the running encoders; the encoders themselves
    // continue across inputs, so the joined output has one continuous stream.
    ProcessInputPacket(ist, i, nullptr, false);
    ff::codec.avcodec_flush_buffers(ist.dec);
    ist.decoder_flushed = 1;
  }
  double t = 0;
  for (TAVOutputStream &ost : Fost_table) {
    if (ost.file_index != file) continue;
    const TAVOutputStream &first = Fost_table[ost.index];
    const double d = first.last_mux_dts == AV_NOPTS_VALUE
                         ? 0.0
                         : (first.last_mux_dts + std::max<int64_t>(0, first.last_mux_duration)) *
                               (double(ost.st->time_base.num) / ost.st->time_base.den);
    t = std::max(t, d);
    ost.show_fps = 0;
  }
  for (TAVOutputStream &ost : Fost_table)
    if (ost.file_index > file) {
      const TAVOutputStream &prev = Fost_table[(ost.file_index - 1) * Fjoin_set_size + ost.index];
      ost.sync_opts = prev.sync_opts;
      ost.frame_number = prev.frame_number;
    }
  if (file + 1 >= Fnb_input_files) return false;
  Finput_files_ts_offset[file + 1] += std::llround(t * 1000000.0);
  ACurrentFile = file + 1;
  return true;
}

void TCustomFFmpeg::Transcode() {
  Fno_packet.assign(Fnb_input_files, false);
  Fno_packet_count = 0;
  Fvideo_size = Faudio_size = Fextra_size = 0;
  Fnb_frames_dup = Fnb_frames_drop = 0;
  FShowDupOrDrop = false;
  FHookFrameNumber = 0;
  Fqp_histogram.fill(0);
  try {
    BuildInputTables();
    BuildOutputTables();
    OpenEncoders();
    OpenDecoders();
    InitInputClocks();
    ApplyMetadataMaps();
    CopyChapters();
    WriteHeaders();
    ReportStreamMapping();
  } catch (...) {
    CloseCodecs();
    ReleaseRunTables();
    throw;
  }

  Ftimer_start = ff::util.av_gettime_relative();
  int64_t lastReport = Ftimer_start;
  int current = 0;
  ff::PacketPtr pkt(ff::codec.av_packet_alloc());
  if (!pkt) throw FFmpegException("av_mallocz fail");

  while (!FBroken) {
    WaitWhilePaused();
    if (FBroken) break;
    const int fileIndex = ChooseInputFile(current);
    if (fileIndex < 0) {
      if (FJoinMode || Fno_packet_count == 0) break;
      std::fill(Fno_packet.begin(), Fno_packet.end(), false);
      Fno_packet_count = 0;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    if (Flimit_filesize != 0 && OutputWritePosition() > Flimit_filesize) break;

    AVFormatContext *ic = Finput_files[fileIndex].ctx;
    int ret = ff::format.av_read_frame(ic, pkt.get());
    if (ret == AVERROR(EAGAIN)) {
      Fno_packet[fileIndex] = true;
      ++Fno_packet_count;
      continue;
    }
    if (ret < 0) {
      if (FBroken) break;
      Ffile_table[fileIndex].eof_reached = 1;
      if (Fopt_shortest && !FJoinMode) break;
      if (FJoinMode) {
        if (!JoinStep(current)) break;
      }
      continue;
    }
    std::fill(Fno_packet.begin(), Fno_packet.end(), false);
    Fno_packet_count = 0;
    if (Fdo_pkt_dump)
      ff::format.av_pkt_dump_log2(nullptr, AV_LOG_DEBUG, pkt.get(), Fdo_hex_dump,
                                  ic->streams[pkt->stream_index]);

    const TAVInputFile &file = Ffile_table[fileIndex];
    if (pkt->stream_index < file.nb_streams &&
        !Fist_table[file.ist_index + pkt->stream_index].discard) {
      const int istIndex = file.ist_index + pkt->stream_index;
      TAVInputStream &ist = Fist_table[istIndex];
      const AVRational tb = ist.st->time_base;
      const int64_t offset = ff::util.av_rescale_q(Finput_files_ts_offset[fileIndex], kMicro, tb);
      if (pkt->dts != AV_NOPTS_VALUE) pkt->dts += offset;
      if (pkt->pts != AV_NOPTS_VALUE) pkt->pts += offset;
      if (pkt->stream_index < MAX_STREAMS) {
        const double scale = Finput_files_ts_scale[fileIndex][pkt->stream_index];
        if (scale != 0) {
          if (pkt->dts != AV_NOPTS_VALUE) pkt->dts = std::llround(pkt->dts * scale);
          if (pkt->pts != AV_NOPTS_VALUE) pkt->pts = std::llround(pkt->pts * scale);
        }
      }
      if (pkt->dts != AV_NOPTS_VALUE && ist.next_pts != AV_NOPTS_VALUE &&
          (ic->iformat->flags & AVFMT_TS_DISCONT) && !Fcopy_ts) {
        const int64_t dtsUs = ff::util.av_rescale_q(pkt->dts, tb, kMicro);
        const int64_t delta = dtsUs - ist.next_pts;
        if (std::llabs(delta) > static_cast<int64_t>(Fdts_delta_threshold * 1000000.0) ||
            dtsUs + 1 < ist.pts) {
          Finput_files_ts_offset[fileIndex] -= delta;
          if (Fverbose >= 3)
            EngineLogF(llVerbose, "timestamp discontinuity %lld, new offset= %lld",
                       static_cast<long long>(delta),
                       static_cast<long long>(Finput_files_ts_offset[fileIndex]));
          const int64_t d = ff::util.av_rescale_q(delta, kMicro, tb);
          pkt->dts -= d;
          if (pkt->pts != AV_NOPTS_VALUE) pkt->pts -= d;
        }
      }
      const int64_t ptsForLimit = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
      if (Frecording_time != INT64_MAX && ptsForLimit != AV_NOPTS_VALUE &&
          ff::util.av_compare_ts(ptsForLimit, tb, Frecording_time + Fstart_time, kMicro) >= 0) {
        ist.is_past_recording_time = 1;
      } else if (ProcessInputPacket(ist, istIndex, pkt.get()) < 0) {
        std::string msg = Format("Error while decoding stream #%d.%d (%s)", ist.file_index,
                                 ist.index, MediaTypeToStr(ist.st->codecpar->codec_type).c_str());
        if (Fexit_on_error) throw FFmpegException(msg);
        if (Fverbose >= 0) EngineLog(llVerbose, msg);
      }
    }
    ff::codec.av_packet_unref(pkt.get());
    const int64_t now = ff::util.av_gettime_relative();
    if (now - lastReport > ReportInterval) {
      ReportProgress(false, fileIndex);
      lastReport = now;
    }
  }

  for (int i = 0; i < static_cast<int>(Fist_table.size()); ++i) {
    TAVInputStream &ist = Fist_table[i];
    if (ist.decoding_needed && !(FJoinMode && ist.decoder_flushed))
      ProcessInputPacket(ist, i, nullptr);
  }
  if (FJoinMode) {
    // The encoders ran across every input; drain them once, at the very end.
    for (TAVInputStream &ist : Fist_table) FlushVideoFilter(ist);
    for (TAVOutputStream &ost : Fost_table)
      if (ost.file_index == 0 && ost.encoding_needed &&
          ost.enc->codec_type != AVMEDIA_TYPE_SUBTITLE)
        FlushEncoder(ost);
  }
  const int outputs = FJoinMode ? std::min(1, Fnb_output_files) : Fnb_output_files;
  for (int i = 0; i < outputs; ++i) {
    int ret = ff::format.av_write_trailer(Foutput_files[i]->ctx);
    if (ret < 0) throw FFmpegException(ErrorToStr("av_write_trailer()", ret));
  }
  ReportProgress(true, -1);
  CloseCodecs();
  FFinished = !FBroken;
  ReleaseRunTables();
}
