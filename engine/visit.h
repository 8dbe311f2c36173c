// Booking a visit typed in the score field, and taking the last one back.
#pragma once

#include <cstdint>

namespace brennix {

// The keys the score field hands over; Enter stands for both Enter keys.
enum class TKey { Enter, F5, Other };

// One key press in the score field: F5 saves the game, Enter books the typed visit for the
// active player, passes the turn and applies the leg, set and match rules; other keys do nothing.
void BookVisit(TKey key);

// Takes back the newest visit of the player before the active one (the Undo button).
void UndoVisit();

// Three-dart average x 10000 of points scored with darts: points / darts x 30000, rounded to
// the nearest integer with halves to even; 0 when no darts were thrown.
int32_t ThreeDartAverage(int64_t points, int32_t darts);

// Two's-complement arithmetic on the record's 32-bit slots (they wrap instead of overflowing).
int32_t WrapAdd(int32_t a, int32_t b);
int32_t WrapSub(int32_t a, int32_t b);

} // namespace brennix
