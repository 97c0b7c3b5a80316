#pragma once

#include <cstddef>
#include <cstdint>

// Rows of movie pixels to rows of 24-bit bitmap bytes (blue, green, red), in
// several implementations that give the same bytes: the portable one, and
// vector ones for the x86-64 processors that have the instructions. The build
// stays baseline x86-64 (or whatever the target is); the vector code is
// compiled for its instruction set function by function and chosen once at
// run time.
namespace pixelrows {

// Converts `count` pixels from `pixels` into 3 * count bytes at `bgr`. Writes
// nothing past those bytes, so a bitmap row's fill stays untouched.
using RowFunction = void (*)(const uint16_t* pixels, size_t count, uint8_t* bgr);

struct Path {
  const char* name;
  RowFunction convert;
};

// Every implementation this processor can run, the portable one first and
// the fastest last; `count` receives how many there are (at most kMaxPaths).
constexpr size_t kMaxPaths = 3;
const Path* Available(size_t* count);

// The fastest of Available(), chosen on the first call.
RowFunction Best();

}  // namespace pixelrows
