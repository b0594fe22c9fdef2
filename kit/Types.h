#pragma once
// Fixed-width names used across the program.

#include <cstdint>

using int32 = int32_t;
using uint32 = uint32_t;
using int64 = int64_t;
using status_t = int32;

constexpr status_t B_OK = 0;
constexpr status_t B_ERROR = -1;

// Asks a window or a loop to close; the receiver's QuitRequested() decides.
constexpr uint32 B_QUIT_REQUESTED = 0x5f515251; // '_QRQ'
