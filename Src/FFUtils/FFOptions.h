// The generic option store: options the engine does not know by name are set on
// template contexts of the libraries (one codec context per media type, a format
// context and a scaler context) and later copied onto the real contexts.
#pragma once

#include <string>
#include <vector>

struct AVCodecContext;
struct AVFormatContext;
struct SwsContext;

class TFFOptions {
 public:
  TFFOptions() = default;
  ~TFFOptions();
  TFFOptions(const TFFOptions &) = delete;
  TFFOptions &operator=(const TFFOptions &) = delete;

  // Forgets everything without freeing (the state of a fresh store).
  void Reset();
  // Creates the template contexts; needs avcodec, avformat and swscale loaded.
  // Returns false when a context cannot be created.
  [[nodiscard]] bool Allocate(int ASwsFlags);
  // Frees the template contexts and forgets the names.
  void Free();
  // Sets one option on the first template context that knows it. False when the name or
  // the value is empty, no context knows the name, or the value is refused (the library
  // log then receives "Invalid value ..." at error level).
  [[nodiscard]] bool Set(const std::string &AName, const std::string &AValue);
  // Copies each set option from ASource to ATarget (both objects with an AVClass), in
  // the order they were set, when the option exists in ASource with all of AFlags.
  void Apply(void *ATarget, void *ASource, int AFlags) const;

  std::vector<std::string> opt_names;  // the library's names of the options set, in order
  int opt_name_count = 0;
  // Video, audio, data, subtitle, attachment.
  AVCodecContext *avcodec_opts[5] = {};
  AVFormatContext *avformat_opts = nullptr;
  SwsContext *sws_opts = nullptr;
};
