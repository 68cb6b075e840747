#include "corvane/win.h"

#include <chrono>

DWORD GetTickCount() {
  using namespace std::chrono;
  return static_cast<DWORD>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

BOOL ScreenToClient(HWND window, POINT* point) {
  if (!window || !point) return FALSE;
  point->x -= window->clientLeft;
  point->y -= window->clientTop;
  return TRUE;
}

BOOL ClientToScreen(HWND window, POINT* point) {
  if (!window || !point) return FALSE;
  point->x += window->clientLeft;
  point->y += window->clientTop;
  return TRUE;
}
