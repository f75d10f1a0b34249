#include "WavSound.h"

#include "FFmpegLoader/FFmpegLoader.h"

TWavSound::~TWavSound() {
  Stop();
  if (FAudioInit) ff::sdl.SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool TWavSound::Fail(const std::string &AWhat) {
  FLastErrMsg = AWhat;
  if (ff::sdl.SDL_GetError) {
    const char *e = ff::sdl.SDL_GetError();
    if (e && *e) FLastErrMsg += std::string(": ") + e;
  }
  return false;
}

void TWavSound::Stop() {
  if (FDevice != 0) {
    ff::sdl.SDL_CloseAudioDevice(FDevice);
    FDevice = 0;
  }
}

bool TWavSound::Play(const std::string &AWavFile) {
  FLastErrMsg.clear();
  if (!FFLoader().Loaded(lbSDL) && !FFLoader().Load(lbSDL)) {
    FLastErrMsg = FFLoader().LastErrMsg();
    return false;
  }
  if (!FAudioInit) {
    if (ff::sdl.SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return Fail("audio init");
    FAudioInit = true;
  }
  Stop();
  SDL_RWops *rw = ff::sdl.SDL_RWFromFile(AWavFile.c_str(), "rb");
  if (!rw) return Fail("cannot open " + AWavFile);
  SDL_AudioSpec spec{};
  Uint8 *buf = nullptr;
  Uint32 len = 0;
  if (!ff::sdl.SDL_LoadWAV_RW(rw, 1, &spec, &buf, &len)) return Fail("not a WAV file " + AWavFile);
  spec.callback = nullptr;  // queued playback
  FDevice = ff::sdl.SDL_OpenAudioDevice(nullptr, 0, &spec, nullptr, 0);
  if (FDevice == 0) {
    ff::sdl.SDL_FreeWAV(buf);
    return Fail("no audio device");
  }
  int rc = ff::sdl.SDL_QueueAudio(FDevice, buf, len);
  ff::sdl.SDL_FreeWAV(buf);
  if (rc != 0) {
    Stop();
    return Fail("cannot queue sound");
  }
  ff::sdl.SDL_PauseAudioDevice(FDevice, 0);
  return true;
}
