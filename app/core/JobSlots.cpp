#include "JobSlots.h"

#include <utility>

TJobSlots::TJobSlots() : IO1(kSlotCount), OO1(kSlotCount) {
  Reset();
}

void TJobSlots::Reset() {
  for (TOutputOptions &o : OO1) o.SubtitleLanguage = kSlotFree;
}

int TJobSlots::FindFree() const {
  for (int i = 0; i < kSlotCount; ++i)
    if (Marker(i) == kSlotFree) return i;
  return -1;
}

int TJobSlots::Store(const TInputOptions &AInput, const TOutputOptions &AOutput) {
  int slot = FindFree();
  if (slot < 0) return -1;
  IO1[static_cast<std::size_t>(slot)] = AInput;
  OO1[static_cast<std::size_t>(slot)] = AOutput;
  OO1[static_cast<std::size_t>(slot)].SubtitleLanguage = kSlotFull;
  return slot;
}

void TJobSlots::Remove(int AIndex) {
  if (AIndex < 0 || AIndex >= kSlotCount) return;
  OO1[static_cast<std::size_t>(AIndex)].SubtitleLanguage = kSlotDeleted;
  for (int j = AIndex; j < kSlotCount - 1; ++j) Exchange(j, j + 1);
}

void TJobSlots::Exchange(int A, int B) {
  if (A < 0 || B < 0 || A >= kSlotCount || B >= kSlotCount || A == B) return;
  std::swap(IO1[static_cast<std::size_t>(A)], IO1[static_cast<std::size_t>(B)]);
  std::swap(OO1[static_cast<std::size_t>(A)], OO1[static_cast<std::size_t>(B)]);
}

int TJobSlots::Count(const std::string &AMarker) const {
  int n = 0;
  for (const TOutputOptions &o : OO1)
    if (o.SubtitleLanguage == AMarker) ++n;
  return n;
}

bool TJobSlots::InvariantHolds(int ARows) const {
  if (ARows < 0 || ARows > kSlotCount) return false;
  int i = 0;
  for (; i < ARows; ++i)
    if (Marker(i) != kSlotFull) return false;
  for (; i < kSlotCount && Marker(i) == kSlotFree; ++i) {
  }
  for (; i < kSlotCount; ++i)
    if (Marker(i) != kSlotDeleted) return false;
  return true;
}
