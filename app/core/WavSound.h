// Plays a WAV file through SDL (opened by the run-time loader) and returns at once.
// One sound at a time: a new one cuts the previous one off.
#pragma once

#include <cstdint>
#include <string>

class TWavSound {
 public:
  TWavSound() = default;
  TWavSound(const TWavSound &) = delete;
  TWavSound &operator=(const TWavSound &) = delete;
  ~TWavSound();

  [[nodiscard]] bool Play(const std::string &AWavFile);
  void Stop();
  [[nodiscard]] const std::string &LastErrMsg() const { return FLastErrMsg; }

 private:
  bool Fail(const std::string &AWhat);
  uint32_t FDevice = 0;
  bool FAudioInit = false;
  std::string FLastErrMsg;
};
