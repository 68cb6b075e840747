// The few Windows base types the device layer and the channels name: fixed-size integers with the
// widths the original platform gave them, the result code, a window handle and screen points.
#pragma once

#include <cstdint>

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using UINT = unsigned int;
using BOOL = int;
using HRESULT = int32_t;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

// A window stand-in: its client area's place on the screen and its size. platform/win implements
// the coordinate conversions on it.
struct CorvaneWindow {
  int clientLeft = 0;   // screen x of the client area's left edge
  int clientTop = 0;    // screen y of the client area's top edge
  int width = 0;
  int height = 0;
};
using HWND = CorvaneWindow*;

struct POINT {
  int32_t x;
  int32_t y;
};

struct RECT {
  int32_t left, top, right, bottom;
};
