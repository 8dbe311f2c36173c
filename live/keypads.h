// Keypads at the board: what a paired phone or tablet sends becomes what the operator would have
// typed. A total and its darts go into the score and darts fields and Enter's own handler runs;
// Undo presses Undo; while Start Leg or the match result is open the keypad answers them, and
// while any other dialog is open it waits for the operator. Everything runs on the window's
// thread, between the operator's own keys: one match, one order.
#pragma once

#include "live_module.h"

#include <memory>

namespace brennix {

class TForm1;

// Serves the live board's keypads from now on, for as long as the window lives.
void ServeKeypads(const std::shared_ptr<TLiveBoardModule>& live, TForm1& window);

// Why an entry was not taken, as the keypad shows it.
inline constexpr char KeypadOperatorNeeded[] = "the board's operator is needed";
inline constexpr char KeypadOperatorTyping[] = "the operator is typing a score";
inline constexpr char KeypadAboveLeft[] = "above what is left";
inline constexpr char KeypadNotOffered[] = "not offered now";

} // namespace brennix
