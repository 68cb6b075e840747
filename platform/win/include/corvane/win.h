// The few Windows calls the channels make, on Linux: a millisecond tick counter and the conversion
// between screen and client coordinates of a window stand-in (CorvaneWindow, see win_types.h).
#pragma once

#include "corvane/win_types.h"

// Milliseconds since an arbitrary start (a monotonic clock), wrapping at 2^32.
DWORD GetTickCount();

// Screen -> client coordinates of the window's client area. FALSE (point unchanged) without a
// window or point.
BOOL ScreenToClient(HWND window, POINT* point);
// Client -> screen coordinates.
BOOL ClientToScreen(HWND window, POINT* point);
