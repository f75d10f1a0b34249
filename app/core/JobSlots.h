// The slots of the conversion list: one input and one output option record per row,
// 501 pairs. The marker of a slot lives in its output record's SubtitleLanguage.
// Invariant with n rows: slots 0..n-1 are "Full" and slot k belongs to row k, the free
// ("kong") slots follow, the "DELETED" ones sit at the end of the arrays.
#pragma once

#include <string>
#include <vector>

#include "FFmpegQueue/OptionRecords.h"

inline constexpr int kSlotCount = 501;
inline constexpr char kSlotFree[] = "kong";
inline constexpr char kSlotFull[] = "Full";
inline constexpr char kSlotDeleted[] = "DELETED";

class TJobSlots {
 public:
  TJobSlots();

  // Every slot becomes free (start-up, list cleared).
  void Reset();
  // The first free slot from 0 upwards, -1 when there is none.
  [[nodiscard]] int FindFree() const;
  // Copies the records into the first free slot and marks it "Full". -1 (and nothing
  // written) when every slot is taken or deleted.
  [[nodiscard]] int Store(const TInputOptions &AInput, const TOutputOptions &AOutput);
  // Marks the slot "DELETED" and lets it travel to the end; the slots after it move
  // down by one. An index outside the arrays changes nothing.
  void Remove(int AIndex);
  // Exchanges two slots (both arrays). Indices outside the arrays change nothing.
  void Exchange(int A, int B);

  [[nodiscard]] const std::string &Marker(int AIndex) const {
    return OO1[static_cast<std::size_t>(AIndex)].SubtitleLanguage;
  }
  [[nodiscard]] int Count(const std::string &AMarker) const;
  // How many rows can still be added before the list is cleared.
  [[nodiscard]] int Capacity() const { return Count(kSlotFree); }
  // Full prefix of ARows slots, then free ones, then deleted ones.
  [[nodiscard]] bool InvariantHolds(int ARows) const;

  // Index 0 to 500; held on the heap (the records are large).
  std::vector<TInputOptions> IO1;
  std::vector<TOutputOptions> OO1;
};
