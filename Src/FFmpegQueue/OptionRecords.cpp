#include "OptionRecords.h"

void InitInputOptions(TInputOptions &AOptions) {
  AOptions = TInputOptions{};
}

void InitOutputOptions(TOutputOptions &AOptions) {
  AOptions = TOutputOptions{};
}
