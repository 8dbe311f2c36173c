// The checkout suggestions a first run presents.
#pragma once

#include "engine/state.h"

#include <array>
#include <string_view>

namespace brennix {

// StandardCheckouts[r - 1] is the suggested route for a remaining score of r (1..170).
extern const std::array<std::string_view, MaxCheckout> StandardCheckouts;

} // namespace brennix
