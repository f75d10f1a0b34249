// The transcoding engine: one instance per conversion task. A task is described by
// options (input options, input file, …, output options, output file) which set
// pending settings; opening an input or output consumes them. The run builds its
// stream tables, opens codecs, and copies or transcodes packet by packet.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "../FFUtils/FFOptions.h"
#include "../FFmpegLoader/MediaHeaders.h"
#include "EngineSupport.h"
#include "FrameBitmap.h"

// Fixed-text errors of option parsing, set-up and the run.
class FFmpegException : public std::runtime_error {
 public:
  explicit FFmpegException(const std::string &AMsg) : std::runtime_error(AMsg) {}
};

inline constexpr int MAX_STREAMS = 20;

struct TAVStreamMap {
  int file_index = 0;
  int stream_index = 0;
  int sync_file_index = 0;
  int sync_stream_index = 0;
};

struct TAVMetaDataMap {
  int out_file = 0;
  int in_file = 0;
};

struct TAVInputFile {
  int eof_reached = 0;
  int ist_index = 0;
  int buffer_size = 0;
  int nb_streams = 0;
};

struct TAVInputStream {
  int file_index = 0;
  int index = 0;
  AVStream *st = nullptr;
  AVCodecContext *dec = nullptr;  // owned by the input's decoder list, not by this record
  int discard = 1;
  int decoding_needed = 0;
  int64_t sample_index = 0;
  int64_t start = 0;
  int64_t next_pts = AV_NOPTS_VALUE;
  int64_t pts = 0;
  int is_start = 1;
  int showed_multi_packet_warning = 0;
  int is_past_recording_time = 0;
  int decoder_flushed = 0;
  AVFilterContext *out_video_filter = nullptr;
  AVFilterContext *input_video_filter = nullptr;
  int filter_flushed = 0;            // the graph's input has been ended
  AVFrame *decoded_frame = nullptr;  // owned; the last decoded picture or samples
};

struct TAVOutputStream {
  int file_index = 0;
  int index = 0;
  int source_index = 0;
  AVStream *st = nullptr;
  AVCodecContext *enc = nullptr;  // owned by the output set-up record, not by this record
  int encoding_needed = 0;
  int frame_number = 0;
  TAVInputStream *sync_ist = nullptr;
  int64_t sync_opts = 0;
  int video_resample = 0;
  AVFrame *pict_tmp = nullptr;
  SwsContext *img_resample_ctx = nullptr;
  int resample_height = 0, resample_width = 0, resample_pix_fmt = 0;
  int original_height = 0, original_width = 0;
  int video_crop = 0;
  int topBand = 0, bottomBand = 0, leftBand = 0, rightBand = 0;
  int original_topBand = 0, original_bottomBand = 0, original_leftBand = 0, original_rightBand = 0;
  int audio_resample = 0;
  SwrContext *resample = nullptr;
  int reformat_pair = -6;
  AVAudioFifo *fifo = nullptr;
  FILE *logfile = nullptr;
  AVCodecID codec_id = AV_CODEC_ID_NONE;
  int show_fps = 0;
  std::vector<AVBSFContext *> bsfs;       // owned; the stream's bitstream-filter chain
  int64_t last_mux_dts = AV_NOPTS_VALUE;  // in the stream's time base
  int64_t last_mux_duration = 0;
  // Encoder statistics of the last packet (quality in lambda units, picture type,
  // squared errors per plane) and the error sums of the whole run.
  int last_quality = -FF_QP2LAMBDA;
  int last_pict_type = 0;
  int64_t last_error[3] = {};
  int64_t error_sum[3] = {};
  int64_t last_pkt_pts = AV_NOPTS_VALUE;  // encoder time base
  AVFrame *work_frame = nullptr;          // owned; reused audio frame fed to the encoder
  int encoder_flushed = 0;
};

// Everything the engine keeps about one output stream between its creation and the run.
struct TOutputStreamSetup {
  AVCodecContext *enc = nullptr;   // owned
  const AVCodec *codec = nullptr;  // encoder chosen by name, or none
  bool stream_copy = false;
  std::vector<std::string> bsf_names;
};

// I/O for a file name the libraries cannot open by themselves (e.g. a caller's stream
// object behind a "stream:" name). It lives as long as the container that uses it.
class TCustomIO {
 public:
  virtual ~TCustomIO() = default;
  [[nodiscard]] virtual AVIOContext *Context() const = 0;
};
// Gives the I/O for a name (AWrite: for an output), or null when the name is not its own.
using TCustomIOOpener =
    std::function<std::shared_ptr<TCustomIO>(const std::string &AFileName, bool AWrite)>;

struct TOutputFileSetup {
  AVFormatContext *ctx = nullptr;  // owned (only by the first slot in join mode)
  std::vector<TOutputStreamSetup> streams;
  std::shared_ptr<TCustomIO> io;  // set when ctx->pb is the opener's; freed after ctx
};

struct TInputFileSetup {
  AVFormatContext *ctx = nullptr;          // owned
  std::vector<AVCodecContext *> decoders;  // owned, one per stream
  std::shared_ptr<TCustomIO> io;           // set when ctx->pb is the opener's; freed after ctx
};

class TCustomFFmpeg;

// Arguments: sender, file index, frame number, fps, quality, bit rate (kbit/s),
// current size (bytes), current duration (µs), total duration (µs).
using TProgressEvent =
    std::function<void(TCustomFFmpeg *, int, int, int, float, float, int64_t, int64_t, int64_t)>;
using TNotifyEvent = std::function<void(TCustomFFmpeg *)>;
// Sender, bitmap, frame number, time stamp (µs), var update, var stop hook.
using TCustomHookEvent =
    std::function<void(TCustomFFmpeg *, TFrameBitmap &, int, int64_t, bool &, bool &)>;
// Sender, bitmap, frame number, time stamp (µs).
using TPreviewBitmapEvent =
    std::function<void(TCustomFFmpeg *, const TFrameBitmap &, int, int64_t)>;

enum TPostHook : unsigned { phPreview = 1, phBitmap = 2, phHBITMAP = 4 };
using TPostHooks = unsigned;

// The worker of a conversion started in thread mode. It is created suspended; the
// caller starts it with Resume.
class TConvertThread {
 public:
  explicit TConvertThread(TCustomFFmpeg *AEngine) : FEngine(AEngine) {}
  ~TConvertThread();
  void Resume();
  void Join();
  [[nodiscard]] bool Started() const { return FStarted; }
  // True when called from the worker itself (e.g. inside the terminate notification).
  [[nodiscard]] bool IsCurrent() const { return FId == std::this_thread::get_id(); }

 private:
  TCustomFFmpeg *FEngine;
  std::thread FThread;
  std::mutex FLock;  // guards FThread
  std::atomic<bool> FStarted{false};
  std::atomic<std::thread::id> FId{};
};

class TCustomFFmpeg {
 public:
  explicit TCustomFFmpeg(int AMaxFiles = 20);
  virtual ~TCustomFFmpeg();
  TCustomFFmpeg(const TCustomFFmpeg &) = delete;
  TCustomFFmpeg &operator=(const TCustomFFmpeg &) = delete;

  // --- options ---
  void SetOption(const std::string &AName, const std::string &AValue);
  // Direct setters used by the task queue.
  void SetFormat(const std::string &AValue);
  void SetStartTime(int64_t AValueUs);
  void SetRecordingTime(int64_t AValueUs);
  void SetProgramID(int AValue);
  void SetVerbose(int AValue) { Fverbose = AValue; }
  void SetAudioSampleRate(int AValue);
  void SetAudioChannels(int AValue);
  void SetCropBands(int ATop, int ABottom, int ALeft, int ARight);
  void SetFrameRate(const std::string &AValue) { SetOption("r", AValue); }
  void SetFrameSize(const std::string &AValue) { SetOption("s", AValue); }
  void SetFrameAspect(const std::string &AValue) { SetOption("aspect", AValue); }
  void SetAudioCodec(const std::string &AValue) { SetOption("acodec", AValue); }
  void SetVideoCodec(const std::string &AValue) { SetOption("vcodec", AValue); }
  void SetSubtitleCodec(const std::string &AValue) { SetOption("scodec", AValue); }
  void SetAudioVolume(int AValue);
  void SetAudioSyncMethod(int AValue) { Faudio_sync_method = AValue; }
  void SetVideoSyncMethod(int AValue) { Fvideo_sync_method = AValue; }
  void SetMuxMaxDelay(float AValue);
  void SetMuxPreload(float AValue);
  void SetInputSync(bool AValue) { Finput_sync = AValue; }
  void SetCopyTs(bool AValue) { Fcopy_ts = AValue; }
  void SetGenericOption(const std::string &AName, int64_t AValue);
  void SetMetadata(const std::string &AKey, const std::string &AValue);

  // Codec lookup by name: with no name succeeds with codec id 0. Reports through
  // ALastErr and its result; never raises.
  bool FindCodecByName(const std::string &AName, AVMediaType AType, bool AEncoder, int AStrict,
                       AVCodecID &ACodecID, std::string &ALastErr) const;

  // --- targets and presets ---
  void ApplyTarget(const std::string &AType, const std::string &ANorm,
                   const std::string &ADefaultNorm);
  void ApplyPreset(const std::string &AOptName, const std::string &AValue);

  // --- inputs and outputs ---
  bool OpenInputFile(const std::string &AFileName);
  int OpenOutputFile(const std::string &AFileName, bool AJoin = false);
  // Asked first for every input and output name; without an answer the libraries open it.
  TCustomIOOpener CustomIOOpener;

  // --- run control ---
  TConvertThread *StartConvert(bool AUseThread);
  void Stop(bool AWaitFor);
  void Pause();
  void Resume();
  void EndTask(bool AWaitFor);
  void ResetForTask();

  [[nodiscard]] int nb_input_files() const { return Fnb_input_files; }
  [[nodiscard]] int nb_output_files() const { return Fnb_output_files; }
  [[nodiscard]] bool Finished() const { return FFinished; }
  [[nodiscard]] bool FatalException() const { return FFatalException; }
  [[nodiscard]] std::string FatalMessage() const;
  [[nodiscard]] std::string LastErrMsg() const { return FLastErrMsg; }
  [[nodiscard]] bool Converting() const { return FConverting; }
  [[nodiscard]] bool Paused() const;
  [[nodiscard]] int64_t TotalOutputDuration() const { return FTotalOutputDuration; }

  TProgressEvent OnProgress;
  TNotifyEvent OnTerminate;
  // Called in the conversion thread for every decoded picture; see PrepareDecodedPicture.
  TCustomHookEvent OnCustomHook;
  // Called in the conversion thread at most once per PreviewInterval with phBitmap set.
  TPreviewBitmapEvent OnPreviewBitmap;
  // Safe from any thread while a conversion runs; dropping phPreview closes the window.
  void SetPostHooks(TPostHooks AHooks);
  [[nodiscard]] TPostHooks PostHooks() const;
  // Loads a frame-hook module ("file arg …") into this engine's chain; 0 or a negative code.
  int AddFrameHook(const std::vector<std::string> &AArgs);
  int64_t ReportInterval = 500000;
  int64_t PreviewInterval = 100000;

  // The worker's body. Public for TConvertThread only.
  void Run();

  // ===== settings (pending until consumed) =====
  // Format and file
  std::string Flast_asked_format;
  int Fpgmyuv_compatibility_hack = 0;
  bool Floop_input = false;
  int Floop_output = -1;
  int Fopt_programid = 0;
  std::vector<std::pair<std::string, std::string>> Fmetadata;
  int64_t Frecording_timestamp = 0;
  int64_t Flimit_filesize = 0;
  // Timing
  int64_t Fstart_time = 0;
  int64_t Frecording_time = INT64_MAX;
  int64_t Finput_ts_offset = 0;
  std::array<double, MAX_STREAMS> Fpending_ts_scale{};  // for the input opened next
  int64_t FTotalOutputDuration = -1;
  // Video
  int Fframe_width = 0, Fframe_height = 0;
  float Fframe_aspect_ratio = 0;
  int Fframe_pix_fmt = -1;
  int Fframe_topBand = 0, Fframe_bottomBand = 0, Fframe_leftBand = 0, Fframe_rightBand = 0;
  AVRational Fframe_rate{0, 0};
  float Fvideo_qscale = 0;
  std::vector<uint16_t> Fintra_matrix, Finter_matrix;  // empty = none
  std::string Fvideo_rc_override_string;
  bool Fvideo_disable = false;
  int Fvideo_discard = 0;
  std::string Fvideo_codec_name;
  int Fvideo_stream_copy = 0;
  uint32_t Fvideo_codec_tag = 0;
  std::string Fvideo_language;
  bool Fsame_quality = false, Fdo_deinterlace = false;
  int Ftop_field_first = -1, Fme_threshold = 0, Fintra_dc_precision = 8;
  bool Fqp_hist = false;
  std::string Fvfilters;
  bool Fintra_only = false;
  int Fvideo_sync_method = -1, Fvideo_global_header = 0;
  bool Fforce_fps = false;
  int Fvideo_channel = 0;
  std::string Fvideo_standard;
  bool Fdo_psnr = false;
  int Fdo_pass = 0;
  std::string Fpass_logfilename_prefix, Fvstats_filename;
  bool Fusing_vhook = false;
  // Audio and subtitle
  int Faudio_sample_rate = 44100, Faudio_channels = 2;
  int64_t Fchannel_layout = 0;
  int Faudio_sample_fmt = -1;
  float Faudio_qscale = -99999.0f;
  bool Faudio_disable = false;
  std::string Faudio_codec_name;
  int Faudio_stream_copy = 0;
  uint32_t Faudio_codec_tag = 0;
  std::string Faudio_language;
  int Faudio_volume = 256, Faudio_sync_method = 0;
  float Faudio_drift_threshold = 0.1f;
  bool Fsubtitle_disable = false;
  std::string Fsubtitle_codec_name;
  int Fsubtitle_stream_copy = 0;
  uint32_t Fsubtitle_codec_tag = 0;
  std::string Fsubtitle_language;
  // Muxing, loop and diagnostics
  float Fmux_preload = 0.5f, Fmux_max_delay = 0.7f;
  bool Fcopy_ts = false, Fopt_shortest = false;
  float Fdts_delta_threshold = 10.0f;
  int Fcopy_initial_nonkeyframes = 0;
  bool Frate_emu = false, Finput_sync = false, Fexit_on_error = false;
  int Fmax_frames[4] = {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX};
  bool Fdo_pkt_dump = false, Fdo_hex_dump = false;
  int Fverbose = 1;
  int Fthread_count = 0;  // 0: the libraries use every core
  unsigned Fsws_flags = 4;
  int Fbit_buffer_size = 262144;
  // Maps
  std::vector<TAVStreamMap> Fstream_maps;
  std::vector<TAVMetaDataMap> Fmeta_data_maps;
  int Fstreamid_map[MAX_STREAMS] = {};
  std::vector<std::string> Fvideo_bitstream_filters, Faudio_bitstream_filters,
      Fsubtitle_bitstream_filters;
  // Hooks and preview (set by the frame; copy of video refuses them)
  bool FHasCustomHook = false, FHasPostHooks = false;

  TFFOptions FOptions;
  [[nodiscard]] bool OptionsAllocated() const { return FOptions.avcodec_opts[0] != nullptr; }
  // Encoder options the generic store does not know but the named encoder does (its
  // private options, e.g. from a built-in preset), per media type, given at opening.
  std::vector<std::pair<std::string, std::string>> FPrivateOptions[5];

  // ===== files =====
  const int FMaxFiles;
  std::vector<TInputFileSetup> Finput_files;
  std::vector<int64_t> Finput_files_ts_offset;
  std::vector<std::array<double, MAX_STREAMS>> Finput_files_ts_scale;
  std::vector<const AVCodec *> Finput_codecs;
  int Fnb_input_files = 0;
  std::vector<TOutputFileSetup *> Foutput_files;  // join mode repeats the first entry
  std::vector<std::unique_ptr<TOutputFileSetup>> FOwnedOutputs;
  int Fnb_output_files = 0;
  bool FJoinMode = false;
  bool FEnableFilter = false;
  std::string FLastErrMsg;

  // ===== counters (progress) =====
  int64_t Fvideo_size = 0, Faudio_size = 0, Fextra_size = 0;
  int Fnb_frames_dup = 0, Fnb_frames_drop = 0;
  bool FShowDupOrDrop = false;

 protected:
  // --- options (Options.cpp) ---
  void ResetSettings();
  void SetCodecName(std::string &AName, int &ACopy, const std::string &AValue);
  void ParseMatrix(std::vector<uint16_t> &AMatrix, const std::string &AValue);
  void AddBitstreamFilter(const std::string &AOpt, const std::string &AValue);
  int64_t ParseTimeOrRaise(const std::string &AOpt, const std::string &AValue, bool ADuration);
  void SetGeneric(const std::string &AName, const std::string &AValue);
  // --- outputs (Outputs.cpp) ---
  void new_video_stream(TOutputFileSetup &AOut);
  void new_audio_stream(TOutputFileSetup &AOut);
  void new_subtitle_stream(TOutputFileSetup &AOut);
  TOutputStreamSetup &NewStream(TOutputFileSetup &AOut, AVMediaType AType,
                                std::vector<std::string> &AChain, uint32_t ATag);
  void check_audio_video_sub_inputs(bool AJoin, bool &AHasVideo, bool &AHasAudio,
                                    bool &AHasSubtitle);
  void ReleaseOutputs();
  void ReleaseInputs();
  // --- run set-up (Mapping.cpp) ---
  void BuildInputTables();
  void BuildOutputTables();
  void CopyParameters(TAVOutputStream &AOst, TAVInputStream &AIst);
  void EncodingParameters(TAVOutputStream &AOst, TAVInputStream &AIst, int ARunningNumber);
  void OpenBitstreamFilters(TAVOutputStream &AOst, const TOutputStreamSetup &ASetup);
  void OpenEncoders();
  void OpenDecoders();
  void InitInputClocks();
  void ApplyMetadataMaps();
  void CopyChapters();
  void WriteHeaders();
  void ReportStreamMapping();
  void ReopenEncoders();
  void CloseCodecs();
  void ReleaseRunTables();
  // --- packets (Packets.cpp) ---
  // Without a packet the decoder is drained, and so are the encoders it feeds unless
  // ADrainEncoders is false (join mode keeps them running across inputs).
  int ProcessInputPacket(TAVInputStream &AIst, int AIstIndex, const AVPacket *APkt,
                         bool ADrainEncoders = true);
  [[nodiscard]] int MaxFrames(int AType) const {
    return AType >= 0 && AType < 4 ? Fmax_frames[AType] : INT32_MAX;
  }
  void StreamCopy(TAVOutputStream &AOst, TAVInputStream &AIst, const AVPacket *APkt);
  void WriteOutputPacket(AVFormatContext *ACtx, AVPacket *APkt, TAVOutputStream &AOst);
  void DispatchDecoded(TAVInputStream &AIst, AVFrame *AFrame, AVSubtitle *ASub, bool AIsSubtitle);
  void DrainEncoders(TAVInputStream &AIst);
  void do_subtitle_out(TAVOutputStream &AOst, TAVInputStream &AIst, AVSubtitle *ASub, int64_t APts);
  // --- encoding paths (AudioOut.cpp, VideoOut.cpp) ---
  [[nodiscard]] bool EncodingPathReady(AVMediaType AType) const;
  void do_audio_out(TAVOutputStream &AOst, TAVInputStream &AIst, AVFrame *AFrame);
  void do_video_out(TAVOutputStream &AOst, TAVInputStream &AIst, AVFrame *AFrame);
  void FlushEncoder(TAVOutputStream &AOst);
  void ApplyVolume(AVFrame *AFrame);
  void EncodeAudioFrame(TAVOutputStream &AOst, int ASamples, bool APadToFrameSize);
  void ReceivePackets(TAVOutputStream &AOst);
  void DispatchPicture(TAVInputStream &AIst, AVFrame *AFrame);
  // False when the picture could not be deinterlaced and goes on as it is.
  bool Deinterlace(TAVInputStream &AIst, AVFrame *AFrame);
  void DrainDeinterlacer(TAVInputStream &AIst);
  // Hooks, then the filter graph or the outputs.
  void FilterPicture(TAVInputStream &AIst, AVFrame *AFrame);
  // Pictures waiting in the stream's filter graph go to the outputs.
  void DrainVideoFilter(TAVInputStream &AIst);
  // Ends the graph's input so that filters that hold pictures back give them up.
  void FlushVideoFilter(TAVInputStream &AIst);
  void PrepareDecodedPicture(TAVInputStream &AIst, AVFrame *AFrame);
  void CustomHook(TAVInputStream &AIst, AVFrame *AFrame);
  int ConfigureVideoFilters(TAVInputStream &AIst, TAVOutputStream &AOst, const AVFrame *AFrame);
  void RunPostHooks(TAVOutputStream &AOst, const AVFrame *AFrame);
  void ReleaseEncodeState();
  // --- progress (Progress.cpp) ---
  void ReportProgress(bool ALastReport, int AFileIndex);
  void WriteVideoStats(TAVOutputStream &AOst, int AFrameSize);
  // --- loop (Loop.cpp) ---
  void Transcode();
  int ChooseInputFile(int ACurrentFile);
  bool JoinStep(int &ACurrentFile);
  void ReleaseAll();
  void DoTerminate();
  void Fail(const std::string &AMsg);
  void WaitWhilePaused();
  static int InterruptCallback(void *AOpaque);
  int64_t OutputWritePosition() const;

  // ===== run state =====
  std::vector<TAVInputFile> Ffile_table;
  std::vector<TAVInputStream> Fist_table;
  std::vector<TAVOutputStream> Fost_table;
  std::vector<bool> Fno_packet;
  int Fno_packet_count = 0;
  std::vector<TAVOutputStream *> FEncoderList;
  std::vector<TAVInputStream *> FDecoderList;
  int64_t Ftimer_start = 0;
  int Fjoin_set_size = 0;
  AVSubtitle FSubtitle{};
  // Encoding paths: scaler and work buffers (grown on demand), filter graphs, hooks.
  std::vector<uint8_t> Faudio_buf;
  AVFilterGraph *Fgraph = nullptr;  // the user's video filters
  AVFilterGraph *Fdeinterlace_graph = nullptr;
  AVFilterContext *Fdeinterlace_src = nullptr, *Fdeinterlace_sink = nullptr;
  TAVInputStream *Fdeinterlace_ist = nullptr;  // the stream whose pictures it takes
  bool Fdeinterlace_flushed = false;
  AVFrame *FHookFrame = nullptr;  // the prepared picture
  int FHookFrameNumber = 0;
  TRGBConvertContext FHookContext, FPostContext;
  std::unique_ptr<TPreviewer> FPreviewer;
  int64_t Fpreview_last_time = 0;
  TPostHooks FPostHooks = 0;
  TFrameHookChain FFirstHook;
  std::array<int, 52> Fqp_histogram{};
  FILE *Fvstats_file = nullptr;
  std::vector<uint8_t> Fsubtitle_out;

  // ===== run control =====
  std::unique_ptr<TConvertThread> FThreadObj;
  std::atomic<TConvertThread *> FThread{nullptr};
  std::atomic<bool> FConverting{false};
  std::atomic<bool> FBroken{false};
  std::atomic<bool> FFinished{false};
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFatalException{false};
  mutable std::mutex FStateLock;  // guards FFatalMessage, FPaused, FRunning, FTermThread
  std::condition_variable FStateCond;
  std::string FFatalMessage;
  bool FPaused = false;
  bool FRunning = false;  // the worker's Run has not returned yet
  std::thread FTermThread;
  bool FTermRunning = false;
};
